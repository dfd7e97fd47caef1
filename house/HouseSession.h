#pragma once

#include "rbx_house_export.h"

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

RBX_HOUSE_EXPORT HouseSessionInfo &houseSession();

// The signed-in operator's code.
RBX_HOUSE_EXPORT QString Operador();
// The application server's host and port.
RBX_HOUSE_EXPORT QString WebURL();
RBX_HOUSE_EXPORT int WebPort();
