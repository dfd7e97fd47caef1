// Fuzzes the server's handling of a connection's bytes without the socket: framing, JSON,
// rpc.open, argument decoding, dispatch to every method (the extensions too) on a real (small) database, packet
// building and answer encoding. Every answer must itself be a well-formed message.
#include "FuzzDatabase.h"
#include <server/ServerLimits.h>
#include <server/ServerOptions.h>
#include <server/CopyServiceSession.h>
#include <server/RpcEndpoint.h>
#include <protocol/WireProtocol.h>

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

namespace rbx {

namespace {

// Checks what the server sends: each piece of a batch, or a whole line that parses as JSON.
class CheckingSink final : public AnswerSink
{
public:
    bool send(const QByteArray &bytes) override
    {
        m_pending += bytes;
        if (!m_pending.endsWith('\n'))
            return true;
        QJsonParseError error;
        QJsonDocument::fromJson(m_pending, &error);
        if (error.error != QJsonParseError::NoError)
            std::abort(); // the server wrote something that is not JSON
        m_pending.clear();
        return true;
    }

private:
    QByteArray m_pending;
};

} // namespace

} // namespace rbx

using namespace rbx;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    fuzzDatabaseUrl();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const ServerConfig config = [] {
        ServerConfig c;
        c.databaseUrl = fuzzDatabaseUrl();
        c.maxConnections = 1;
        c.maxMessageBytes = 64 * 1024;
        c.authFailureDelayMs = 0;
        return c;
    }();
    static int connection = 0;
    Wire::LineFramer framer(config.maxMessageBytes);
    ++connection;
    RpcEndpoint protocol(std::make_unique<CopyServiceSession>(config, connection), config.maxMessageBytes, connection);
    CheckingSink sink;
    framer.append(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    QByteArray message;
    for (;;) {
        const Wire::LineFramer::Status status = framer.next(message);
        if (status == Wire::LineFramer::Status::Incomplete)
            break;
        if (status == Wire::LineFramer::Status::TooLarge) {
            protocol.messageTooLarge(sink);
            break;
        }
        if (protocol.handleMessage(message, sink) == RpcEndpoint::After::Close)
            break;
    }
    // the end of the connection, as a server's session has it: the run left open is ended
    protocol.connectionEnded();
    return 0;
}
