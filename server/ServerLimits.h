#pragma once

#include <protocol/WireProtocol.h>

#include <QtGlobal>

namespace rbx {

// Every limit of the server in one place; the options override the defaults.
namespace ServerLimits {

inline constexpr char DefaultHost[] = "127.0.0.1";
inline constexpr quint16 DefaultPort = 8211;
inline constexpr int DefaultMaxConnections = 64;
inline constexpr qsizetype DefaultMaxMessageBytes = Wire::DefaultMaxMessageBytes;
// A client that stops in the middle of a message, or stops reading answers, for this long is
// dropped. A client idle between calls is not: the screen keeps its connection for hours.
inline constexpr int DefaultStallTimeoutMs = 30000;
inline constexpr int DefaultIdleTimeoutMs = 0; // 0: never
// A transaction whose client sends nothing for this long is rolled back: it holds the write turn
// of a single-writer database, and every other writer would wait for it.
inline constexpr int DefaultIdleTransactionTimeoutMs = 60000;

// Bytes taken from the socket at a time, so that input held per connection stays near the
// message limit.
inline constexpr qsizetype ReadChunkBytes = 64 * 1024;
// Answers waiting to be sent beyond this make the session wait for the client to read.
inline constexpr qsizetype WriteHighWaterBytes = 1024 * 1024;
// How long a write waits for its turn at a database that takes one writer at a time. Each
// service copy holds the turn for a dozen round trips, so only a client that holds a
// transaction open and goes quiet makes others wait this long.
inline constexpr int WriteTurnTimeoutMs = 30000;
// Connections the kernel queues before the server accepts them.
inline constexpr int ListenBacklog = 1024;
// How long a refused or closing connection gets to receive its last answer.
inline constexpr int CloseGraceMs = 2000;

// A refused login is answered no sooner than this, whatever failed.
inline constexpr int AuthFailureDelayMs = 500;
// Failures of one operator or one address within the window before each further one doubles
// the wait, up to the extra below.
inline constexpr int AuthFreeFailures = 3;
inline constexpr qint64 AuthThrottleWindowMs = 15 * 60 * 1000;
inline constexpr qint64 AuthMaxExtraDelayMs = 30000;
// Operators and addresses remembered at once, so that a flood of names cannot grow memory.
inline constexpr qsizetype AuthThrottleEntries = 10000;

// Group commit of the server-side copies: the most services, and milliseconds, one commit waits
// for (measured in docs/benchmarks.md).
inline constexpr int DefaultGroupServices = 128;
inline constexpr int DefaultGroupMs = 100;

} // namespace ServerLimits

} // namespace rbx
