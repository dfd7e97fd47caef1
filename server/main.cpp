// rbx53207-server: the application server of the remote copy service.
#include "AuditTrail.h"
#include <db/Database.h>
#include <db/FirebirdConnection.h>
#include "SqlSessionPool.h"
#include <protocol/HouseError.h>
#include "JournalPruning.h"
#include "Listener.h"
#include <protocol/QtTranslations.h>
#include "RunsLeftOpen.h"
#include <db/SchemaVersion.h>
#include "ServerLog.h"
#include "ServedDatabase.h"
#include "ServerOptions.h"
#include "ServiceNotifier.h"
#include "ShutdownSignal.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTextStream>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace rbx;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"rbx53207-server"_s);
    installQtTranslations();
    // a client that vanishes mid-answer is an error to handle, not a reason to die
    std::signal(SIGPIPE, SIG_IGN);
    // Caught from the start: a stop asked for while the schema is being made is carried out
    // once the event loop runs, instead of killing the server in the middle of it.
    ShutdownSignal shutdown;

    const ParsedOptions options = parseServerOptions(app.arguments());
    if (!options.helpText.isEmpty()) {
        QTextStream(stdout) << options.helpText;
        return 0;
    }
    if (!options.config) {
        QTextStream(stderr) << "rbx53207-server: " << options.error << Qt::endl;
        return 2;
    }
    const ServerConfig &config = *options.config;

    if (const std::optional<QString> refused = refusedDatabase(config.databaseUrl)) {
        QTextStream(stderr) << "rbx53207-server: " << *refused << Qt::endl;
        return 2;
    }
    // the schema brought to this program's version (when asked to) with whatever it declares and
    // the database lacks, and runs a stopped server left open closed, before the first client can
    // ask for anything
    JournalPruning pruning(config.databaseUrl, config.journalDays);
    try {
        auto database = Database::open(config.databaseUrl, u"rbx-startup"_s);
        const int version = Schema::storedVersion(*database).value_or(0);
        const QString refusal = Schema::versionRefusal(version, config.databaseUrl);
        if (!refusal.isEmpty() && !(version < Schema::CurrentVersion && config.upgradeSchema)) {
            QTextStream(stderr) << "rbx53207-server: " << refusal << Qt::endl;
            return 2;
        }
        Schema::upgrade(*database, [](int to) {
            serverLog(u"upgrading the schema to version %1: %2"_s.arg(to).arg(Schema::versionText(to)));
        });
        closeRunsLeftOpen(config.databaseUrl);
        pruning.start();
        // the first client then finds an attachment waiting
        if (FirebirdServer::isFirebirdUrl(config.databaseUrl))
            SqlSessionPool::instance().prewarm(config.databaseUrl);
    } catch (const EHouseError &error) {
        QTextStream(stderr) << "rbx53207-server: " << error.message() << Qt::endl;
        return 1;
    }

    Listener listener(config);
    if (!listener.listen(config.host, config.port)) {
        QTextStream(stderr) << u"rbx53207-server: não foi possível atender em "_s << config.host.toString() << u':'
                            << config.port << u": "_s << listener.errorString() << Qt::endl;
        return 1;
    }
    const QHostAddress address = listener.serverAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                              : address.toString();
    serverLog(u"serving %1 on %2:%3%4"_s.arg(config.databaseUrl, host)
                  .arg(listener.serverPort())
                  .arg(config.token.isEmpty() ? u" without a token"_s : u" with a token"_s)
                  + (config.tls ? u", TLS"_s : u", no TLS"_s));
    QTextStream(stdout) << "listening on " << host << ':' << listener.serverPort() << Qt::endl;

    ServiceNotifier notifier;
    notifier.ready([&listener] {
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        return u"Sessões abertas: %1; serviços copiados: %2"_s.arg(brazil.toString(listener.activeSessions()),
                                                                 brazil.toString(AuditTrail::servicesWritten()));
    });

    QObject::connect(&shutdown, &ShutdownSignal::requested, &app, [&] {
        serverLog(u"shutting down"_s);
        notifier.stopping();
        listener.shutdown();
        QCoreApplication::quit();
    });
    const int code = app.exec();
    SqlSessionPool::instance().close();
    return code;
}
