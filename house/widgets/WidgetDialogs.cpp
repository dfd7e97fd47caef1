#include "WidgetDialogs.h"

#include "BusyOverlay.h"
#include "ErrorDisplay.h"
#include "LoginDialog.h"
#include "NewPasswordDialog.h"
#include "PickListDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct ButtonMap
{
    TMsgDlgBtn house;
    QMessageBox::StandardButton qt;
    int result;
    const char16_t *caption;
};

constexpr ButtonMap Buttons[] = {
    {mbYes, QMessageBox::Yes, mrYes, u"&Sim"},
    {mbNo, QMessageBox::No, mrNo, u"&Não"},
    {mbOK, QMessageBox::Ok, mrOk, u"OK"},
    {mbCancel, QMessageBox::Cancel, mrCancel, u"Cancelar"},
    {mbAbort, QMessageBox::Abort, mrAbort, u"&Abortar"},
    {mbRetry, QMessageBox::Retry, mrRetry, u"&Repetir"},
    {mbIgnore, QMessageBox::Ignore, mrIgnore, u"&Ignorar"},
};

QString titleFor(TMsgDlgType kind)
{
    switch (kind) {
    case mtWarning: return QStringLiteral("Atenção");
    case mtError: return QStringLiteral("Erro");
    case mtInformation: return QStringLiteral("Informação");
    case mtConfirmation: return QStringLiteral("Confirmação");
    case mtCustom: break;
    }
    return QApplication::applicationDisplayName();
}

QMessageBox::Icon iconFor(TMsgDlgType kind)
{
    switch (kind) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

int WidgetDialogs::message(const MessageRequest &request)
{
    // Held by QPointer: the parent may go while the box waits, taking the box with it.
    QPointer<QMessageBox> box = new QMessageBox(iconFor(request.kind), titleFor(request.kind), request.text,
                                                QMessageBox::NoButton, dialogParentFor(request.parent));
    box->setObjectName(QStringLiteral("ShowMsg"));
    QAbstractButton *first = nullptr;
    for (const ButtonMap &map : Buttons) {
        if (!request.buttons.testFlag(map.house))
            continue;
        QPushButton *button = box->addButton(map.qt);
        button->setText(QString::fromUtf16(map.caption));
        if (!first)
            first = button;
    }
    if (!first)
        first = box->addButton(QMessageBox::Ok);
    box->setDefaultButton(qobject_cast<QPushButton *>(first));
    box->exec();
    if (!box)
        return mrCancel;
    const QMessageBox::StandardButton pressed = box->standardButton(box->clickedButton());
    delete box.data();
    for (const ButtonMap &map : Buttons) {
        if (map.qt == pressed)
            return map.result;
    }
    return mrCancel;
}

void WidgetDialogs::error(QObject *parent, const QString &text) { showErrorBox(dialogParentFor(parent), text); }

namespace {

// Runs a modal dialog and takes its answer when it was accepted; the dialog may be gone by then
// (its parent closed under it), and is deleted either way.
template <typename Answer, typename Dialog>
std::optional<Answer> askModal(Dialog *created, Answer (Dialog::*answer)() const)
{
    QPointer<Dialog> dialog = created;
    const bool accepted = dialog->exec() == QDialog::Accepted && dialog;
    std::optional<Answer> given;
    if (accepted)
        given = (dialog.data()->*answer)();
    delete dialog.data();
    return given;
}

} // namespace

std::optional<QStringList> WidgetDialogs::pick(const PickRequest &request)
{
    return askModal(new PickListDialog(request, dialogParentFor(request.parent)), &PickListDialog::pickedKeys);
}

std::optional<LoginAnswer> WidgetDialogs::login(const LoginRequest &request)
{
    return askModal(new LoginDialog(request, dialogParentFor(request.parent)), &LoginDialog::answer);
}

std::optional<NewPasswordAnswer> WidgetDialogs::newPassword(QObject *parent)
{
    return askModal(new NewPasswordDialog(dialogParentFor(parent)), &NewPasswordDialog::answer);
}

std::optional<QString> WidgetDialogs::saveFileName(QObject *parent, const QString &caption, const QString &suggested,
                                                  const QString &filter)
{
    const QString chosen = QFileDialog::getSaveFileName(dialogParentFor(parent), caption, suggested, filter);
    return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
}

bool WidgetDialogs::choosePrinter(QObject *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, dialogParentFor(parent));
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    return dialog.exec() == QDialog::Accepted;
}

void WidgetDialogs::showBusy(QObject *over, int kind)
{
    if (m_busyDepth++ > 0)
        return;
    QWidget *window = qobject_cast<QWidget *>(over);
    if (!window)
        window = QApplication::activeWindow();
    if (!window)
        return;
    m_overlay = new BusyOverlay(window->window(), kind);
    m_overlay->show();
    m_overlay->raise();
    // What follows blocks the thread: paint the overlay now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WidgetDialogs::hideBusy()
{
    if (m_busyDepth == 0 || --m_busyDepth > 0)
        return;
    delete m_overlay.data();
}

void installWidgetDialogs()
{
    static WidgetDialogs dialogs;
    if (defaultDialogSeam() != &dialogs)
        setDefaultDialogSeam(&dialogs);
}
