#include "FakeCopyService.h"

#include "ScriptedServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace rbx {

QByteArray FakeCopyService::answer(const QByteArray &line)
{
    const QJsonObject request = QJsonDocument::fromJson(line).object();
    const QJsonValue id = request.value(QLatin1String("id"));
    const QString method = request.value(QLatin1String("method")).toString();
    const QJsonObject params = request.value(QLatin1String("params")).toObject();
    if (method == u"rpc.open" && params.contains(QLatin1String("mechanism")))
        return login.answerOpen(id, params);
    if (method == u"rpc.auth")
        return login.answerAuth(id, params);
    if (method == u"rpc.open")
        return Wire::resultMessage(id, QJsonObject{{QStringLiteral("server"), QString::fromLatin1(Wire::ServerObjectName)},
                                                   {QStringLiteral("session"), QStringLiteral("fake")},
                                                   {QStringLiteral("protocol"), Wire::ProtocolVersion}});

    Call call{method, {}};
    for (const QJsonValue &param : request.value(QLatin1String("params")).toArray()) {
        QString why;
        const std::optional<Wire::Arg> arg = Wire::decodeArg(param, &why);
        if (!arg)
            return Wire::errorMessage(id, {Wire::ErrorCode::InvalidParams, why, {}});
        call.args.append(*arg);
    }
    int occurrence;
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call);
        occurrence = ++m_counts[method];
    }

    if ((method == failMethod && occurrence == failOccurrence) || (method == u"Rollback" && rollbackFails)) {
        if (dropOnFailure)
            return ScriptedServer::Close;
        return Wire::errorMessage(id, {Wire::ErrorCode::ServiceFailed, failureMessage, {}});
    }

    // Signature check as the real dispatcher does it: count and kinds.
    if (const CopyService::MethodSignature *signature = CopyService::findMethod(method)) {
        bool fits = signature->kinds.size() == call.args.size();
        for (qsizetype i = 0; fits && i < call.args.size(); ++i)
            fits = signature->kinds.at(i) == call.args.at(i).kind;
        if (!fits)
            return Wire::errorMessage(id, {Wire::ErrorCode::InvalidParams, QStringLiteral("bad arguments"), {}});
    }

    Wire::CallResult result;
    for (qsizetype i = 0; i < call.args.size(); ++i) {
        if (call.args.at(i).byRef)
            result.byref.insert(int(i), call.args.at(i).text);
    }
    const QMap<int, QString> left = writeBack.value(method).value(occurrence);
    for (auto it = left.cbegin(); it != left.cend(); ++it)
        result.byref.insert(it.key(), it.value());

    const auto text = [&call](int i) { return call.args.at(i).text; };
    if (method == u"getNutricio")
        result.packet = packet(CopyService::nutricioLayout(), nutricio);
    else if (method == u"getPaciente")
        result.packet = packet(CopyService::pacienteLayout(), pacientes);
    else if (method == u"getServInte")
        result.packet = packet(CopyService::servInteLayout(), services);
    else if (method == u"getNrServInte")
        result.packet = packet(CopyService::nrServInteLayout(), {{{QStringLiteral("NRSEQUSERV"), nrServInte}}});
    else if (method == u"getNrConfesco")
        result.packet = packet(CopyService::nrConfescoLayout(), {{{QStringLiteral("CDSEQUCOPR"), nrConfesco}}});
    else if (method == u"getConfesco")
        result.packet = packet(CopyService::confescoLayout(), items.value(itemsKey(text(0), text(1))));
    else if (method == u"CopServInte")
        result.packet = packet(CopyService::copServInteLayout(), {{{QStringLiteral("NRSEQUSERV"), nrServInte},
                                                                    {QStringLiteral("QTITENS"), 0.0},
                                                                    {QStringLiteral("QTSUBSTITUIDOS"), 0.0}}});
    else if (method == u"AbreExecucao")
        result.packet = packet(CopyService::execucaoLayout(), {{{QStringLiteral("IDEXECUCAO"), 1.0}}});
    else if (method == u"getExecucoes")
        result.packet = packet(CopyService::execucoesLayout(), {});
    else if (method == u"DesfazExecucao")
        result.packet = packet(CopyService::desfazExecucaoLayout(), {});
    else if (method == u"getServExecucao")
        result.packet = packet(CopyService::servExecucaoLayout(), {});
    return Wire::resultMessage(id, Wire::encodeCallResult(result));
}

Wire::Packet FakeCopyService::packet(const QList<CopyService::FieldLayout> &layout, const QList<Row> &rows) const
{
    Wire::Packet packet;
    packet.fields = CopyService::packetFields(layout);
    for (const Row &row : rows) {
        QList<QVariant> cells;
        for (const CopyService::FieldLayout &field : layout)
            cells.append(row.value(field.name));
        packet.rows.append(cells);
    }
    return packet;
}

QList<FakeCopyService::Call> FakeCopyService::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList FakeCopyService::methods() const
{
    QStringList names;
    for (const Call &call : calls())
        names.append(call.method);
    return names;
}

QList<FakeCopyService::Call> FakeCopyService::callsOf(const QString &method) const
{
    QList<Call> found;
    for (const Call &call : calls()) {
        if (call.method == method)
            found.append(call);
    }
    return found;
}

} // namespace rbx
