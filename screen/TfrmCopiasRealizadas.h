#pragma once

#include <copy/RunDetail.h>
#include <copy/RunTexts.h>
#include <house/TClientDataSet.h>
#include <house/TNetConnection.h>

#include <QDialog>
#include <QString>

namespace rbx { class CopyServiceClient; }
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

// "Cópias realizadas": the branch's copy runs as the server journals them, newest first; for the
// one selected, what it did (mode, dates, filters, each service with what it replaced), which
// can be exported to CSV and printed, and "Desfazer cópia", which puts its destination back as it
// was, with the outcome of each service. Controls carry their names as object names.
class TfrmCopiasRealizadas final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfrmCopiasRealizadas)

public:
    TfrmCopiasRealizadas(const QString &filial, QWidget *parent = nullptr);
    ~TfrmCopiasRealizadas() override;

    QLabel *lblFilial;
    QTableWidget *grdExecucoes;
    QPushButton *sbtDesfazer;
    QPushButton *sbtAtualizar;
    QPushButton *sbtExportar;
    QPushButton *sbtImprimir;
    QPushButton *sbtFechar;
    QLabel *lblDetalhe;
    QTableWidget *grdServicos;
    QListWidget *lstResultado;

    TNetConnection netCopiaForm;
    TClientDataSet cdsExecucoes;
    TClientDataSet cdsDesfeitos;
    TClientDataSet cdsServExecucao;

    // Reads the branch's runs again; raises what the service raises.
    // The branch's runs, newest first; the selection stays on the run named.
    void loadRuns(qint64 keep = 0);
    // "Desfazer cópia" only where something of the selected run is left to undo.
    void updateUndoButton();
    // Undoes the selected run after the question; raises what the service raises.
    void undoSelected();
    // The selected run's services, read again from the server, in lblDetalhe and grdServicos.
    void showSelectedRun();
    // The shown run's services to a CSV file the person chooses; raises when it cannot be written.
    void exportShownRun();
    // The shown run on the printer the person chooses.
    void printShownRun();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The run of the selected row, or nothing.
    const rbx::RunTexts::Run *selectedRun() const;

    const QString m_filial;
    QList<rbx::RunTexts::Run> m_runs;
    // the run in the detail, and its services; id 0: none
    rbx::RunTexts::Run m_detailRun;
    QList<rbx::RunDetail::Service> m_detailServices;
    rbx::CopyServiceClient *m_service;
    bool m_shown = false;
};

// Opens "Cópias realizadas" for the branch over the host's main window and returns once it has
// closed. Failures go to the house error display.
void CriaCopiasRealizadas(const QString &filial) noexcept;
