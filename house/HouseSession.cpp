#include "HouseSession.h"

#include "TNetConnection.h"

HouseSessionInfo &houseSession()
{
    static HouseSessionInfo info;
    return info;
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
