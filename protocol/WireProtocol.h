#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace rbx {

// The remote copy service's wire format, shared by the client, the server and the tools:
// newline-framed JSON-RPC 2.0 with typed positional arguments and tabular packets.
namespace Wire {

inline constexpr int ProtocolVersion = 1;
inline constexpr qsizetype DefaultMaxMessageBytes = 16 * 1024 * 1024;
inline constexpr char ServerObjectName[] = "Rbx53207.rdmCopiaForm";
// The first request of every connection.
inline constexpr char OpenMethod[] = "rpc.open";
// The second step of a SCRAM login, after rpc.open answered with a challenge.
inline constexpr char AuthMethod[] = "rpc.auth";
inline constexpr char ScramMechanism[] = "SCRAM-SHA-256";
inline constexpr char PlainMechanism[] = "PLAIN";

namespace ErrorCode {
inline constexpr int ParseError = -32700;
inline constexpr int InvalidRequest = -32600;
inline constexpr int MethodNotFound = -32601;
inline constexpr int InvalidParams = -32602;
inline constexpr int InternalError = -32603;
inline constexpr int ServiceFailed = -32000;
inline constexpr int UnknownServer = -32001;
inline constexpr int SessionNotOpen = -32002;
inline constexpr int NotAuthorized = -32003;
inline constexpr int TransactionState = -32004;
inline constexpr int NotPermitted = -32005;
} // namespace ErrorCode

// Splits a byte stream into messages at line feeds, tolerating a carriage return before it.
class RBX_PROTOCOL_EXPORT LineFramer
{
public:
    enum class Status { Message, Incomplete, TooLarge };

    explicit LineFramer(qsizetype maxMessageBytes = DefaultMaxMessageBytes) : m_max(maxMessageBytes) {}

    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    // Takes the next whole message out of the buffer. TooLarge is final: the caller closes.
    Status next(QByteArray &message);
    qsizetype buffered() const { return m_buffer.size() - m_start; }
    bool midMessage() const { return buffered() > 0; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_scanned = 0; // bytes after m_start already known to hold no line feed
    qsizetype m_max;
};

// One positional argument as it travels.
struct Arg
{
    enum class Kind { Text, Date, Double };
    Kind kind = Kind::Text;
    bool byRef = false;
    QString text;
    double number = 0;

    static Arg makeText(QString value, bool byRef = false) { return {Kind::Text, byRef, std::move(value), 0}; }
    static Arg makeDate(double oleDate) { return {Kind::Date, false, {}, oleDate}; }
    static Arg makeDouble(double value) { return {Kind::Double, false, {}, value}; }
};

RBX_PROTOCOL_EXPORT QString kindName(Arg::Kind kind);
RBX_PROTOCOL_EXPORT QJsonObject encodeArg(const Arg &arg);
// Exactly one value key of the right JSON type; "byref" only beside "text". Empty on failure,
// with the reason in *why.
RBX_PROTOCOL_EXPORT std::optional<Arg> decodeArg(const QJsonValue &value, QString *why);

enum class FieldType { String, FixedString, DateTime, Float };
RBX_PROTOCOL_EXPORT QString fieldTypeName(FieldType type);
RBX_PROTOCOL_EXPORT std::optional<FieldType> fieldTypeFromName(const QString &name);

struct PacketField
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // characters for the two text types, 0 otherwise
};

// A tabular result. A cell is a null QVariant, a QString for the text types or a double.
struct Packet
{
    QList<PacketField> fields;
    QList<QList<QVariant>> rows;
};

RBX_PROTOCOL_EXPORT QJsonObject encodePacket(const Packet &packet);
// Throws EDataSetError on anything that is not a well-formed packet.
RBX_PROTOCOL_EXPORT Packet decodePacket(const QJsonValue &value);

struct CallResult
{
    std::optional<Packet> packet;
    QMap<int, QString> byref;
    std::optional<qint64> rowsAffected;
};

struct ErrorInfo
{
    int code = 0;
    QString message;
    QJsonValue data;
};

RBX_PROTOCOL_EXPORT QJsonObject encodeCallResult(const CallResult &result);
// Throws EDataSetError when the result object is malformed.
RBX_PROTOCOL_EXPORT CallResult decodeCallResult(const QJsonValue &value);

// Whole messages, each ending in a line feed.
RBX_PROTOCOL_EXPORT QByteArray requestMessage(qint64 id, const QString &method, const QJsonValue &params);
RBX_PROTOCOL_EXPORT QByteArray resultMessage(const QJsonValue &id, const QJsonValue &result);
RBX_PROTOCOL_EXPORT QByteArray errorMessage(const QJsonValue &id, const ErrorInfo &error);
RBX_PROTOCOL_EXPORT QJsonObject resultObject(const QJsonValue &id, const QJsonValue &result);
RBX_PROTOCOL_EXPORT QJsonObject errorObject(const QJsonValue &id, const ErrorInfo &error);
RBX_PROTOCOL_EXPORT QByteArray frame(const QJsonValue &value);

// The rpc.open request for a server object, with the token when there is one.
RBX_PROTOCOL_EXPORT QByteArray openRequest(qint64 id, const QString &serverObject, const QString &token);
// rpc.open starting a SASL login with the mechanism's first message (base64).
RBX_PROTOCOL_EXPORT QByteArray openRequest(qint64 id, const QString &serverObject, const QString &token,
                                           const QString &mechanism, const QByteArray &data);
// rpc.auth with the client's next SASL message (base64).
RBX_PROTOCOL_EXPORT QByteArray authRequest(qint64 id, const QByteArray &data);
// rpc.open's result: the server object, the session id, the protocol version and the methods
// offered beyond the nine and the transaction calls (the key is left out when there are none);
// on a server that authenticates, the operator and the server's last SASL message as well.
RBX_PROTOCOL_EXPORT QJsonObject openResult(const QString &session, const QStringList &extensions = {},
                                           const QString &operatorCode = {}, const QByteArray &saslData = {});
// The extensions an rpc.open result lists; none when it lists none or is malformed.
RBX_PROTOCOL_EXPORT QStringList openExtensions(const QJsonObject &result);

} // namespace Wire

} // namespace rbx
