#include "CopyProgressView.h"

#include <house/FormatText.h>
#include <house/HandlerGuard.h>
#include <house/widgets/StopProgressDialog.h>

#include <QCoreApplication>
#include <QWidget>

namespace {

void letEventsThrough() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

} // namespace

CopyProgressView::CopyProgressView(QWidget &screen, rbx::FormulationCopy &copy) : m_screen(screen), m_copy(copy)
{
    copy.setConfirmedHandler([this] { open(); });
    copy.setStartHandler([this](qsizetype total) {
        m_total = total;
        show(0, total);
    });
    copy.setProgressHandler([this](const rbx::CopyProgress &progress) { show(progress.servicesDone, progress.servicesTotal); });
}

CopyProgressView::~CopyProgressView() { close(); }

void CopyProgressView::open()
{
    m_opened = true;
    m_screen.window()->setCursor(Qt::WaitCursor);
    m_dialog = new StopProgressDialog(QStringLiteral("Copiar Formulação"), &m_screen);
    QObject::connect(m_dialog, &StopProgressDialog::stopRequested, m_dialog, [this] {
        guarded(&m_screen, [this] {
            m_copy.requestStop();
            render(m_copy.outcome().services, m_total);
        });
    });
    m_dialog->setProgress(QStringLiteral("Lendo os serviços a copiar…"), 0, 0);
    m_dialog->show();
    // the question's box is gone: paint the screen where it stood before the first call blocks
    letEventsThrough();
}

void CopyProgressView::show(qsizetype done, qsizetype total)
{
    render(done, total);
    letEventsThrough();
}

void CopyProgressView::render(qsizetype done, qsizetype total)
{
    if (!m_dialog)
        return;
    QString text;
    if (!m_copy.stopRequested())
        text = QStringLiteral("Copiando serviço %1 de %2…").arg(formatCount(std::min(done + 1, total)), formatCount(total));
    else if (total == 0)
        text = QStringLiteral("Interrompendo…");
    else
        text = QStringLiteral("Interrompendo: %1 de %2 serviços copiados; aguardando os que já estão em cópia…")
                   .arg(formatCount(done), formatCount(total));
    m_dialog->setProgress(text, done, total);
}

void CopyProgressView::close()
{
    if (!m_opened)
        return;
    m_opened = false;
    delete m_dialog.data();
    m_screen.window()->unsetCursor();
}
