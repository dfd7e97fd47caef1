#include "HostWindow.h"

#include <house/HandlerGuard.h>
#include <protocol/HouseError.h>
#include <house/HouseSession.h>
#include "ModuleLoader.h"
#include "PasswordChange.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace rbx {

namespace {
constexpr int BranchWidth = 4;
const QString EnteralTitle = QStringLiteral("Copiar Formulação (Enteral/Parenteral)");
const QString LactarioTitle = QStringLiteral("Copiar Formulação (Lactário)");
const QString CopiasTitle = QStringLiteral("Cópias realizadas");
} // namespace

HostWindow::HostWindow(const HostOptions &options, const ModuleLoader &module, QWidget *parent)
    : QMainWindow(parent), m_module(module), m_branch(new QLineEdit(options.branch, this))
{
    setObjectName(QStringLiteral("HostWindow"));
    setWindowTitle(QStringLiteral("Nutrição e Dietética"));

    m_branch->setObjectName(QStringLiteral("edtFilial"));
    m_branch->setMaxLength(BranchWidth);
    m_branch->setPlaceholderText(QStringLiteral("0001"));

    auto *enteral = new QAction(EnteralTitle, this);
    auto *lactario = new QAction(LactarioTitle, this);
    auto *copias = new QAction(CopiasTitle, this);
    copias->setObjectName(QStringLiteral("actCopiasRealizadas"));
    connect(enteral, &QAction::triggered, this, [this] { openScreen(QStringLiteral("E")); });
    connect(lactario, &QAction::triggered, this, [this] { openScreen(QStringLiteral("N")); });
    connect(copias, &QAction::triggered, this, [this] { openScreen(QStringLiteral("C")); });
    QMenu *routines = menuBar()->addMenu(QStringLiteral("&Rotinas"));
    routines->addAction(enteral);
    routines->addAction(lactario);
    routines->addAction(copias);
    routines->addSeparator();
    QAction *password = routines->addAction(QStringLiteral("Alterar s&enha..."), this,
                                            [this] { changeSessionPassword(this); });
    password->setObjectName(QStringLiteral("actAlterarSenha"));
    routines->addAction(QStringLiteral("&Sair"), this, &QWidget::close);

    auto *central = new QWidget(this);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Filial:"), m_branch);
    auto *layout = new QVBoxLayout(central);
    layout->addLayout(form);
    for (QAction *action : {enteral, lactario, copias}) {
        auto *button = new QPushButton(action->text(), central);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        layout->addWidget(button);
    }
    layout->addStretch();
    setCentralWidget(central);

    // A permanent widget: the temporary message would be cleared by the empty status tip of
    // every menu entry the pointer passes over.
    auto *session = new QLabel(QStringLiteral("Operador: %1   Servidor: %2:%3")
                                   .arg(options.operatorCode.isEmpty() ? QStringLiteral("(nenhum)") : options.operatorCode,
                                        options.serverHost)
                                   .arg(options.serverPort),
                               this);
    session->setObjectName(QStringLiteral("lblSessao"));
    statusBar()->addPermanentWidget(session, 1);
    // what the last screen did, e.g. the run a copy made and its counts
    auto *lastDone = new QLabel(this);
    lastDone->setObjectName(QStringLiteral("lblUltimaAcao"));
    statusBar()->addPermanentWidget(lastDone, 2);
    setStatusLineSink([lastDone](const QString &text) { lastDone->setText(text); });
    resize(440, 260);
}

HostWindow::~HostWindow() { setStatusLineSink({}); }

QString HostWindow::branch() const { return m_branch->text().trimmed(); }

void HostWindow::openScreen(const QString &mode)
{
    guarded(this, [&] {
        if (branch().isEmpty())
            throw EValidationError(QStringLiteral("Informe a filial."));
        if (mode == u"C")
            m_module.copiasRealizadas(branch());
        else
            m_module.iniProc(mode, branch());
    });
}

} // namespace rbx
