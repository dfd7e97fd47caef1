#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace rbx {

// The --config FILE of the programs: an INI file whose keys are the long names of the
// program's own options ("listen = 127.0.0.1:8211", "classic-methods = true"). Blank lines,
// comments (# or ;) and section headers are ignored. Each entry becomes "--key=value" (or
// "--key" for a flag set to true), to be parsed before the command line so that the command
// line wins. A key the program does not know, a flag that is neither true nor false or a line
// without "=" refuses the whole file: a typo must not start a service with a default in its place.
struct OptionsFileResult
{
    QStringList arguments;
    QString error; // in Portuguese, naming the file and the line; empty when the file is usable
};

RBX_PROTOCOL_EXPORT OptionsFileResult readOptionsFile(const QString &path, const QList<QCommandLineOption> &options);

// The value of "--config FILE" or "--config=FILE" in arguments (arguments[0] is the program),
// before the options are parsed for real; nullopt when it is not given.
RBX_PROTOCOL_EXPORT std::optional<QString> configFileArgument(const QStringList &arguments);

// arguments with the file's entries inserted after the program name; error set when the file
// is refused. Without --config, arguments as they are.
RBX_PROTOCOL_EXPORT OptionsFileResult withOptionsFile(const QStringList &arguments,
                                                      const QList<QCommandLineOption> &options);

} // namespace rbx
