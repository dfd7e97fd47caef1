#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <house/DialogSeam.h>

#include <QPointer>

class BusyOverlay;

// The dialog seam with real Qt dialogs: message boxes, the error box, the pick list, the login,
// the new password and the busy overlay.
class RBX_HOUSE_WIDGETS_EXPORT WidgetDialogs final : public DialogSeam
{
public:
    int message(const MessageRequest &request) override;
    void error(QObject *parent, const QString &text) override;
    std::optional<QStringList> pick(const PickRequest &request) override;
    std::optional<LoginAnswer> login(const LoginRequest &request) override;
    std::optional<NewPasswordAnswer> newPassword(QObject *parent) override;
    std::optional<QString> saveFileName(QObject *parent, const QString &caption, const QString &suggested,
                                        const QString &filter) override;
    bool choosePrinter(QObject *parent, QPrinter &printer) override;
    void showBusy(QObject *over, int kind) override;
    void hideBusy() override;

private:
    QPointer<BusyOverlay> m_overlay;
    int m_busyDepth = 0;
};

// Makes real dialogs the default of the dialog seam (a test's own seam still takes precedence).
RBX_HOUSE_WIDGETS_EXPORT void installWidgetDialogs();
