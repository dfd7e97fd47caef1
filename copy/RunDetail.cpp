#include "RunDetail.h"

#include <house/FormatText.h>
#include <protocol/OleDate.h>
#include <house/PesquisaLista.h>
#include <house/TClientDataSet.h>

#include <algorithm>

namespace rbx {

using namespace Qt::StringLiterals;

namespace RunDetail {

namespace {

QString dayText(double oleDate)
{
    return oleDate == 0 ? u"-"_s : OleDate::toDate(oleDate).toString(u"dd/MM/yyyy"_s);
}

QString filterText(const QString &filter, const QString &all)
{
    if (filter == u"T")
        return all;
    const QStringList codes = splitSelectionList(filter);
    return codes.isEmpty() ? u"nenhum"_s : codes.join(u", "_s);
}

QString replacedText(const Service &service)
{
    if (service.sequenciaAnterior.isEmpty())
        return u"nada"_s;
    return u"sequência %1, %2"_s.arg(service.sequenciaAnterior,
                                     service.itensAnteriores == 1 ? u"1 item"_s
                                                                  : u"%1 itens"_s.arg(formatCount(service.itensAnteriores)));
}

QString csvField(const QString &value)
{
    if (!value.contains(u';') && !value.contains(u'"') && !value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    QString quoted = value;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString escaped(const QString &value) { return value.toHtmlEscaped(); }

} // namespace

QList<Service> servicesOf(TClientDataSet &rows)
{
    QList<Service> services;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        const auto text = [&rows](const char *name) { return rows.FieldByName(QLatin1String(name)).AsString(); };
        const auto count = [&rows](const char *name) { return qint64(rows.FieldByName(QLatin1String(name)).AsFloat()); };
        services.append({count("NRORDEM"), text("CDPACIENTE"), text("NMPACIENTE"), text("CDSERVFILI"), text("NMSERVICO"),
                         text("CDDIETPAD"), text("DSDIETPAD"), text("NRSEQUSERV"), count("QTITENS"), text("NRSEQUANT"),
                         count("QTITENSANT"), text("IDSITUACAO") == u"D"});
    }
    return services;
}

QStringList header(const RunTexts::Run &run)
{
    const QStringList &f = run.filtros;
    const auto filter = [&f](qsizetype i, const QString &all) { return filterText(i < f.size() ? f.at(i) : QString(), all); };
    return {u"Execução %1: %2"_s.arg(run.id).arg(RunTexts::outcome(run)),
            u"Modo: %1. Origem: %2. Destino: %3."_s.arg(RunTexts::modeName(run.modo), dayText(run.origem),
                                                        dayText(run.destino)),
            u"Operador: %1. Início: %2. Fim: %3."_s.arg(run.operador.isEmpty() ? u"-"_s : run.operador,
                                                       RunTexts::dateTimeText(run.inicio), RunTexts::dateTimeText(run.fim)),
            u"Serviços: %1. Itens: %2."_s.arg(formatCount(run.servicos), formatCount(run.itens)),
            u"Pacientes: %1. Serviços: %2. Dietas: %3."_s.arg(filter(0, u"todos"_s), filter(1, u"todos"_s),
                                                             filter(2, u"todas"_s)),
            u"Andares: %1. Alas: %2. Leitos: %3."_s.arg(filter(3, u"todos"_s), filter(4, u"todas"_s),
                                                       filter(5, u"todos"_s))};
}

QStringList columns()
{
    return {u"Ordem"_s, u"Paciente"_s, u"Nome do paciente"_s, u"Serviço"_s, u"Dieta"_s, u"Sequência"_s,
            u"Itens"_s,  u"Substituiu"_s, u"Situação"_s};
}

QStringList cells(const RunTexts::Run &run, const Service &service)
{
    const auto named = [](const QString &code, const QString &name) {
        return name.isEmpty() ? code : u"%1 %2"_s.arg(code, name);
    };
    const QString situacao = service.desfeito                     ? u"desfeito"_s
                             : run.desfazimentoIniciado != 0      ? u"pendente"_s
                                                                  : u"copiado"_s;
    return {QString::number(service.ordem), service.paciente, service.nomePaciente,
            named(service.servico, service.nomeServico), named(service.dieta, service.nomeDieta), service.sequencia,
            formatCount(service.itens), replacedText(service), situacao};
}

QByteArray csv(const RunTexts::Run &run, const QList<Service> &services)
{
    QString out;
    const auto line = [&out](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        out += quoted.join(u';') + u"\r\n"_s;
    };
    line(columns());
    for (const Service &service : services)
        line(cells(run, service));
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

QString text(const RunTexts::Run &run, const QList<Service> &services)
{
    QList<QStringList> rows{columns()};
    for (const Service &service : services)
        rows << cells(run, service);
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row.at(i).size());
    }
    QString out = header(run).join(u'\n') + u"\n\n"_s;
    for (const QStringList &row : rows) {
        QStringList padded;
        for (qsizetype i = 0; i < row.size(); ++i)
            padded << (i + 1 == row.size() ? row.at(i) : row.at(i).leftJustified(widths[i]));
        out += padded.join(u"  "_s) + u'\n';
    }
    if (services.isEmpty())
        out += u"Nenhum serviço gravado por esta execução.\n"_s;
    return out;
}

QString html(const RunTexts::Run &run, const QList<Service> &services)
{
    QString page = u"<html><head><meta charset=\"utf-8\"></head><body>"_s
                   u"<h2>Cópia de formulações: execução %1</h2>"_s.arg(run.id);
    for (const QString &line : header(run))
        page += u"<p style=\"margin:2px\">%1</p>"_s.arg(escaped(line));
    // codes, counts and short words are not broken across lines; names and descriptions are
    const auto wraps = [](qsizetype column) { return column == 2 || column == 3 || column == 4 || column == 7; };
    page += u"<br><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr>"_s;
    const QStringList headings = columns();
    for (qsizetype i = 0; i < headings.size(); ++i)
        page += u"<th align=\"left\"%1>%2</th>"_s.arg(wraps(i) ? QString() : u" nowrap"_s, escaped(headings.at(i)));
    page += u"</tr>"_s;
    for (const Service &service : services) {
        page += u"<tr>"_s;
        const QStringList row = cells(run, service);
        for (qsizetype i = 0; i < row.size(); ++i)
            page += u"<td%1>%2</td>"_s.arg(wraps(i) ? QString() : u" nowrap"_s, escaped(row.at(i)));
        page += u"</tr>"_s;
    }
    page += u"</table>"_s;
    if (services.isEmpty())
        page += u"<p>Nenhum serviço gravado por esta execução.</p>"_s;
    return page + u"</body></html>"_s;
}

} // namespace RunDetail

} // namespace rbx
