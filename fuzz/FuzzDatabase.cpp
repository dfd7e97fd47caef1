#include "FuzzDatabase.h"

#include <db/Database.h>
#include <db/DemoHospital.h>
#include <protocol/HouseError.h>
#include <db/OperatorAccounts.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace rbx {

QString fuzzDatabaseUrl()
{
    // in memory-backed storage where there is one: every fuzzed write would otherwise wait for a disk
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/rbx-fuzz-XXXXXX")
                                                                        : QDir::tempPath() + QStringLiteral("/rbx-fuzz-XXXXXX"));
    static const QString url = [] {
        const QString url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("fuzz.db"));
        try {
            // kept open: closing the last connection would checkpoint the journal after every input
            static auto database = Database::open(url, QStringLiteral("fuzz-setup"));
            DemoOptions options;
            options.patients = 6;
            options.date = QDate(2024, 3, 14);
            DemoHospital::create(*database, options);
            // the seeds log in as ADMIN with PLAIN, as a loopback client may
            OperatorAccounts::setPassword(*database, QStringLiteral("ADMIN"),
                                          *ScramVerifier::fromPassword(QStringLiteral("fuzz"), QByteArrayLiteral("fuzz-salt-16byte"),
                                                                       ScramVerifier::MinimumIterations));
        } catch (const EHouseError &error) {
            std::fprintf(stderr, "cannot make the fuzzing database: %s\n", error.message().toUtf8().constData());
            std::abort();
        }
        return url;
    }();
    return url;
}

} // namespace rbx
