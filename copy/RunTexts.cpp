#include "RunTexts.h"

#include <contract/CopyServiceContract.h>
#include <house/FormatText.h>
#include <protocol/OleDate.h>
#include <house/TClientDataSet.h>

namespace rbx {

namespace RunTexts {

namespace {

double dateOrNone(const TClientDataSet &set, const QString &field)
{
    const TField &value = set.FieldByName(field);
    return value.IsNull() ? 0 : value.AsDateTime();
}

QString dayText(double oleDate)
{
    return oleDate == 0 ? QStringLiteral("-") : OleDate::toDate(oleDate).toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

Run runOf(const TClientDataSet &runs)
{
    const auto text = [&runs](const char *name) { return runs.FieldByName(QLatin1String(name)).AsString(); };
    Run run;
    run.id = qint64(runs.FieldByName(QStringLiteral("IDEXECUCAO")).AsFloat());
    run.inicio = dateOrNone(runs, QStringLiteral("DTINICIO"));
    run.fim = dateOrNone(runs, QStringLiteral("DTFIM"));
    run.origem = dateOrNone(runs, QStringLiteral("DTORIGEM"));
    run.destino = dateOrNone(runs, QStringLiteral("DTDESTINO"));
    run.desfeita = dateOrNone(runs, QStringLiteral("DTDESFFIM"));
    run.desfazimentoIniciado = dateOrNone(runs, QStringLiteral("DTDESFINI"));
    run.desfeitos = qint64(runs.FieldByName(QStringLiteral("QTDESFEITOS")).AsFloat());
    run.operador = text("CDOPERADOR");
    run.modo = text("IDTPSERVHOSP");
    run.situacao = text("IDSITUACAO");
    run.operadorDesfez = text("CDOPERDESF");
    run.servicos = qint64(runs.FieldByName(QStringLiteral("QTSERVICOS")).AsFloat());
    run.itens = qint64(runs.FieldByName(QStringLiteral("QTITENS")).AsFloat());
    run.erro = text("DSERRO");
    for (const char *filter : {"DSFILTPACI", "DSFILTSERV", "DSFILTDIET", "DSFILTANDA", "DSFILTALA", "DSFILTLEIT"})
        run.filtros << text(filter);
    return run;
}

QString dateTimeText(double oleDate)
{
    return oleDate == 0 ? QStringLiteral("-")
                        : OleDate::toDateTime(oleDate).toString(QStringLiteral("dd/MM/yyyy hh:mm"));
}

QString outcome(const Run &run)
{
    namespace Code = CopyService::RunOutcomeCode;
    const QChar code = run.situacao.isEmpty() ? QChar() : run.situacao.at(0);
    QString text = code == Code::Completed     ? QStringLiteral("concluída")
                   : code == Code::Failed      ? (run.erro.isEmpty() ? QStringLiteral("falhou")
                                                                          : QStringLiteral("falhou (%1)").arg(run.erro))
                   : code == Code::Interrupted ? QStringLiteral("interrompida")
                                               : QStringLiteral("não terminada");
    if (run.desfeita != 0) {
        text += QStringLiteral(", desfeita em %1 por %2").arg(dateTimeText(run.desfeita), run.operadorDesfez);
    } else if (run.desfazimentoIniciado != 0) {
        text += QStringLiteral(", parcialmente desfeita: %1 de %2 serviços desfeitos, os demais pendentes")
                    .arg(formatCount(run.desfeitos), formatCount(run.servicos));
    }
    return text;
}

QString modeName(const QString &modo)
{
    return modo == u"2" ? QStringLiteral("lactário") : modo == u"1" ? QStringLiteral("enteral/parenteral") : QStringLiteral("-");
}

QString runLine(const Run &run)
{
    return QStringLiteral("%1  %2  operador %3  %4  origem %5  destino %6  serviços %7  itens %8  %9")
        .arg(QString::number(run.id), dateTimeText(run.inicio), run.operador.isEmpty() ? QStringLiteral("-") : run.operador,
             modeName(run.modo), dayText(run.origem), dayText(run.destino), formatCount(run.servicos),
             formatCount(run.itens), outcome(run));
}

QString undoQuestion(qint64 run)
{
    return QStringLiteral("Desfazer a cópia da execução %1? Os serviços que ela gravou serão removidos e os que ela "
                          "substituiu voltarão como estavam.")
        .arg(run);
}

UndoSummary summarize(TClientDataSet &services)
{
    UndoSummary summary;
    for (services.First(); !services.Eof(); services.Next()) {
        const auto text = [&services](const char *name) { return services.FieldByName(QLatin1String(name)).AsString(); };
        const QString service = QStringLiteral("paciente %1, serviço %2, dieta %3")
                                    .arg(text("CDPACIENTE"), text("CDSERVFILI"), text("CDDIETPAD"));
        if (text("IDSITUACAO") == u"D") {
            ++summary.undone;
            const QString sequencia = text("NRSEQUSERV");
            summary.lines << service + (sequencia.isEmpty()
                                            ? QStringLiteral(": desfeito (a cópia foi removida; não havia serviço anterior).")
                                            : QStringLiteral(": desfeito (o serviço anterior voltou, sequência %1).").arg(sequencia));
        } else {
            ++summary.refused;
            summary.lines << service + QStringLiteral(": não desfeito: %1.").arg(text("DSMOTIVO"));
        }
    }
    summary.total = QStringLiteral("Serviços desfeitos: %1. Não desfeitos: %2.")
                        .arg(formatCount(summary.undone), formatCount(summary.refused));
    return summary;
}

} // namespace RunTexts

} // namespace rbx
