#pragma once

#include <QString>
#include <QTextStream>

namespace rbx {

// How rbx53207-db speaks: what it did on standard output, a failure on standard error after the
// program's name, with the exit status the command gives it.
namespace DbToolOutput {

inline void say(const QString &line) { QTextStream(stdout) << line << Qt::endl; }

inline int fail(const QString &message, int exitStatus = 1)
{
    QTextStream(stderr) << "rbx53207-db: " << message << Qt::endl;
    return exitStatus;
}

} // namespace DbToolOutput

} // namespace rbx
