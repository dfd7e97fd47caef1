#include "HouseSession.h"

HouseSessionInfo &houseSession()
{
    static HouseSessionInfo info;
    return info;
}

QString Operador() { return houseSession().operatorCode; }
QString WebURL() { return houseSession().serverHost; }
int WebPort() { return houseSession().serverPort; }
