#include "TestOperators.h"

#include <db/Database.h>
#include <protocol/HouseError.h>
#include <db/OperatorAccounts.h>
#include <db/SqlStatement.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace rbx {

using namespace Qt::StringLiterals;

namespace TestSupport {

void givePasswords(Database &database)
{
    // a fixed salt keeps two test databases alike, row for row
    const std::optional<ScramVerifier> verifier =
        ScramVerifier::fromPassword(TestPassword, QByteArrayLiteral("rbx53207-testes!"), ScramVerifier::DefaultIterations);
    if (!verifier)
        throw EHouseError(u"no verifier for the test password"_s);
    QStringList codes;
    SqlStatement query(database.sql(), u"SELECT CDOPERADOR FROM OPERADOR"_s);
    query.exec();
    while (query.next())
        codes << query.value(0).toString().trimmed();
    query.finish();
    for (const QString &code : std::as_const(codes))
        OperatorAccounts::setPassword(database, code, *verifier);
}

QString passwordFile()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(u"password"_s);
    if (!QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(TestPassword.toUtf8() + '\n');
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    return path;
}

} // namespace TestSupport

} // namespace rbx
