#include "HeadlessRuns.h"

#include <remote/CopyServiceClient.h>
#include "HeadlessCopy.h"
#include "HeadlessCopyForm.h"
#include "HeadlessOptions.h"
#include <house/HouseSession.h>
#include <protocol/OleDate.h>
#include <copy/RunDetail.h>
#include <copy/RunTexts.h>

#include <QTextStream>

namespace rbx {

namespace {

// The day of a --from / --to text as the server takes it: 0 for none.
std::optional<double> dayBound(const QString &text, const QDate &value)
{
    if (text.isEmpty())
        return 0.0;
    if (!value.isValid())
        return std::nullopt;
    return OleDate::fromDate(value);
}

} // namespace

int listHeadlessRuns(CopyServiceClient &service, const HeadlessOptions &options, HeadlessCopyForm &form,
                     QTextStream &out, QTextStream &err)
{
    const std::optional<double> de = dayBound(options.from, form.dateValue(CopyDate::Origem));
    const std::optional<double> ate = dayBound(options.to, form.dateValue(CopyDate::Destino));
    if (!de || !ate) {
        err << form.msg(QStringLiteral("Data_Err")) << QStringLiteral(" (--%1 %2)")
                   .arg(de ? QStringLiteral("to") : QStringLiteral("from"), de ? options.to : options.from)
            << Qt::endl;
        return HeadlessExit::Validation;
    }
    TClientDataSet runs(QStringLiteral("cdsExecucoes"));
    declareFields(runs, CopyService::execucoesLayout());
    service.getExecucoes(options.branch, Operador(), *de, *ate, runs);
    if (runs.IsEmpty())
        out << QStringLiteral("Nenhuma execução de cópia no período.") << Qt::endl;
    for (; !runs.Eof(); runs.Next())
        out << RunTexts::runLine(RunTexts::runOf(runs)) << Qt::endl;
    return HeadlessExit::Success;
}

int undoHeadlessRun(CopyServiceClient &service, const HeadlessOptions &options, HeadlessCopyForm &form,
                    QTextStream &out, QTextStream &err)
{
    if (!form.confirm(RunTexts::undoQuestion(options.run))) {
        err << QStringLiteral("Operação não confirmada; nada foi desfeito.") << Qt::endl;
        return HeadlessExit::Validation;
    }
    TClientDataSet services(QStringLiteral("cdsDesfeitos"));
    declareFields(services, CopyService::desfazExecucaoLayout());
    service.DesfazExecucao(options.run, Operador(), services);
    const RunTexts::UndoSummary summary = RunTexts::summarize(services);
    for (const QString &line : summary.lines)
        out << line << Qt::endl;
    out << summary.total << Qt::endl;
    return summary.refused > 0 ? HeadlessExit::UndoRefused : HeadlessExit::Success;
}

int showHeadlessRun(CopyServiceClient &service, const HeadlessOptions &options, QTextStream &out, QTextStream &err)
{
    TClientDataSet runs(QStringLiteral("cdsExecucoes"));
    declareFields(runs, CopyService::execucoesLayout());
    service.getExecucoes(options.branch, Operador(), 0, 0, runs);
    runs.First();
    while (!runs.Eof() && qint64(runs.FieldByName(QStringLiteral("IDEXECUCAO")).AsFloat()) != options.run)
        runs.Next();
    if (runs.Eof()) {
        err << QStringLiteral("A execução %1 não está no diário de cópias da filial %2.").arg(options.run).arg(options.branch)
            << Qt::endl;
        return HeadlessExit::Validation;
    }
    const RunTexts::Run run = RunTexts::runOf(runs);
    if (!service.offersRunDetail()) {
        out << RunTexts::runLine(run) << Qt::endl;
        err << QStringLiteral("O servidor de aplicação não informa os serviços de uma execução.") << Qt::endl;
        return HeadlessExit::ServiceFailure;
    }
    TClientDataSet services(QStringLiteral("cdsServExecucao"));
    declareFields(services, CopyService::servExecucaoLayout());
    service.getServExecucao(options.run, options.branch, Operador(), services);
    out << RunDetail::text(run, RunDetail::servicesOf(services));
    out.flush();
    return HeadlessExit::Success;
}

} // namespace rbx
