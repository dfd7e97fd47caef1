#pragma once

#include <QByteArray>
#include <QList>

namespace rbx {

// Minimal blocking loopback sockets for the relay and the replaying server: nothing between
// the bytes and the kernel, so they add as little as possible to what they measure.
namespace LoopbackSocket {

// A listening socket on 127.0.0.1 with an ephemeral port; -1 on failure.
int listenAny(quint16 *port);
int acceptOne(int listener);
int connectTo(quint16 port);
bool writeAll(int fd, const QByteArray &bytes);
void closeFd(int fd);

// Appends what arrived to `pending` and moves every complete line (with its line feed) to
// `lines`.
void takeLines(QByteArray &pending, const char *data, qsizetype size, QList<QByteArray> &lines);

} // namespace LoopbackSocket

} // namespace rbx
