#include "DialogSeam.h"

#include <QDebug>

namespace {

// Without a display nobody can answer: questions get "No", pick lists and logins are cancelled, and
// every text still reaches the log.
class ConsoleDialogs final : public DialogSeam
{
public:
    int message(const MessageRequest &request) override
    {
        qInfo().noquote() << request.text;
        if (request.buttons.testFlag(mbNo))
            return mrNo;
        if (request.buttons.testFlag(mbCancel))
            return mrCancel;
        if (request.buttons.testFlag(mbOK))
            return mrOk;
        return request.buttons.testFlag(mbYes) ? mrYes : mrNone;
    }
    void error(QObject *, const QString &text) override { qCritical().noquote() << text; }
    std::optional<QStringList> pick(const PickRequest &) override { return std::nullopt; }
    std::optional<LoginAnswer> login(const LoginRequest &) override { return std::nullopt; }
    std::optional<NewPasswordAnswer> newPassword(QObject *) override { return std::nullopt; }
    std::optional<QString> saveFileName(QObject *, const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    bool choosePrinter(QObject *, QPrinter &) override { return false; }
    void showBusy(QObject *, int) override {}
    void hideBusy() override {}
};

DialogSeam *g_override = nullptr;
DialogSeam *g_default = nullptr;

} // namespace

DialogSeam &dialogSeam()
{
    static ConsoleDialogs console;
    if (g_override)
        return *g_override;
    return g_default ? *g_default : console;
}

void setDialogSeam(DialogSeam *seam) { g_override = seam; }
void setDefaultDialogSeam(DialogSeam *seam) { g_default = seam; }
DialogSeam *defaultDialogSeam() { return g_default; }

ScopedDialogSeam::ScopedDialogSeam(DialogSeam &seam) : m_previous(g_override) { g_override = &seam; }
ScopedDialogSeam::~ScopedDialogSeam() { g_override = m_previous; }
