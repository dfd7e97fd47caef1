#include "FirebirdFiles.h"

#include <protocol/HouseError.h>

#include <QByteArray>
#include <QStringList>

#include <ibase.h>

#include <algorithm>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

QString statusText(const ISC_STATUS *status)
{
    QStringList parts;
    char buffer[512];
    const ISC_STATUS *cursor = status;
    while (fb_interpret(buffer, sizeof buffer, &cursor) > 0)
        parts << QString::fromUtf8(buffer);
    return parts.join(u" - "_s);
}

QString quoted(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', u"''"_s) + u'\'';
}

// Our own copies of the password do not outlive their use.
void wipe(QByteArray &bytes) { std::fill(bytes.begin(), bytes.end(), '\0'); }

void appendDpb(QByteArray &dpb, char item, const QByteArray &value)
{
    dpb.append(item);
    dpb.append(char(std::min<qsizetype>(value.size(), 255)));
    dpb.append(value.left(255));
}

bool failed(const ISC_STATUS *status) { return status[0] == 1 && status[1] != 0; }

// Attaches with the credentials, leaving the outcome in status; the caller detaches or drops.
isc_db_handle attach(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials, ISC_STATUS *status)
{
    QByteArray user = credentials.user.toUtf8();
    QByteArray password = credentials.password.toUtf8();
    QByteArray dpb(1, char(isc_dpb_version1));
    appendDpb(dpb, char(isc_dpb_user_name), user);
    appendDpb(dpb, char(isc_dpb_password), password);
    const QByteArray name = target.connectionString().toUtf8();
    isc_db_handle db = 0;
    isc_attach_database(status, short(name.size()), name.constData(), &db, short(dpb.size()), dpb.constData());
    wipe(dpb);
    wipe(user);
    wipe(password);
    return db;
}

} // namespace

namespace FirebirdFiles {

void create(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials)
{
    QByteArray statement = (u"CREATE DATABASE %1 USER %2 PASSWORD %3 DEFAULT CHARACTER SET UTF8"_s)
                               .arg(quoted(target.connectionString()), quoted(credentials.user),
                                    quoted(credentials.password))
                               .toUtf8();
    ISC_STATUS_ARRAY status{};
    isc_db_handle db = 0;
    isc_tr_handle transaction = 0;
    isc_dsql_execute_immediate(status, &db, &transaction, 0, statement.constData(), SQL_DIALECT_V6, nullptr);
    wipe(statement);
    if (failed(status))
        throw EDatabaseError(u"Não foi possível criar o banco Firebird %1: %2"_s.arg(target.connectionString(), statusText(status)));
    ISC_STATUS_ARRAY detachStatus{};
    isc_detach_database(detachStatus, &db);
}

bool exists(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials)
{
    ISC_STATUS_ARRAY status{};
    isc_db_handle db = attach(target, credentials, status);
    if (!failed(status)) {
        isc_detach_database(status, &db);
        return true;
    }
    if (status[1] == isc_io_error)
        return false;
    throw EDatabaseError(u"Não foi possível consultar o banco Firebird %1: %2"_s.arg(target.connectionString(), statusText(status)));
}

void drop(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials)
{
    ISC_STATUS_ARRAY status{};
    isc_db_handle db = attach(target, credentials, status);
    if (failed(status))
        throw EDatabaseError(u"Não foi possível abrir o banco Firebird %1 para removê-lo: %2"_s.arg(target.connectionString(), statusText(status)));
    isc_drop_database(status, &db);
    if (failed(status)) {
        const QString why = statusText(status);
        ISC_STATUS_ARRAY detachStatus{};
        isc_detach_database(detachStatus, &db);
        throw EDatabaseError(u"Não foi possível remover o banco Firebird %1: %2"_s.arg(target.connectionString(), why));
    }
}

} // namespace FirebirdFiles

} // namespace rbx
