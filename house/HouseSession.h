#pragma once

#include <house/rbx_house_export.h>

#include <QString>

#include <functional>

// What the host tells the house library about the signed-in session.
struct HouseSessionInfo
{
    QString operatorCode;
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8211;
    QString token;
    // The logged-in operator's password, kept for the connections the screens open again; and
    // the authority the server's certificate must be signed by (empty: no TLS).
    QString password;
    QString tlsCaFile;
    int callTimeoutMs = 30000;
};

RBX_HOUSE_EXPORT HouseSessionInfo &houseSession();

// The host's status line: a screen says there what it last did. Nothing shows until the host
// sets where the line goes (and it unsets it before its window goes away).
RBX_HOUSE_EXPORT void setStatusLineSink(std::function<void(const QString &)> sink);
RBX_HOUSE_EXPORT void showStatusLine(const QString &text);

class TNetConnection;
// Points a connection at the session's server, logged in as its operator.
RBX_HOUSE_EXPORT void connectAsSession(TNetConnection &connection);

// The signed-in operator's code.
RBX_HOUSE_EXPORT QString Operador();
// The application server's host and port.
RBX_HOUSE_EXPORT QString WebURL();
RBX_HOUSE_EXPORT int WebPort();
