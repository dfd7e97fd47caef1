#pragma once

#include <copy/rbx_copy_export.h>

#include "RunTexts.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class TClientDataSet;

namespace rbx {

// What one run did, service by service, as a person reads it on the screen, in a spreadsheet
// and on paper, and as the headless command prints it: the same header and the same columns.
namespace RunDetail {

struct Service
{
    qint64 ordem = 0;
    QString paciente, nomePaciente, servico, nomeServico, dieta, nomeDieta, sequencia;
    qint64 itens = 0;
    QString sequenciaAnterior; // empty: the run replaced nothing
    qint64 itensAnteriores = 0;
    bool desfeito = false;
};

// The rows of a getServExecucao answer.
RBX_COPY_EXPORT QList<Service> servicesOf(TClientDataSet &rows);

// "Execução 12: concluída", mode, origin and destination, who and when, and the six filters as
// they were chosen, a line each.
RBX_COPY_EXPORT QStringList header(const RunTexts::Run &run);
RBX_COPY_EXPORT QStringList columns();
RBX_COPY_EXPORT QStringList cells(const RunTexts::Run &run, const Service &service);

// UTF-8 with a byte order mark (what spreadsheets in Portuguese need to read the accents),
// fields separated by ';', one header row.
RBX_COPY_EXPORT QByteArray csv(const RunTexts::Run &run, const QList<Service> &services);
// Plain text, columns aligned: what the headless command prints.
RBX_COPY_EXPORT QString text(const RunTexts::Run &run, const QList<Service> &services);
// A page to print: the header and a table.
RBX_COPY_EXPORT QString html(const RunTexts::Run &run, const QList<Service> &services);

} // namespace RunDetail

} // namespace rbx
