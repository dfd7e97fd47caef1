#include "TfrmRotiGeral.h"

#include <house/HandlerGuard.h>
#include "HouseGlyphs.h"
#include "TButtonFlat.h"
#include "WidgetDialogs.h"

#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

namespace {
constexpr int FormPointSize = 8;
constexpr int CodeLabelWidth = 49;
constexpr int CodeLabelHeight = 14;
constexpr int ButtonHeight = 46;
} // namespace

TfrmRotiGeral::TfrmRotiGeral(QWidget *parent)
    : QDialog(parent),
      lblCodTela(nullptr),
      grbDadosRel(new QGroupBox(this)),
      panMenu(new QFrame(this)),
      panBotoes(new QFrame(panMenu)),
      sbtConfirma(new TButtonFlat(panBotoes)),
      msgPadrao(QStringLiteral("msgPadrao"))
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Routine screens place their controls in fixed pixels: a small, narrow face keeps every
    // caption inside its control (the condensed face where the system has one).
    QFont small = font();
    small.setPointSize(FormPointSize);
    small.setStretch(QFont::SemiCondensed);
    setFont(small);
    // Group captions sit on the frame line, so a control placed a few pixels below a group's
    // top stands inside its frame, as the screens were laid out.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px;"
        " padding: 0px 2px; background-color: palette(window); }"));

    grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
    panMenu->setObjectName(QStringLiteral("panMenu"));
    panMenu->setFrameShape(QFrame::StyledPanel);
    panMenu->setFrameShadow(QFrame::Raised);
    panBotoes->setObjectName(QStringLiteral("panBotoes"));
    sbtConfirma->setObjectName(QStringLiteral("sbtConfirma"));
    sbtConfirma->setText(QStringLiteral("&Confirma"));
    sbtConfirma->setIcon(HouseGlyphs::confirm());
    sbtConfirma->setToolTip(QStringLiteral("Confirmar"));

    lblCodTela = new QLabel(panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    lblCodTela->setAlignment(Qt::AlignCenter);
    QFont code = lblCodTela->font();
    code.setPointSize(FormPointSize - 1);
    lblCodTela->setFont(code);

    ArrangeFrame(DefaultClientWidth, DefaultClientHeight, DefaultClientWidth - MenuWidth);
}

TfrmRotiGeral::~TfrmRotiGeral() = default;

void TfrmRotiGeral::ArrangeFrame(int clientWidth, int clientHeight, int menuLeft)
{
    setFixedSize(clientWidth, clientHeight);
    grbDadosRel->setGeometry(0, 0, menuLeft, clientHeight);
    const int menuWidth = clientWidth - menuLeft;
    panMenu->setGeometry(menuLeft, 0, menuWidth, clientHeight);
    panBotoes->setGeometry(1, 1, menuWidth - 2, ButtonHeight + 4);
    sbtConfirma->setGeometry(1, 2, menuWidth - 4, ButtonHeight);
    lblCodTela->setGeometry((menuWidth - CodeLabelWidth) / 2, clientHeight - CodeLabelHeight - 4, CodeLabelWidth,
                            CodeLabelHeight);
}

int TfrmRotiGeral::ShowModal()
{
    m_inShowModal = true;
    const int result = exec();
    m_inShowModal = false;
    if (m_freeAfterShowModal)
        deleteLater();
    return result;
}

void TfrmRotiGeral::FormCreate()
{
    // Every routine screen shows real dialogs unless a test installed its own.
    installWidgetDialogs();
}

void TfrmRotiGeral::FormActivate() {}

void TfrmRotiGeral::FormClose(TCloseAction &action) { action = caFree; }

bool TfrmRotiGeral::event(QEvent *event)
{
    const bool handled = QDialog::event(event);
    // A late activation of a screen that has already closed is no activation by the user.
    if (event->type() == QEvent::WindowActivate && isVisible())
        guarded(this, [this] { FormActivate(); });
    return handled;
}

void TfrmRotiGeral::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A shown routine screen takes the focus, with or without a window manager to give it.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !isActiveWindow())
            activateWindow();
    });
}

void TfrmRotiGeral::done(int result)
{
    if (m_closing) {
        QDialog::done(result);
        return;
    }
    TCloseAction action = caFree;
    bool closeHandled = false;
    guarded(this, [&] {
        FormClose(action);
        closeHandled = true;
    });
    if (!closeHandled || action == caNone)
        return; // a failed close handler keeps the screen open, as its error says
    m_closing = true;
    QDialog::done(result);
    m_closing = false;
    if (action != caFree)
        return;
    // Freeing now could pull the screen from under a dialog it still shows (an error box of the
    // handler that closed it runs a nested event loop).
    if (m_inShowModal)
        m_freeAfterShowModal = true;
    else
        deleteLater();
}
