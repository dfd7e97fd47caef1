#include "DatabaseCheck.h"

#include "Database.h"
#include "DatabaseContents.h"
#include "DbToolOutput.h"
#include "FirebirdConnection.h"
#include "FirebirdUtilities.h"
#include <protocol/HouseError.h>
#include "SchemaVersion.h"
#include "SqliteFiles.h"

#include <QDate>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// Damage is listed up to this many lines: the rest of a broken file says nothing new.
constexpr qsizetype ProblemLines = 10;

struct Integrity
{
    DatabaseCheck::Status status = DatabaseCheck::CannotOpen;
    QStringList problems;
};

Integrity integrityOf(const QString &url)
{
    if (const QString path = Database::sqlitePath(url); !path.isEmpty()) {
        const SqliteFiles::IntegrityReport report = SqliteFiles::checkIntegrity(path);
        const auto status = report.state == SqliteFiles::Integrity::Ok        ? DatabaseCheck::Healthy
                            : report.state == SqliteFiles::Integrity::Damaged ? DatabaseCheck::Damaged
                                                                              : DatabaseCheck::CannotOpen;
        return {status, report.problems};
    }
    QString problem;
    const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, &problem);
    if (!target)
        return {DatabaseCheck::CannotOpen, {problem}};
    const FirebirdUtilities::Validation validation = FirebirdUtilities::validate(*target);
    if (!validation.reached)
        return {DatabaseCheck::CannotOpen, {validation.output}};
    return {validation.ok ? DatabaseCheck::Healthy : DatabaseCheck::Damaged,
            validation.ok ? QStringList() : validation.output.split(u'\n')};
}

QString dayLine(Database &database, const QString &which, QDate day)
{
    const DatabaseContents::Prescriptions found = DatabaseContents::ofDay(database, day);
    return u"serviços de %1 (%2): %3 com %4 itens"_s.arg(which, day.toString(u"dd/MM/yyyy"_s))
        .arg(found.services)
        .arg(found.items);
}

} // namespace

namespace DatabaseCheck {

int run(const QString &url)
{
    if (const QString problem = Database::checkUrl(url); !problem.isEmpty())
        return DbToolOutput::fail(problem, CannotOpen);
    if (Database::sqlitePath(url) == u":memory:"_s)
        return DbToolOutput::fail(u"um banco em memória não tem o que verificar."_s, CannotOpen);

    Integrity integrity;
    try {
        integrity = integrityOf(url);
    } catch (const EHouseError &error) {
        integrity = {CannotOpen, {error.message()}};
    }
    if (integrity.status == CannotOpen)
        return DbToolOutput::fail(u"não foi possível verificar %1: %2"_s.arg(url, integrity.problems.join(u"; "_s)), CannotOpen);
    if (integrity.status == Damaged) {
        DbToolOutput::say(u"integridade: FALHOU"_s);
        for (const QString &line : integrity.problems.first(std::min(ProblemLines, integrity.problems.size())))
            DbToolOutput::say(u"  "_s + line);
    } else {
        DbToolOutput::say(u"integridade: ok"_s);
    }

    try {
        auto database = Database::open(url, u"rbx53207-db-check"_s, Database::Role::Reader);
        // Every line about what the database holds is printed here, from this one connection.
        const int version = Schema::storedVersion(*database).value_or(0);
        const QString refusal = Schema::versionRefusal(version, url);
        DbToolOutput::say(u"esquema: versão %1%2"_s.arg(version).arg(refusal.isEmpty() ? u" (a deste programa)"_s : QString()));
        if (!refusal.isEmpty())
            DbToolOutput::say(u"  "_s + refusal);
        const QDate today = QDate::currentDate();
        DbToolOutput::say(dayLine(*database, u"hoje"_s, today));
        DbToolOutput::say(dayLine(*database, u"ontem"_s, today.addDays(-1)));
        if (integrity.status == Healthy && !refusal.isEmpty())
            return OtherVersion;
    } catch (const EHouseError &error) {
        if (integrity.status == Damaged)
            return DbToolOutput::fail(u"as prescrições não puderam ser contadas: %1"_s.arg(error.message()), Damaged);
        return DbToolOutput::fail(error.message(), CannotOpen);
    }
    return integrity.status;
}

} // namespace DatabaseCheck

} // namespace rbx
