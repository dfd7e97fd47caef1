#include "WorkstationAccess.h"

#include "Database.h"
#include "FirebirdDialect.h"
#include <protocol/HouseError.h>
#include "SqlStatement.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace rbx {

using namespace Qt::StringLiterals;

namespace WorkstationAccess {

namespace {

const QString Role = QString::fromLatin1(LookupRole);

bool roleExists(const QSqlDatabase &db)
{
    SqlStatement query(db, u"SELECT 1 FROM RDB$ROLES WHERE TRIM(RDB$ROLE_NAME) = :ROLE"_s);
    query.bind(u":ROLE"_s, Role).exec();
    return query.next();
}

bool userHasRole(const QSqlDatabase &db, const QString &user)
{
    SqlStatement query(db, u"SELECT 1 FROM RDB$USER_PRIVILEGES WHERE TRIM(RDB$RELATION_NAME) = :ROLE"
                           u" AND TRIM(RDB$USER) = :USERNAME AND RDB$PRIVILEGE = 'M'"_s);
    query.bind(u":ROLE"_s, Role).bind(u":USERNAME"_s, user).exec();
    return query.next();
}

// The one statement that carries the password: its text never goes into an error.
void setUser(const QSqlDatabase &db, const QString &user, const QString &password)
{
    QString quoted = password;
    quoted.replace(u'\'', u"''"_s);
    QSqlQuery query(db);
    if (!query.exec(u"CREATE OR ALTER USER %1 PASSWORD '%2'"_s.arg(user, quoted)))
        throw EDatabaseError(u"O usuário %1 não pôde ser criado ou alterado: %2"_s.arg(user, query.lastError().databaseText()));
}

} // namespace

const QStringList &lookupTables()
{
    static const QStringList tables{u"SERVICO"_s, u"DIETPADR"_s, u"DIETSERV"_s, u"ANDAR"_s, u"ALA"_s, u"LEITO"_s};
    return tables;
}

void grantWorkstationUser(Database &database, const QString &user, const QString &password)
{
    if (!dynamic_cast<const FirebirdDialect *>(&database.dialect()))
        throw EDatabaseError(u"Usuários de estação existem só no Firebird; no SQLite as consultas já abrem o banco só para leitura."_s);
    // an identifier Firebird takes unquoted: nothing of the name can change the statements
    static const QRegularExpression plainName(u"^[A-Za-z][A-Za-z0-9_$]{0,30}$"_s);
    if (!plainName.match(user).hasMatch())
        throw EDatabaseError(u"Nome de usuário inválido: \"%1\" (letras, dígitos, _ e $, começando por letra, até 31)."_s.arg(user.left(40)));
    if (password.isEmpty() || password.contains(QChar(0)))
        throw EDatabaseError(u"A senha do usuário %1 não pode ser vazia nem conter o caractere nulo."_s.arg(user));
    const QString name = user.toUpper();
    const QSqlDatabase &db = database.sql();

    if (roleExists(db))
        execSql(db, u"REVOKE ALL ON ALL FROM ROLE %1"_s.arg(Role));
    else
        execSql(db, u"CREATE ROLE %1"_s.arg(Role));
    for (const QString &table : lookupTables())
        execSql(db, u"GRANT SELECT ON %1 TO ROLE %2"_s.arg(table, Role));
    execSql(db, u"GRANT EXECUTE ON PROCEDURE PARAM TO ROLE %1"_s.arg(Role));
    execSql(db, u"GRANT EXECUTE ON FUNCTION INSTR TO ROLE %1"_s.arg(Role));

    setUser(db, name, password);
    if (!userHasRole(db, name))
        execSql(db, u"GRANT %1 TO USER %2"_s.arg(Role, name));
}

} // namespace WorkstationAccess

} // namespace rbx
