#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace rbx {

// What the host needs to run: the session it sets in the house library, where the module is,
// and what to open. Command-line options win over the environment, which wins over the INI
// file, which wins over the defaults.
struct HostOptions
{
    QString operatorCode;
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8211;
    QString tokenFile;
    QString token; // read from tokenFile; never shown
    QString passwordFile; // logs in without the dialog
    QString password;     // its first line; never shown
    QString tlsCaFile;
    QString database;
    QString modulePath;
    int callTimeoutMs = 30000;
    QString branch;
    QString mode;       // "E" or "N" opens the screen at once
    QString screenshot; // save the opened screen there, then quit

    // The session and the lookup database, set in the one house library of the process that
    // the module uses as well.
    void applyToHouse() const;
};

struct HostOptionsResult
{
    HostOptions options;
    QString error;  // for the user; empty when the options are usable
    bool helpShown = false;
};

// Reads arguments (without the program name), the environment and the INI file. The INI file
// is --config FILE, else RBX_HOST_CONFIG, else rbx53207-host.ini beside the program if present.
HostOptionsResult readHostOptions(const QStringList &arguments, const QProcessEnvironment &environment,
                                  const QString &programDir);

// readHostOptions, then applyToHouse only when every option is usable: a bad one changes nothing.
HostOptionsResult configureHost(const QStringList &arguments, const QProcessEnvironment &environment,
                                const QString &programDir);

QString hostUsage();

// "HOST:PORT" into its parts; false with a reason when it is not one.
bool parseServerAddress(const QString &text, QString &host, int &port, QString &why);

} // namespace rbx
