#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QTest>

namespace rbx {

// The database product a test run stores in. Every test of the database, the server and the
// copy against the real server runs once per product: RBX_TEST_DATABASE=firebird selects the
// Firebird server named by RBX_FIREBIRD_URL_BASE (scripts/firebird.sh sets it), anything else
// SQLite.
namespace TestSupport {

enum class Engine { Sqlite, Firebird };

Engine engine();
QString engineName(Engine which = engine());
// What the test may use SQL for differs a little between products: the text for this run.
QString bySqlEngine(const QString &sqlite, const QString &firebird);

// Empty when the product can be used; otherwise why not (Firebird not configured or its server
// not answering).
QString engineUnavailable(Engine which = engine());
// RBX_REQUIRE_FIREBIRD=1: a missing Firebird fails the test instead of skipping it.
bool engineRequired(Engine which = engine());

} // namespace TestSupport

// At the start of initTestCase: skips the whole run when its database is missing, with the
// reason, or fails it when the database is required. In a test function: the same for that test.
#define RBX_REQUIRE_ENGINE(which)                                                                                      \
    do {                                                                                                               \
        const QString unavailable_ = TestSupport::engineUnavailable(which);                                           \
        if (!unavailable_.isEmpty()) {                                                                                 \
            if (TestSupport::engineRequired(which))                                                                    \
                QFAIL(qPrintable(unavailable_));                                                                       \
            QSKIP(qPrintable(unavailable_));                                                                           \
        }                                                                                                              \
    } while (false)
#define RBX_REQUIRE_TEST_ENGINE() RBX_REQUIRE_ENGINE(TestSupport::engine())

// A database of the run's product that does not exist yet: a file in a temporary folder, or a
// database of its own on the Firebird server, dropped with the object.
class ScratchDatabase final
{
public:
    explicit ScratchDatabase(const QString &stem = QStringLiteral("scratch"),
                             TestSupport::Engine which = TestSupport::engine());
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    QString url() const { return m_url; }
    // The file: on this machine for SQLite, on the server for Firebird.
    QString path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    TestSupport::Engine m_engine;
    QString m_url;
    QString m_path;
};

} // namespace rbx
