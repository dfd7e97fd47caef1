#pragma once

#include <QtGlobal>

class QString;
class QTextStream;

namespace rbx {

class CopyServiceClient;
class HeadlessCopyForm;
struct HeadlessOptions;

// --list-runs: the branch's runs, one a line beginning with its id. Returns the exit code.
int listHeadlessRuns(CopyServiceClient &service, const HeadlessOptions &options, HeadlessCopyForm &form,
                     QTextStream &out, QTextStream &err);

// --undo RUN: asks (unless --yes), undoes the run and prints a line per service. Returns the
// exit code: every service undone, or some refused (HeadlessExit::UndoRefused).
int undoHeadlessRun(CopyServiceClient &service, const HeadlessOptions &options, HeadlessCopyForm &form,
                    QTextStream &out, QTextStream &err);

// --show-run RUN: the run's header and its services, as "Cópias realizadas" shows them.
int showHeadlessRun(CopyServiceClient &service, const HeadlessOptions &options, QTextStream &out, QTextStream &err);

} // namespace rbx
