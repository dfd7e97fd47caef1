#pragma once

#include <QString>

// What the host tells the house library about the signed-in session.
struct HouseSessionInfo
{
    QString operatorCode;
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8211;
    QString token;
    int callTimeoutMs = 30000;
};

HouseSessionInfo &houseSession();

// The signed-in operator's code.
QString Operador();
// The application server's host and port.
QString WebURL();
int WebPort();
