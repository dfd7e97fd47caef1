#pragma once

#include <QString>

#include <chrono>

namespace rbx {

// The pace of failed logins, for the whole process: every refusal waits a fixed delay, and
// repeated failures for one operator or from one address wait longer, so that guessing
// passwords costs time without telling anything. Safe from any session's thread.
namespace AuthThrottle {

// Notes a failure and returns how long its answer must wait: the base delay, more after
// repeated failures.
std::chrono::milliseconds failed(const QString &operatorCode, const QString &address, int baseDelayMs);
// A success forgets the operator's failures (not the address's).
void succeeded(const QString &operatorCode);
// How many failures the operator or the address has in the window, whichever is more.
int recentFailures(const QString &operatorCode, const QString &address);

} // namespace AuthThrottle

} // namespace rbx
