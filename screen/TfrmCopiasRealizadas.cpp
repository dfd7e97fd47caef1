#include "TfrmCopiasRealizadas.h"

#include "CopyServiceClient.h"
#include "DialogSeam.h"
#include "HandlerGuard.h"
#include "HouseError.h"
#include "HouseSession.h"
#include "RunTexts.h"
#include "ShowAvi.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QScopeGuard>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList Columns = {QStringLiteral("Execução"), QStringLiteral("Início"),  QStringLiteral("Operador"),
                             QStringLiteral("Modo"),     QStringLiteral("Origem"),  QStringLiteral("Destino"),
                             QStringLiteral("Serviços"), QStringLiteral("Itens"),   QStringLiteral("Situação")};

QString dayText(double oleDate)
{
    return oleDate == 0 ? QStringLiteral("-") : RunTexts::dateTimeText(oleDate).left(10);
}

} // namespace

TfrmCopiasRealizadas::TfrmCopiasRealizadas(const QString &filial, QWidget *parent)
    : QDialog(parent), lblFilial(new QLabel(this)), grdExecucoes(new QTableWidget(0, int(Columns.size()), this)),
      sbtDesfazer(new QPushButton(QStringLiteral("&Desfazer cópia"), this)),
      sbtAtualizar(new QPushButton(QStringLiteral("&Atualizar"), this)),
      sbtFechar(new QPushButton(QStringLiteral("&Fechar"), this)), lstResultado(new QListWidget(this)),
      cdsExecucoes(QStringLiteral("cdsExecucoes")), cdsDesfeitos(QStringLiteral("cdsDesfeitos")), m_filial(filial),
      m_service(new CopyServiceClient(netCopiaForm))
{
    setObjectName(QStringLiteral("frmCopiasRealizadas"));
    setWindowTitle(QStringLiteral("Cópias realizadas"));
    lblFilial->setObjectName(QStringLiteral("lblFilial"));
    lblFilial->setText(QStringLiteral("Execuções de cópia da filial %1, a mais recente primeiro:").arg(filial));
    grdExecucoes->setObjectName(QStringLiteral("grdExecucoes"));
    grdExecucoes->setHorizontalHeaderLabels(Columns);
    grdExecucoes->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdExecucoes->setSelectionMode(QAbstractItemView::SingleSelection);
    grdExecucoes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdExecucoes->verticalHeader()->hide();
    grdExecucoes->horizontalHeader()->setStretchLastSection(true);
    sbtDesfazer->setObjectName(QStringLiteral("sbtDesfazer"));
    sbtAtualizar->setObjectName(QStringLiteral("sbtAtualizar"));
    sbtFechar->setObjectName(QStringLiteral("sbtFechar"));
    lstResultado->setObjectName(QStringLiteral("lstResultado"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(sbtDesfazer);
    buttons->addWidget(sbtAtualizar);
    buttons->addStretch();
    buttons->addWidget(sbtFechar);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblFilial);
    layout->addWidget(grdExecucoes, 3);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel(QStringLiteral("Resultado por serviço:"), this));
    layout->addWidget(lstResultado, 1);
    resize(1040, 480);

    declareFields(cdsExecucoes, CopyService::execucoesLayout());
    declareFields(cdsDesfeitos, CopyService::desfazExecucaoLayout());
    netCopiaForm.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    netCopiaForm.BeforeConnect = [](TNetConnection &connection) { connectAsSession(connection); };

    connect(sbtDesfazer, &QPushButton::clicked, this, [this] { guarded(this, [this] { undoSelected(); }); });
    connect(sbtAtualizar, &QPushButton::clicked, this, [this] { guarded(this, [this] { loadRuns(); }); });
    connect(grdExecucoes, &QTableWidget::itemSelectionChanged, this, &TfrmCopiasRealizadas::updateUndoButton);
    connect(sbtFechar, &QPushButton::clicked, this, &QDialog::close);
}

TfrmCopiasRealizadas::~TfrmCopiasRealizadas() { delete m_service; }

void TfrmCopiasRealizadas::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // after the window is up, so that a refusal shows over it
    QTimer::singleShot(0, this, [this] {
        guarded(this, [this] {
            try {
                netCopiaForm.SetConnected(true);
                if (!m_service->offersRuns())
                    throw EHouseError(QStringLiteral("O servidor de aplicação não mantém o histórico das cópias."));
                loadRuns();
            } catch (...) {
                close();
                throw;
            }
        });
    });
}

void TfrmCopiasRealizadas::loadRuns(qint64 keep)
{
    m_service->getExecucoes(m_filial, Operador(), 0, 0, cdsExecucoes);
    grdExecucoes->setRowCount(0);
    int kept = 0;
    for (cdsExecucoes.First(); !cdsExecucoes.Eof(); cdsExecucoes.Next()) {
        const RunTexts::Run run = RunTexts::runOf(cdsExecucoes);
        const int row = grdExecucoes->rowCount();
        grdExecucoes->insertRow(row);
        const QStringList cells = {QString::number(run.id), RunTexts::dateTimeText(run.inicio),
                                   run.operador, RunTexts::modeName(run.modo), dayText(run.origem),
                                   dayText(run.destino), QString::number(run.servicos), QString::number(run.itens),
                                   RunTexts::outcome(run)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setData(Qt::UserRole, double(run.id));
            item->setData(UndoableRole, run.undoable());
            grdExecucoes->setItem(row, column, item);
        }
        if (run.id == keep)
            kept = row;
    }
    grdExecucoes->resizeColumnsToContents();
    if (grdExecucoes->rowCount() > 0)
        grdExecucoes->selectRow(kept);
    updateUndoButton();
}

void TfrmCopiasRealizadas::updateUndoButton()
{
    const QList<QTableWidgetItem *> selected = grdExecucoes->selectedItems();
    sbtDesfazer->setEnabled(!selected.isEmpty() && selected.constFirst()->data(UndoableRole).toBool());
}

void TfrmCopiasRealizadas::undoSelected()
{
    const QList<QTableWidgetItem *> selected = grdExecucoes->selectedItems();
    if (selected.isEmpty())
        throw EValidationError(QStringLiteral("Selecione a execução a desfazer."));
    const qint64 run = qint64(selected.constFirst()->data(Qt::UserRole).toDouble());
    if (dialogSeam().message({this, mtConfirmation, mbYes | mbNo, RunTexts::undoQuestion(run), 0}) != mrYes)
        return;
    {
        // one call that takes a while on a large run: the window says so meanwhile
        dialogSeam().showBusy(this, 1);
        const auto done = qScopeGuard([] { dialogSeam().hideBusy(); });
        m_service->DesfazExecucao(run, Operador(), cdsDesfeitos);
    }
    const RunTexts::UndoSummary summary = RunTexts::summarize(cdsDesfeitos);
    lstResultado->clear();
    lstResultado->addItems(summary.lines);
    loadRuns(run);
    dialogSeam().message({this, summary.refused > 0 ? mtWarning : mtInformation, mbOK,
                          QStringLiteral("Execução %1: %2").arg(run).arg(summary.total), 0});
}

void CriaCopiasRealizadas(const QString &filial) noexcept
{
    guarded(nullptr, [&] {
        TfrmCopiasRealizadas screen(filial, houseMainForm());
        screen.exec();
    });
}
