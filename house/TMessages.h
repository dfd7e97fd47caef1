#pragma once

#include <house/rbx_house_export.h>

#include "DialogSeam.h"

#include <QString>
#include <QStringList>

// A screen's message catalog: lines "key|text". Code names a key and never holds the sentence.
class RBX_HOUSE_EXPORT TMessages
{
public:
    explicit TMessages(QString name = {}) : m_name(std::move(name)) {}

    const QString &Name() const { return m_name; }

    // The catalog lines in their stored order.
    QStringList Messages;

    bool Contains(const QString &key) const;
    // The text of the key, looked up exactly as written. A key the catalog does not hold
    // raises: showing a wrong or empty sentence would hide the mistake.
    QString Msg(const QString &key) const;
    // Shows the key's text as a modal dialog and returns the button pressed (mrYes is 6).
    int ShowMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext,
                QObject *parent = nullptr) const;

private:
    const QString *find(const QString &key, QString &text) const;

    QString m_name;
};
