#include "AcceptedSocket.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace rbx {

QTcpSocket *takeAcceptedSocket(qintptr descriptor, const ServerConfig &config, QObject *parent)
{
    if (!config.tls) {
        auto *socket = new QTcpSocket(parent);
        if (socket->setSocketDescriptor(descriptor))
            return socket;
        delete socket;
        return nullptr;
    }
    auto *socket = new QSslSocket(parent);
    socket->setSslConfiguration(*config.tls);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return nullptr;
    }
    socket->startServerEncryption();
    return socket;
}

bool isTlsSocket(const QTcpSocket *socket) { return qobject_cast<const QSslSocket *>(socket) != nullptr; }

} // namespace rbx
