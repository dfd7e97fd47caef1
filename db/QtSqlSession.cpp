#include "QtSqlSession.h"

#include "ConnectionProbe.h"
#include "Database.h"
#include "SqlDialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <optional>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

enum class Failure { Other, Constraint, Conflict };

// SQLite's result codes keep the primary code in their low byte: 19 SQLITE_CONSTRAINT, 5 BUSY and
// 6 LOCKED. Qt's InterBase driver gives the SQL code: -803 a duplicate, -530 a missing reference,
// -913 a deadlock or update conflict.
Failure classify(const QSqlError &error, const QString &driver)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    if (!ok)
        return Failure::Other;
    if (driver == u"QSQLITE"_s) {
        const int primary = code & 0xff;
        return primary == 19 ? Failure::Constraint : primary == 5 || primary == 6 ? Failure::Conflict : Failure::Other;
    }
    return code == -803 || code == -530 ? Failure::Constraint : code == -913 ? Failure::Conflict : Failure::Other;
}

class QtStatement final : public PreparedStatement
{
public:
    QtStatement(const QSqlDatabase &db, const QString &sql) : m_query(db), m_driver(db.driverName())
    {
        m_query.setForwardOnly(true);
        if (!m_query.prepare(sql))
            fail();
    }

    void bind(const QString &placeholder, const QVariant &value) override { m_query.bindValue(placeholder, value); }

    void exec() override
    {
        if (!m_query.exec())
            fail();
        m_record.reset();
    }

    bool next() override
    {
        if (m_query.next())
            return true;
        if (m_query.lastError().isValid())
            fail();
        return false;
    }

    QVariant value(int column) const override { return m_query.value(column); }

    int column(const QString &name) const override
    {
        if (!m_record)
            m_record = m_query.record();
        return m_record->indexOf(name);
    }

    qint64 rowsAffected() const override { return m_query.numRowsAffected(); }
    void finish() override { m_query.finish(); }

private:
    [[noreturn]] void fail() const
    {
        const QSqlError error = m_query.lastError();
        const QString message =
            u"Erro no banco de dados: %1 [%2]"_s.arg(error.text(), m_query.lastQuery().simplified().left(60));
        switch (classify(error, m_driver)) {
        case Failure::Constraint: throw EConstraintViolation(message);
        case Failure::Conflict: throw ETransactionConflict(message);
        case Failure::Other: break;
        }
        throw EDatabaseError(message);
    }

    QSqlQuery m_query;
    QString m_driver;
    mutable std::optional<QSqlRecord> m_record;
};

} // namespace

QtSqlSession::QtSqlSession(std::unique_ptr<Database> database) : m_database(std::move(database)) {}

QtSqlSession::~QtSqlSession() { forgetStatements(); }

const SqlDialect &QtSqlSession::dialect() const { return m_database->dialect(); }

QString QtSqlSession::name() const { return m_database->connectionName(); }

QString QtSqlSession::databaseKey() const { return dialect().name() + u':' + m_database->sql().databaseName(); }

std::unique_ptr<PreparedStatement> QtSqlSession::prepare(const QString &sql)
{
    return std::make_unique<QtStatement>(m_database->sql(), sql);
}

bool QtSqlSession::statementsOutliveTransactions() const { return m_database->sql().driverName() != u"QIBASE"_s; }

void QtSqlSession::begin() { dialect().beginWrite(m_database->sql()); }
void QtSqlSession::commit() { dialect().commit(m_database->sql()); }
void QtSqlSession::rollback() { dialect().rollback(m_database->sql()); }
void QtSqlSession::savepoint(const QString &name) { dialect().savepoint(m_database->sql(), name); }
void QtSqlSession::releaseSavepoint(const QString &name) { dialect().releaseSavepoint(m_database->sql(), name); }
void QtSqlSession::rollbackToSavepoint(const QString &name)
{
    dialect().rollbackToSavepoint(m_database->sql(), name);
}

bool QtSqlSession::reaches(QString *why) { return reachesDatabase(m_database->sql(), why); }

} // namespace rbx
