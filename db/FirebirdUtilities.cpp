#include "FirebirdUtilities.h"

#include "FirebirdFiles.h"
#include <protocol/HouseError.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString output;
};

// Runs the utility with the environment's credentials handed over in its environment only.
Run runUtility(const QString &name, const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        throw EDatabaseError(u"O utilitário %1 do Firebird não está instalado (pacote firebird3.0-utils)."_s.arg(name));
    const FirebirdServer::Credentials credentials = FirebirdServer::credentialsFromEnvironment();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"ISC_USER"_s, credentials.user);
    environment.insert(u"ISC_PASSWORD"_s, credentials.password);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    Run run;
    // a large database takes as long as it takes
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        run.output = process.errorString();
        return run;
    }
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return run;
}

void runOrThrow(const QString &name, const QStringList &arguments, const QString &what)
{
    const Run run = runUtility(name, arguments);
    if (run.exitCode != 0)
        throw EDatabaseError(u"%1 falhou: %2"_s.arg(what, run.output.isEmpty() ? u"%1 terminou com erro %2"_s.arg(name).arg(run.exitCode) : run.output));
}

QString serviceManager(const FirebirdServer::Target &server)
{
    return u"%1/%2:service_mgr"_s.arg(server.host).arg(server.port);
}

} // namespace

namespace FirebirdUtilities {

void backup(const FirebirdServer::Target &database, const QString &file)
{
    runOrThrow(u"gbak"_s, {u"-b"_s, u"-g"_s, database.connectionString(), file},
               u"A cópia de segurança de %1"_s.arg(database.connectionString()));
}

void restore(const QString &file, const FirebirdServer::Target &database, bool replace)
{
    runOrThrow(u"gbak"_s, {replace ? u"-rep"_s : u"-c"_s, file, database.connectionString()},
               u"A restauração de %1 em %2"_s.arg(file, database.connectionString()));
}

void verifyByRestoring(const QString &file, const FirebirdServer::Target &near,
                       const std::function<void(const QString &restoredUrl)> &inspect)
{
    FirebirdServer::Target scratch = near;
    const QFileInfo beside(near.path);
    scratch.path = u"%1/%2.verifica-%3.fdb"_s.arg(beside.path(), beside.completeBaseName())
                       .arg(QCoreApplication::applicationPid());
    const FirebirdServer::Credentials credentials = FirebirdServer::credentialsFromEnvironment();
    try {
        // one that a killed check left behind is no one's
        if (FirebirdFiles::exists(scratch, credentials))
            FirebirdFiles::drop(scratch, credentials);
        restore(file, scratch, false);
        if (inspect)
            inspect(u"firebird://%1:%2%3"_s.arg(scratch.host).arg(scratch.port).arg(scratch.path));
    } catch (const EDatabaseError &error) {
        try {
            if (FirebirdFiles::exists(scratch, credentials))
                FirebirdFiles::drop(scratch, credentials);
        } catch (const EDatabaseError &) {
            // the first failure is the one to report
        }
        throw EDatabaseError(u"A cópia %1 não pôde ser restaurada para conferência: %2"_s.arg(file, error.message()));
    }
    FirebirdFiles::drop(scratch, credentials);
}

Validation validate(const FirebirdServer::Target &database)
{
    const Run run = runUtility(u"fbsvcmgr"_s, {serviceManager(database), u"action_validate"_s, u"dbname"_s, database.path});
    Validation validation;
    validation.reached = run.output.contains(u"Validation started"_s);
    QStringList errors;
    for (const QString &line : run.output.split(u'\n')) {
        if (line.contains(u"error"_s, Qt::CaseInsensitive))
            errors << line.trimmed();
    }
    validation.ok = validation.reached && run.exitCode == 0 && run.output.contains(u"Validation finished"_s)
                    && errors.isEmpty();
    validation.output = errors.isEmpty() ? run.output : errors.join(u'\n');
    return validation;
}

} // namespace FirebirdUtilities

} // namespace rbx
