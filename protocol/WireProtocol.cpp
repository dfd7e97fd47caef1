#include "WireProtocol.h"

#include "HouseError.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace rbx {

namespace Wire {

LineFramer::Status LineFramer::next(QByteArray &message)
{
    const qsizetype from = m_start + m_scanned;
    const qsizetype end = m_buffer.indexOf('\n', from);
    if (end < 0) {
        m_scanned = m_buffer.size() - m_start;
        if (m_scanned > m_max + 1) // one byte of slack for a carriage return
            return Status::TooLarge;
        // keep the buffer from growing by what was already handed out
        if (m_start > 0 && m_start * 2 > m_buffer.size()) {
            m_buffer.remove(0, m_start);
            m_start = 0;
        }
        return Status::Incomplete;
    }
    qsizetype length = end - m_start;
    if (length > 0 && m_buffer.at(end - 1) == '\r')
        --length;
    if (length > m_max)
        return Status::TooLarge;
    message = m_buffer.mid(m_start, length);
    m_start = end + 1;
    m_scanned = 0;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    return Status::Message;
}

QString kindName(Arg::Kind kind)
{
    switch (kind) {
    case Arg::Kind::Text: return QStringLiteral("text");
    case Arg::Kind::Date: return QStringLiteral("date");
    case Arg::Kind::Double: return QStringLiteral("double");
    }
    return {};
}

QJsonObject encodeArg(const Arg &arg)
{
    switch (arg.kind) {
    case Arg::Kind::Text:
        if (arg.byRef)
            return QJsonObject{{QStringLiteral("text"), arg.text}, {QStringLiteral("byref"), true}};
        return QJsonObject{{QStringLiteral("text"), arg.text}};
    case Arg::Kind::Date: return QJsonObject{{QStringLiteral("date"), arg.number}};
    case Arg::Kind::Double: return QJsonObject{{QStringLiteral("double"), arg.number}};
    }
    return {};
}

std::optional<Arg> decodeArg(const QJsonValue &value, QString *why)
{
    auto fail = [why](const QString &reason) -> std::optional<Arg> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (!value.isObject())
        return fail(QStringLiteral("not an object"));
    const QJsonObject object = value.toObject();
    const qsizetype keys = object.size();
    if (object.contains(QLatin1String("text"))) {
        const QJsonValue text = object.value(QLatin1String("text"));
        if (!text.isString())
            return fail(QStringLiteral("\"text\" is not a string"));
        bool byRef = false;
        if (object.contains(QLatin1String("byref"))) {
            const QJsonValue flag = object.value(QLatin1String("byref"));
            if (!flag.isBool())
                return fail(QStringLiteral("\"byref\" is not a boolean"));
            byRef = flag.toBool();
            if (keys != 2)
                return fail(QStringLiteral("more than one value key"));
        } else if (keys != 1) {
            return fail(QStringLiteral("more than one value key"));
        }
        return Arg::makeText(text.toString(), byRef);
    }
    if (keys != 1)
        return fail(QStringLiteral("not exactly one value key"));
    for (const auto &[key, kind] : {std::pair{QLatin1String("date"), Arg::Kind::Date},
                                    std::pair{QLatin1String("double"), Arg::Kind::Double}}) {
        if (!object.contains(key))
            continue;
        const QJsonValue number = object.value(key);
        if (!number.isDouble() || !std::isfinite(number.toDouble()))
            return fail(QStringLiteral("\"%1\" is not a finite number").arg(key));
        Arg arg;
        arg.kind = kind;
        arg.number = number.toDouble();
        return arg;
    }
    return fail(QStringLiteral("unknown value key"));
}

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::String: return QStringLiteral("string");
    case FieldType::FixedString: return QStringLiteral("fixedstring");
    case FieldType::DateTime: return QStringLiteral("datetime");
    case FieldType::Float: return QStringLiteral("float");
    }
    return {};
}

std::optional<FieldType> fieldTypeFromName(const QString &name)
{
    for (FieldType type : {FieldType::String, FieldType::FixedString, FieldType::DateTime, FieldType::Float}) {
        if (fieldTypeName(type) == name)
            return type;
    }
    return std::nullopt;
}

static bool isText(FieldType type) { return type == FieldType::String || type == FieldType::FixedString; }

QJsonObject encodePacket(const Packet &packet)
{
    QJsonArray fields;
    for (const PacketField &field : packet.fields) {
        QJsonObject object{{QStringLiteral("name"), field.name}, {QStringLiteral("type"), fieldTypeName(field.type)}};
        if (isText(field.type))
            object.insert(QStringLiteral("size"), field.size);
        fields.append(object);
    }
    QJsonArray rows;
    for (const QList<QVariant> &row : packet.rows) {
        QJsonArray cells;
        for (qsizetype i = 0; i < row.size(); ++i) {
            const QVariant &cell = row.at(i);
            if (cell.isNull())
                cells.append(QJsonValue::Null);
            else if (isText(packet.fields.at(i).type))
                cells.append(cell.toString());
            else
                cells.append(cell.toDouble());
        }
        rows.append(cells);
    }
    return QJsonObject{{QStringLiteral("fields"), fields}, {QStringLiteral("rows"), rows}};
}

Packet decodePacket(const QJsonValue &value)
{
    auto bad = [](const QString &why) { return EDataSetError(QStringLiteral("Pacote de dados inválido: %1.").arg(why)); };
    if (!value.isObject())
        throw bad(QStringLiteral("não é um objeto"));
    const QJsonObject object = value.toObject();
    const QJsonValue fieldsValue = object.value(QLatin1String("fields"));
    const QJsonValue rowsValue = object.value(QLatin1String("rows"));
    if (!fieldsValue.isArray() || !rowsValue.isArray())
        throw bad(QStringLiteral("faltam \"fields\" ou \"rows\""));
    Packet packet;
    for (const QJsonValue &fieldValue : fieldsValue.toArray()) {
        const QJsonObject fieldObject = fieldValue.toObject();
        PacketField field;
        field.name = fieldObject.value(QLatin1String("name")).toString();
        const auto type = fieldTypeFromName(fieldObject.value(QLatin1String("type")).toString());
        if (field.name.isEmpty() || !type)
            throw bad(QStringLiteral("campo sem nome ou de tipo desconhecido"));
        field.type = *type;
        if (isText(field.type)) {
            const double size = fieldObject.value(QLatin1String("size")).toDouble(-1);
            if (size < 0 || size > 1e6 || size != std::floor(size))
                throw bad(QStringLiteral("tamanho inválido no campo %1").arg(field.name));
            field.size = int(size);
        }
        packet.fields.append(field);
    }
    const QJsonArray rows = rowsValue.toArray();
    packet.rows.reserve(rows.size());
    for (const QJsonValue &rowValue : rows) {
        if (!rowValue.isArray())
            throw bad(QStringLiteral("linha que não é uma lista"));
        const QJsonArray cells = rowValue.toArray();
        if (cells.size() != packet.fields.size())
            throw bad(QStringLiteral("linha com %1 valores para %2 campos").arg(cells.size()).arg(packet.fields.size()));
        QList<QVariant> row;
        row.reserve(cells.size());
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const QJsonValue cell = cells.at(i);
            const PacketField &field = packet.fields.at(i);
            if (cell.isNull()) {
                row.append(QVariant());
            } else if (isText(field.type)) {
                if (!cell.isString())
                    throw bad(QStringLiteral("valor não textual no campo %1").arg(field.name));
                row.append(cell.toString());
            } else {
                if (!cell.isDouble())
                    throw bad(QStringLiteral("valor não numérico no campo %1").arg(field.name));
                row.append(cell.toDouble());
            }
        }
        packet.rows.append(std::move(row));
    }
    return packet;
}

QJsonObject encodeCallResult(const CallResult &result)
{
    QJsonObject byref;
    for (auto it = result.byref.cbegin(); it != result.byref.cend(); ++it)
        byref.insert(QString::number(it.key()), it.value());
    QJsonObject object{{QStringLiteral("packet"), result.packet ? QJsonValue(encodePacket(*result.packet)) : QJsonValue()},
                       {QStringLiteral("byref"), byref}};
    if (result.rowsAffected)
        object.insert(QStringLiteral("rowsAffected"), double(*result.rowsAffected));
    return object;
}

CallResult decodeCallResult(const QJsonValue &value)
{
    if (!value.isObject())
        throw EDataSetError(QStringLiteral("Resposta do servidor inválida: o resultado não é um objeto."));
    const QJsonObject object = value.toObject();
    CallResult result;
    const QJsonValue packet = object.value(QLatin1String("packet"));
    if (!packet.isNull() && !packet.isUndefined())
        result.packet = decodePacket(packet);
    const QJsonValue byref = object.value(QLatin1String("byref"));
    if (byref.isObject()) {
        const QJsonObject refs = byref.toObject();
        for (auto it = refs.constBegin(); it != refs.constEnd(); ++it) {
            bool ok = false;
            const int position = it.key().toInt(&ok);
            if (!ok || position < 0 || !it.value().isString())
                throw EDataSetError(QStringLiteral("Resposta do servidor inválida: \"byref\" malformado."));
            result.byref.insert(position, it.value().toString());
        }
    } else if (!byref.isUndefined() && !byref.isNull()) {
        throw EDataSetError(QStringLiteral("Resposta do servidor inválida: \"byref\" malformado."));
    }
    const QJsonValue rows = object.value(QLatin1String("rowsAffected"));
    if (!rows.isUndefined() && !rows.isNull()) {
        // a count, and one a double holds exactly: anything else would not convert safely
        const double count = rows.toDouble(-1);
        if (!rows.isDouble() || count < 0 || count > 9007199254740992.0 || count != std::floor(count))
            throw EDataSetError(QStringLiteral("Resposta do servidor inválida: \"rowsAffected\" malformado."));
        result.rowsAffected = qint64(count);
    }
    return result;
}

QByteArray frame(const QJsonValue &value)
{
    QByteArray bytes = value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                       : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    return bytes;
}

QByteArray requestMessage(qint64 id, const QString &method, const QJsonValue &params)
{
    return frame(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                             {QStringLiteral("id"), double(id)},
                             {QStringLiteral("method"), method},
                             {QStringLiteral("params"), params}});
}

QJsonObject resultObject(const QJsonValue &id, const QJsonValue &result)
{
    return QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("id"), id},
                       {QStringLiteral("result"), result}};
}

QJsonObject errorObject(const QJsonValue &id, const ErrorInfo &error)
{
    QJsonObject body{{QStringLiteral("code"), error.code}, {QStringLiteral("message"), error.message}};
    if (!error.data.isUndefined() && !error.data.isNull())
        body.insert(QStringLiteral("data"), error.data);
    return QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("id"), id},
                       {QStringLiteral("error"), body}};
}

QByteArray resultMessage(const QJsonValue &id, const QJsonValue &result) { return frame(resultObject(id, result)); }
QByteArray errorMessage(const QJsonValue &id, const ErrorInfo &error) { return frame(errorObject(id, error)); }

QByteArray openRequest(qint64 id, const QString &serverObject, const QString &token)
{
    QJsonObject params{{QStringLiteral("server"), serverObject}};
    if (!token.isEmpty())
        params.insert(QStringLiteral("token"), token);
    return requestMessage(id, QLatin1String(OpenMethod), params);
}

QByteArray openRequest(qint64 id, const QString &serverObject, const QString &token, const QString &mechanism,
                       const QByteArray &data)
{
    QJsonObject params{{QStringLiteral("server"), serverObject},
                       {QStringLiteral("mechanism"), mechanism},
                       {QStringLiteral("data"), QString::fromLatin1(data)}};
    if (!token.isEmpty())
        params.insert(QStringLiteral("token"), token);
    return requestMessage(id, QLatin1String(OpenMethod), params);
}

QByteArray authRequest(qint64 id, const QByteArray &data)
{
    return requestMessage(id, QLatin1String(AuthMethod), QJsonObject{{QStringLiteral("data"), QString::fromLatin1(data)}});
}

QJsonObject openResult(const QString &session, const QStringList &extensions, const QString &operatorCode,
                       const QByteArray &saslData)
{
    QJsonObject result{{QStringLiteral("server"), QLatin1String(ServerObjectName)},
                       {QStringLiteral("session"), session},
                       {QStringLiteral("protocol"), ProtocolVersion}};
    if (!extensions.isEmpty())
        result.insert(QStringLiteral("methods"), QJsonArray::fromStringList(extensions));
    if (!operatorCode.isEmpty())
        result.insert(QStringLiteral("operator"), operatorCode);
    if (!saslData.isEmpty())
        result.insert(QStringLiteral("data"), QString::fromLatin1(saslData));
    return result;
}

QStringList openExtensions(const QJsonObject &result)
{
    QStringList names;
    for (const QJsonValue &name : result.value(QLatin1String("methods")).toArray()) {
        if (name.isString())
            names.append(name.toString());
    }
    return names;
}

} // namespace Wire

} // namespace rbx
