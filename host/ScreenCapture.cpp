#include "ScreenCapture.h"

#include <house/TextRoutines.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>

namespace rbx {

namespace {
constexpr int PollMs = 100;
constexpr int MaxPolls = 300;     // 30 s for the server to answer
constexpr int SettlePolls = 5;    // let the window paint after the dates arrive

QWidget *copyScreen()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        const QString name = window->objectName();
        if ((name == QLatin1String("frmCopFormulacao") || name == QLatin1String("frmCopiasRealizadas"))
            && window->isVisible())
            return window;
    }
    return nullptr;
}
} // namespace

ScreenCapture::ScreenCapture(QString file, QObject *parent)
    : QObject(parent), m_file(std::move(file)), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &ScreenCapture::poll);
}

void ScreenCapture::start() { m_timer->start(PollMs); }

bool ScreenCapture::save(QWidget *window, bool withFrame)
{
    // With a window manager the frame holds the caption: take the screen's pixels where the
    // window stands; without one (or off screen) render the window itself.
    QPixmap shot;
    QScreen *screen = window->screen();
    if (withFrame && screen && QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QRect frame = window->frameGeometry();
        shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (shot.isNull())
        shot = window->grab();
    if (!shot.save(m_file, "PNG")) {
        m_problem = QStringLiteral("Não foi possível gravar %1.").arg(m_file);
        return false;
    }
    return true;
}

void ScreenCapture::poll()
{
    if (++m_polls > MaxPolls) {
        m_timer->stop();
        m_problem = QStringLiteral("A tela não abriu a tempo.");
        if (QWidget *screen = copyScreen())
            screen->close();
        return;
    }
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        m_timer->stop();
        m_problem = box->text();
        save(box, false); // just opened: render it rather than trust where it stands yet
        box->done(QMessageBox::Ok);
        // The screen may stay open after a failed activation: close it so the host can quit.
        QTimer::singleShot(PollMs, [] {
            if (QWidget *screen = copyScreen())
                screen->close();
        });
        return;
    }
    QWidget *screen = copyScreen();
    if (!screen)
        return;
    // the copy screen once its first activation set the dates, the runs once they are listed
    const auto *origin = screen->findChild<QLineEdit *>(QStringLiteral("depOrigem"));
    const auto *runs = screen->findChild<QTableWidget *>(QStringLiteral("grdExecucoes"));
    if (!(origin && !EmptyString(origin->text())) && !(runs && runs->rowCount() > 0))
        return;
    if (++m_readyPolls < SettlePolls)
        return;
    m_timer->stop();
    m_succeeded = save(screen, true);
    screen->close();
}

} // namespace rbx
