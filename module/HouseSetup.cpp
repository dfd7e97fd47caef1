#include "Pkg_RBX53207.h"

#include "DBGeral.h"
#include "HouseError.h"
#include "HouseSession.h"

namespace {

QString textSetting(const QString &key, const QVariant &value)
{
    if (value.userType() != QMetaType::QString)
        throw EConvertError(QStringLiteral("HouseSetup: '%1' deve ser um texto.").arg(key));
    return value.toString();
}

int numberSetting(const QString &key, const QVariant &value)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || value.userType() == QMetaType::QString)
        throw EConvertError(QStringLiteral("HouseSetup: '%1' deve ser um número inteiro.").arg(key));
    return number;
}

} // namespace

void HouseSetup(const QVariant &Settings)
{
    if (Settings.userType() != QMetaType::QVariantMap)
        throw EConvertError(QStringLiteral("HouseSetup: as configurações devem vir num mapa."));
    const QVariantMap settings = Settings.toMap();
    HouseSessionInfo next = houseSession();
    QString database = dtmDBGeral().Url();
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        const QString &key = it.key();
        if (key == QLatin1String("operator"))
            next.operatorCode = textSetting(key, it.value());
        else if (key == QLatin1String("serverHost"))
            next.serverHost = textSetting(key, it.value());
        else if (key == QLatin1String("serverPort"))
            next.serverPort = numberSetting(key, it.value());
        else if (key == QLatin1String("token"))
            next.token = textSetting(key, it.value());
        else if (key == QLatin1String("callTimeoutMs"))
            next.callTimeoutMs = numberSetting(key, it.value());
        else if (key == QLatin1String("database"))
            database = textSetting(key, it.value());
        else
            throw EConvertError(QStringLiteral("HouseSetup: configuração desconhecida '%1'.").arg(key));
    }
    // Nothing is applied unless every setting was good.
    houseSession() = next;
    dtmDBGeral().SetUrl(database);
}
