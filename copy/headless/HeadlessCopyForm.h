#pragma once

#include <copy/CopyForm.h>
#include "HeadlessOptions.h"
#include <house/TMessages.h>

class QTextStream;

namespace rbx {

// Stands in for the screen: the filter groups and dates come from the command line, the
// question is answered by --yes or on the terminal, and raised texts end the run.
class HeadlessCopyForm final : public CopyForm
{
public:
    // `in` may be null: without --yes the question is then answered No.
    HeadlessCopyForm(const HeadlessOptions &options, QTextStream &out, QTextStream &err, QTextStream *in);
    Q_DISABLE_COPY_MOVE(HeadlessCopyForm)

    bool listChecked(FilterGroup group) const override;
    bool allChecked(FilterGroup group) const override;
    QString selectionList(FilterGroup group) const override;
    QString dateText(CopyDate date) const override;
    QDate dateValue(CopyDate date) const override;
    void checkValidDate(CopyDate date) override;
    void setFocusTo(const QString &controlName) override { m_focus = controlName; }
    QString msg(const QString &key) const override;
    int showMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons) override;
    [[noreturn]] void mensErro(const QString &text) override;
    // A yes/no question: yes with --yes, else what the terminal answers (no without one).
    bool confirm(const QString &question);

    // The control the last failure pointed at.
    const QString &focus() const { return m_focus; }

private:
    const HeadlessOptions &m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    QTextStream *m_in;
    TMessages m_catalog;
    QString m_focus;
};

} // namespace rbx
