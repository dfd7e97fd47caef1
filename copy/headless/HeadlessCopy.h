#pragma once

#include <QDate>
#include <QStringList>

class QTextStream;

namespace rbx {

// Exit codes of rbx53207-copy.
namespace HeadlessExit {
inline constexpr int Success = 0;
inline constexpr int Validation = 1; // bad options, operator refused, a validation text, not confirmed
inline constexpr int ServiceFailure = 2; // connection or service failure, bad answer
inline constexpr int Interrupted = 3; // SIGINT or SIGTERM: stopped after the services counted
inline constexpr int UndoRefused = 4;    // --undo: some service changed after the run, left as it is
inline constexpr int Login = 5; // no password (file unreadable or empty, no file and no terminal), or the login refused
} // namespace HeadlessExit

// Runs the copy without the screen: logs in (with --password-file, else asking on the
// terminal), checks the operator as the screen's first
// activation does, then runs the Confirm button's copy with the options standing in for the
// screen's controls. Progress and the summary go to `out`, errors to `err`; `in` (may be
// null) answers the question when --yes is absent. With --list-runs or --undo, after the same
// operator check, lists the branch's runs or undoes one instead. Returns the exit code.
int runHeadlessCopy(const QStringList &arguments, QDate today, QTextStream &out, QTextStream &err, QTextStream *in);

} // namespace rbx
