#pragma once

#include <copy/rbx_copy_export.h>

#include <QString>
#include <QStringList>

class TClientDataSet;

namespace rbx {

// What a person reads of the copy runs the server journals: a run's line, how it ended, the
// undo's question and its outcome per service. The headless command and the host's routine
// say the same.
namespace RunTexts {

struct Run
{
    qint64 id = 0;
    double inicio = 0, fim = 0, origem = 0, destino = 0, desfeita = 0; // 0: none
    double desfazimentoIniciado = 0; // an undo began; desfeita once it left nothing pending
    QString operador, modo, situacao, operadorDesfez;
    qint64 servicos = 0, itens = 0, desfeitos = 0;
    QString erro;        // why it failed, as the server saw it
    QStringList filtros; // patients, services, diets, floors, wings, beds: a selection list or "T"

    // Something of the run is still there to undo.
    bool undoable() const { return desfeita == 0; }
};

// The current row of a record set of the getExecucoes layout.
RBX_COPY_EXPORT Run runOf(const TClientDataSet &runs);
// "concluída", "falhou", "interrompida", "não terminada", and who undid it when, or how much of
// it an undo left pending.
RBX_COPY_EXPORT QString outcome(const Run &run);
RBX_COPY_EXPORT QString modeName(const QString &modo);
// The run's id first, then when, operator, dates, services and items, how it ended.
RBX_COPY_EXPORT QString runLine(const Run &run);
RBX_COPY_EXPORT QString dateTimeText(double oleDate);
RBX_COPY_EXPORT QString undoQuestion(qint64 run);

struct UndoSummary
{
    QStringList lines; // one per service
    QString total;
    int undone = 0, refused = 0;
};
// The rows of a DesfazExecucao answer.
RBX_COPY_EXPORT UndoSummary summarize(TClientDataSet &services);

} // namespace RunTexts

} // namespace rbx
