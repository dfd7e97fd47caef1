#pragma once

#include "TClientDataSet.h"
#include "TNetConnection.h"

#include <QDialog>
#include <QString>

class CopyServiceClient;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

// "Cópias realizadas": the branch's copy runs as the server journals them, newest first, and
// "Desfazer cópia" on the one selected, which puts its destination back as it was, with the
// outcome of each service. Controls carry their names as object names.
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
    QPushButton *sbtFechar;
    QListWidget *lstResultado;

    TNetConnection netCopiaForm;
    TClientDataSet cdsExecucoes;
    TClientDataSet cdsDesfeitos;

    // Reads the branch's runs again; raises what the service raises.
    // The branch's runs, newest first; the selection stays on the run named.
    void loadRuns(qint64 keep = 0);
    // "Desfazer cópia" only where something of the selected run is left to undo.
    void updateUndoButton();
    // Undoes the selected run after the question; raises what the service raises.
    void undoSelected();

protected:
    void showEvent(QShowEvent *event) override;

private:
    static constexpr int UndoableRole = Qt::UserRole + 1;
    const QString m_filial;
    CopyServiceClient *m_service;
    bool m_shown = false;
};

// Opens "Cópias realizadas" for the branch over the host's main window and returns once it has
// closed. Failures go to the house error display.
void CriaCopiasRealizadas(const QString &filial) noexcept;
