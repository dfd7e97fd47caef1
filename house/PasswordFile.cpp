#include "PasswordFile.h"

#include <QFile>

std::optional<QString> readPasswordFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Não foi possível ler o arquivo de senha '%1': %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        *error = QStringLiteral("O arquivo de senha '%1' não tem a senha na primeira linha.").arg(path);
        return std::nullopt;
    }
    return QString::fromUtf8(line);
}
