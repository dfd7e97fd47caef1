#include "TfrmCopiasRealizadas.h"

#include <remote/CopyServiceClient.h>
#include <house/DialogSeam.h>
#include <house/FormatText.h>
#include <house/HandlerGuard.h>
#include <protocol/HouseError.h>
#include <house/HouseSession.h>
#include <house/widgets/ShowAvi.h>

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSplitter>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList Columns = {QStringLiteral("Execução"), QStringLiteral("Início"),  QStringLiteral("Operador"),
                             QStringLiteral("Modo"),     QStringLiteral("Origem"),  QStringLiteral("Destino"),
                             QStringLiteral("Serviços"), QStringLiteral("Itens"),   QStringLiteral("Situação")};

QString dayText(double oleDate)
{
    return oleDate == 0 ? QStringLiteral("-") : rbx::RunTexts::dateTimeText(oleDate).left(10);
}

} // namespace

TfrmCopiasRealizadas::TfrmCopiasRealizadas(const QString &filial, QWidget *parent)
    : QDialog(parent), lblFilial(new QLabel(this)), grdExecucoes(new QTableWidget(0, int(Columns.size()), this)),
      sbtDesfazer(new QPushButton(QStringLiteral("&Desfazer cópia"), this)),
      sbtAtualizar(new QPushButton(QStringLiteral("&Atualizar"), this)),
      sbtExportar(new QPushButton(QStringLiteral("&Exportar CSV..."), this)),
      sbtImprimir(new QPushButton(QStringLiteral("&Imprimir..."), this)),
      sbtFechar(new QPushButton(QStringLiteral("&Fechar"), this)), lblDetalhe(new QLabel(this)),
      grdServicos(new QTableWidget(0, int(rbx::RunDetail::columns().size()), this)), lstResultado(new QListWidget(this)),
      cdsExecucoes(QStringLiteral("cdsExecucoes")), cdsDesfeitos(QStringLiteral("cdsDesfeitos")),
      cdsServExecucao(QStringLiteral("cdsServExecucao")), m_filial(filial), m_service(new rbx::CopyServiceClient(netCopiaForm))
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
    sbtExportar->setObjectName(QStringLiteral("sbtExportar"));
    sbtImprimir->setObjectName(QStringLiteral("sbtImprimir"));
    sbtFechar->setObjectName(QStringLiteral("sbtFechar"));
    lblDetalhe->setObjectName(QStringLiteral("lblDetalhe"));
    lblDetalhe->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblDetalhe->setWordWrap(true);
    grdServicos->setObjectName(QStringLiteral("grdServicos"));
    grdServicos->setHorizontalHeaderLabels(rbx::RunDetail::columns());
    grdServicos->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdServicos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdServicos->verticalHeader()->hide();
    grdServicos->horizontalHeader()->setStretchLastSection(true);
    lstResultado->setObjectName(QStringLiteral("lstResultado"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(sbtDesfazer);
    buttons->addWidget(sbtAtualizar);
    buttons->addWidget(sbtExportar);
    buttons->addWidget(sbtImprimir);
    buttons->addStretch();
    buttons->addWidget(sbtFechar);
    auto *detail = new QWidget(this);
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->addWidget(lblDetalhe);
    detailLayout->addWidget(grdServicos, 1);
    auto *outcome = new QWidget(this);
    auto *outcomeLayout = new QVBoxLayout(outcome);
    outcomeLayout->setContentsMargins(0, 0, 0, 0);
    outcomeLayout->addWidget(new QLabel(QStringLiteral("Resultado do desfazimento, por serviço:"), this));
    outcomeLayout->addWidget(lstResultado, 1);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    split->addWidget(grdExecucoes);
    split->addWidget(detail);
    split->addWidget(outcome);
    // the run's services get the room; a few runs and the undo's outcome show without it
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    split->setStretchFactor(2, 1);
    split->setSizes({170, 430, 110});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblFilial);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    resize(1280, 780);

    rbx::declareFields(cdsExecucoes, rbx::CopyService::execucoesLayout());
    rbx::declareFields(cdsDesfeitos, rbx::CopyService::desfazExecucaoLayout());
    rbx::declareFields(cdsServExecucao, rbx::CopyService::servExecucaoLayout());
    netCopiaForm.ServerName = QString::fromLatin1(rbx::Wire::ServerObjectName);
    netCopiaForm.BeforeConnect = [](TNetConnection &connection) { connectAsSession(connection); };

    connect(sbtDesfazer, &QPushButton::clicked, this, [this] { guarded(this, [this] { undoSelected(); }); });
    connect(sbtAtualizar, &QPushButton::clicked, this, [this] { guarded(this, [this] { loadRuns(); }); });
    connect(sbtExportar, &QPushButton::clicked, this, [this] { guarded(this, [this] { exportShownRun(); }); });
    connect(sbtImprimir, &QPushButton::clicked, this, [this] { guarded(this, [this] { printShownRun(); }); });
    connect(grdExecucoes, &QTableWidget::itemSelectionChanged, this, [this] {
        updateUndoButton();
        guarded(this, [this] { showSelectedRun(); });
    });
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
                    throw rbx::EHouseError(QStringLiteral("O servidor de aplicação não mantém o histórico das cópias."));
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
    const QSignalBlocker quiet(grdExecucoes);
    grdExecucoes->setRowCount(0);
    m_runs.clear();
    int kept = 0;
    for (cdsExecucoes.First(); !cdsExecucoes.Eof(); cdsExecucoes.Next()) {
        const rbx::RunTexts::Run run = rbx::RunTexts::runOf(cdsExecucoes);
        m_runs.append(run);
        const int row = grdExecucoes->rowCount();
        grdExecucoes->insertRow(row);
        const QStringList cells = {QString::number(run.id), rbx::RunTexts::dateTimeText(run.inicio),
                                   run.operador, rbx::RunTexts::modeName(run.modo), dayText(run.origem),
                                   dayText(run.destino), formatCount(run.servicos), formatCount(run.itens),
                                   rbx::RunTexts::outcome(run)};
        for (int column = 0; column < cells.size(); ++column)
            grdExecucoes->setItem(row, column, new QTableWidgetItem(cells.at(column)));
        if (run.id == keep)
            kept = row;
    }
    grdExecucoes->resizeColumnsToContents();
    if (grdExecucoes->rowCount() > 0)
        grdExecucoes->selectRow(kept);
    updateUndoButton();
    showSelectedRun();
}

const rbx::RunTexts::Run *TfrmCopiasRealizadas::selectedRun() const
{
    // the grid's rows are m_runs, in order
    const QList<QTableWidgetItem *> selected = grdExecucoes->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.constFirst()->row();
    return row >= 0 && row < m_runs.size() ? &m_runs.at(row) : nullptr;
}

void TfrmCopiasRealizadas::showSelectedRun()
{
    const rbx::RunTexts::Run *selected = selectedRun();
    m_detailRun = {};
    m_detailServices.clear();
    grdServicos->setRowCount(0);
    lblDetalhe->clear();
    sbtExportar->setEnabled(false);
    sbtImprimir->setEnabled(false);
    if (!selected)
        return;
    m_detailRun = *selected;
    QStringList header = rbx::RunDetail::header(m_detailRun);
    if (m_service->offersRunDetail()) {
        m_service->getServExecucao(m_detailRun.id, m_filial, Operador(), cdsServExecucao);
        m_detailServices = rbx::RunDetail::servicesOf(cdsServExecucao);
    } else {
        header << QStringLiteral("O servidor de aplicação não informa os serviços de uma execução.");
    }
    lblDetalhe->setText(header.join(u'\n'));
    for (const rbx::RunDetail::Service &service : std::as_const(m_detailServices)) {
        const int row = grdServicos->rowCount();
        grdServicos->insertRow(row);
        const QStringList cells = rbx::RunDetail::cells(m_detailRun, service);
        for (int column = 0; column < cells.size(); ++column)
            grdServicos->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    grdServicos->resizeColumnsToContents();
    sbtExportar->setEnabled(true);
    sbtImprimir->setEnabled(true);
}

void TfrmCopiasRealizadas::exportShownRun()
{
    if (m_detailRun.id == 0)
        throw rbx::EValidationError(QStringLiteral("Selecione a execução a exportar."));
    const std::optional<QString> file = dialogSeam().saveFileName(
        this, QStringLiteral("Exportar a execução %1").arg(m_detailRun.id),
        QDir::home().filePath(QStringLiteral("execucao-%1.csv").arg(m_detailRun.id)),
        QStringLiteral("Planilha CSV (*.csv)"));
    if (!file)
        return;
    // whole or not at all: a half-written file must not pass for the run's list
    QSaveFile out(*file);
    if (!out.open(QIODevice::WriteOnly) || out.write(rbx::RunDetail::csv(m_detailRun, m_detailServices)) < 0 || !out.commit())
        throw rbx::EHouseError(QStringLiteral("Não foi possível gravar %1: %2.").arg(*file, out.errorString()));
}

void TfrmCopiasRealizadas::printShownRun()
{
    if (m_detailRun.id == 0)
        throw rbx::EValidationError(QStringLiteral("Selecione a execução a imprimir."));
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Execução %1").arg(m_detailRun.id));
    // nine columns read best across the page
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!dialogSeam().choosePrinter(this, printer))
        return;
    QTextDocument page;
    QFont font = page.defaultFont();
    font.setPointSize(9);
    page.setDefaultFont(font);
    page.setHtml(rbx::RunDetail::html(m_detailRun, m_detailServices));
    page.print(&printer);
    if (printer.printerState() == QPrinter::Error)
        throw rbx::EHouseError(QStringLiteral("A impressão da execução %1 falhou.").arg(m_detailRun.id));
}

void TfrmCopiasRealizadas::updateUndoButton()
{
    const rbx::RunTexts::Run *selected = selectedRun();
    sbtDesfazer->setEnabled(selected && selected->undoable());
}

void TfrmCopiasRealizadas::undoSelected()
{
    const rbx::RunTexts::Run *selected = selectedRun();
    if (!selected)
        throw rbx::EValidationError(QStringLiteral("Selecione a execução a desfazer."));
    const qint64 run = selected->id;
    const qint64 pending = selected->servicos - selected->desfeitos;
    if (dialogSeam().message({this, mtConfirmation, mbYes | mbNo, rbx::RunTexts::undoQuestion(run), 0}) != mrYes)
        return;
    {
        // One call that takes a while on a large run: a dialog says what is being undone, and
        // the overlay keeps input away, meanwhile.
        QProgressDialog progress(QStringLiteral("Desfazendo a execução %1: %2 a desfazer...")
                                     .arg(run)
                                     .arg(pending == 1 ? QStringLiteral("1 serviço")
                                                       : QStringLiteral("%1 serviços").arg(formatCount(pending))),
                                 QString(), 0, 0, this);
        progress.setObjectName(QStringLiteral("dlgDesfazendo"));
        progress.setWindowTitle(QStringLiteral("Desfazer cópia"));
        progress.setMinimumDuration(0);
        progress.show();
        dialogSeam().showBusy(this, 1);
        const auto done = qScopeGuard([] { dialogSeam().hideBusy(); });
        m_service->DesfazExecucao(run, Operador(), cdsDesfeitos);
    }
    const rbx::RunTexts::UndoSummary summary = rbx::RunTexts::summarize(cdsDesfeitos);
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
