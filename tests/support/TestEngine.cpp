#include "TestEngine.h"

#include <house/DBGeral.h>
#include <db/FirebirdConnection.h>
#include <db/FirebirdFiles.h>
#include <protocol/HouseError.h>

#include <QAtomicInt>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QThread>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

QString firebirdBase() { return qEnvironmentVariable("RBX_FIREBIRD_URL_BASE"); }
QString firebirdDir() { return qEnvironmentVariable("RBX_FIREBIRD_DIR"); }

QString firebirdUnavailable()
{
    if (firebirdBase().isEmpty() || firebirdDir().isEmpty())
        return u"Firebird not available: RBX_FIREBIRD_URL_BASE and RBX_FIREBIRD_DIR are not set "
               "(source scripts/firebird.sh and call firebird_start, as scripts/test.sh does)"_s;
    if (qEnvironmentVariableIsEmpty("ISC_USER") || qEnvironmentVariableIsEmpty("ISC_PASSWORD"))
        return u"Firebird not available: ISC_USER and ISC_PASSWORD are not set"_s;
    QString problem;
    const auto target = FirebirdServer::parseUrl(firebirdBase() + u"/probe.fdb"_s, &problem);
    if (!target)
        return u"Firebird not available: RBX_FIREBIRD_URL_BASE: "_s + problem;
    QTcpSocket socket;
    socket.connectToHost(target->host, quint16(target->port));
    if (!socket.waitForConnected(5000))
        return u"Firebird not available: no Firebird server answers at %1:%2 (%3)"_s.arg(target->host)
            .arg(target->port)
            .arg(socket.errorString());
    return {};
}

} // namespace

namespace TestSupport {

Engine engine()
{
    return qEnvironmentVariable("RBX_TEST_DATABASE").compare(u"firebird"_s, Qt::CaseInsensitive) == 0 ? Engine::Firebird
                                                                                                      : Engine::Sqlite;
}

QString engineName(Engine which) { return which == Engine::Firebird ? u"Firebird"_s : u"SQLite"_s; }

QString bySqlEngine(const QString &sqlite, const QString &firebird)
{
    return engine() == Engine::Firebird ? firebird : sqlite;
}

QString engineUnavailable(Engine which)
{
    if (which == Engine::Sqlite)
        return {};
    static const QString why = firebirdUnavailable();
    return why;
}

bool engineRequired(Engine which)
{
    return which == Engine::Firebird && qEnvironmentVariable("RBX_REQUIRE_FIREBIRD") == u"1"_s;
}

} // namespace TestSupport

ScratchDatabase::ScratchDatabase(const QString &stem, TestSupport::Engine which) : m_engine(which)
{
    if (m_engine == TestSupport::Engine::Sqlite) {
        m_path = m_dir.filePath(stem + u".db"_s);
        m_url = u"sqlite:"_s + m_path;
        return;
    }
    // unique across the runs that share the server, also after a run that crashed
    static QAtomicInt counter;
    const QString name = u"rbx-test-%1-%2-%3-%4.fdb"_s.arg(stem)
                             .arg(QCoreApplication::applicationPid())
                             .arg(counter.fetchAndAddRelaxed(1))
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    m_path = firebirdDir() + u'/' + name;
    m_url = firebirdBase() + u'/' + name;
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_engine != TestSupport::Engine::Firebird)
        return;
    const auto target = FirebirdServer::parseUrl(m_url, nullptr);
    if (!target)
        return;
    // the lookups' shared connection outlives the tests that pointed it here
    if (dtmDBGeral().Url() == m_url)
        dtmDBGeral().Close();
    try {
        const FirebirdServer::Credentials credentials = FirebirdServer::credentialsFromEnvironment();
        if (!FirebirdFiles::exists(*target, credentials))
            return;
        // a server process that just ended may still hold its attachments for a moment
        for (int attempt = 1;; ++attempt) {
            try {
                FirebirdFiles::drop(*target, credentials);
                return;
            } catch (const EDatabaseError &) {
                if (attempt == 50)
                    throw;
                QThread::msleep(100);
            }
        }
    } catch (const EHouseError &error) {
        qWarning("test database left on the Firebird server: %s", qPrintable(error.message()));
    }
}

} // namespace rbx
