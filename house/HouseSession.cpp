#include "HouseSession.h"

#include "TNetConnection.h"

HouseSessionInfo &houseSession()
{
    static HouseSessionInfo info;
    return info;
}

namespace {
std::function<void(const QString &)> &statusLineSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}
} // namespace

void setStatusLineSink(std::function<void(const QString &)> sink) { statusLineSink() = std::move(sink); }

void showStatusLine(const QString &text)
{
    if (statusLineSink())
        statusLineSink()(text);
}

QString Operador() { return houseSession().operatorCode; }
QString WebURL() { return houseSession().serverHost; }
int WebPort() { return houseSession().serverPort; }

void connectAsSession(TNetConnection &connection)
{
    const HouseSessionInfo &session = houseSession();
    connection.Host = session.serverHost;
    connection.Port = session.serverPort;
    connection.Token = session.token;
    connection.Operator = session.operatorCode;
    connection.Password = session.password;
    connection.TlsCaFile = session.tlsCaFile;
    connection.TimeoutMs = session.callTimeoutMs;
}
