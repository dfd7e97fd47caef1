#pragma once

#include "ServerOptions.h"

class QObject;
class QTcpSocket;

namespace rbx {

// Takes an accepted connection: a plain socket, or under TLS an SSL socket whose server
// handshake has begun (written data is held until it completes). Null when the descriptor
// cannot be taken.
QTcpSocket *takeAcceptedSocket(qintptr descriptor, const ServerConfig &config, QObject *parent);

// Whether the socket speaks TLS, which must then be closed through TLS rather than the raw
// descriptor.
bool isTlsSocket(const QTcpSocket *socket);

} // namespace rbx
