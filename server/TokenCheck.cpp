#include "TokenCheck.h"

#include <QCryptographicHash>

namespace rbx {

bool tokensMatch(const QByteArray &expected, const QByteArray &presented)
{
    const QByteArray a = QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(presented, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

} // namespace rbx
