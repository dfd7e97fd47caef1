#include "TfrmRotiGeral.h"

#include "HandlerGuard.h"
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
    QFont small = font();
    small.setPointSize(FormPointSize);
    setFont(small);

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
    if (event->type() == QEvent::WindowActivate)
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
    if (action == caFree)
        deleteLater();
}
