#pragma once

#include "CopyTestKit.h"
#include <support/DemoDatabase.h>
#include <support/TestOperators.h>

#include <QMap>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <functional>

namespace rbx {

// The copy against the real server and the demo hospital, as the server tests drive it.

using namespace Qt::StringLiterals;

inline const QString Branch = u"0001"_s;
inline const QString Operator = u"ADMIN"_s; // nutritionist "001" of branch 0001 in the demo
inline const QString OperatorNutricio = u"001"_s;

inline QDate origin() { return TestSupport::demoDate(); }
inline QDate destination() { return TestSupport::demoDate().addDays(1); }

struct Session
{
    TNetConnection net;
    CopyServiceClient client{net};

    explicit Session(quint16 port, const QString &operatorCode = Operator)
    {
        net.ServerName = QString::fromLatin1(Wire::ServerObjectName);
        net.Operator = operatorCode;
        net.Password = TestSupport::TestPassword;
        net.BeforeConnect = [port](TNetConnection &c) {
            c.Host = u"127.0.0.1"_s;
            c.Port = port;
        };
        net.SetConnected(true);
    }
};

enum class Path { ServerSide, CallByCall };

} // namespace rbx

Q_DECLARE_METATYPE(rbx::Path)

namespace rbx {

// The data of a test that runs once on each copy path.
inline void addPathRows()
{
    QTest::addColumn<Path>("path");
    QTest::newRow("server-side") << Path::ServerSide;
    QTest::newRow("call by call") << Path::CallByCall;
}

// Runs the Confirm button's copy from the demo day to the next, as the screen would; the groups
// given are in list mode with that selection list, the others in all mode.
inline CopyOutcome copyDemoDay(quint16 port, const QString &tipoForm, const QMap<FilterGroup, QString> &picked = {},
                               Path path = Path::ServerSide, const CopyProgressHandler &progress = {},
                               const std::function<void(FormulationCopy &)> &setUp = {})
{
    Session session(port);
    OwnedCopyRecordSets recordSets;
    const CopyRecordSets sets = recordSets.sets();
    TestCopyForm form;
    form.origemText = origin().toString(u"dd/MM/yyyy"_s);
    form.destinoText = destination().toString(u"dd/MM/yyyy"_s);
    for (auto it = picked.cbegin(); it != picked.cend(); ++it) {
        form.list[std::size_t(it.key())] = true;
        form.selections[std::size_t(it.key())] = it.value();
    }
    FormulationCopy copy(form, session.client, sets);
    copy.setCallByCall(path == Path::CallByCall);
    copy.setProgressHandler(progress);
    if (setUp)
        setUp(copy);
    QString filial = Branch;
    return copy.run(filial, tipoForm, Operator);
}

// Every row of the two tables, every column as text, in key order.
inline QStringList tableRows(const DemoDatabase &demo, const QString &table, const QString &order)
{
    auto database = demo.open(u"copy-test-rows"_s);
    QSqlQuery query(database->sql());
    QStringList rows;
    if (!query.exec(u"SELECT * FROM %1 ORDER BY %2"_s.arg(table, order)))
        return {u"query failed: "_s + query.lastError().text()};
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << (query.isNull(i) ? u"<null>"_s : query.value(i).toString());
        rows << row.join(u'|');
    }
    return rows;
}

inline QStringList storedCopy(const DemoDatabase &demo)
{
    return tableRows(demo, u"SERVINTE"_s, u"CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL"_s)
           + tableRows(demo, u"CONFESCO"_s, u"CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSEQUCOPR"_s);
}


inline QString program() { return qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u"/copy/rbx53207-copy"_s; }

struct Command
{
    int code = -1;
    QString out, err;
};

// rbx53207-copy against the server on that port for the demo branch, with those options; it
// logs in with the test password unless they name another password file.
inline Command runProgram(quint16 port, const QStringList &options, QByteArray input = {})
{
    QProcess process;
    process.setProgram(program());
    QStringList arguments{u"--server"_s, u"127.0.0.1:%1"_s.arg(port), u"--branch"_s, Branch};
    if (!options.contains(u"--password-file"_s))
        arguments << u"--password-file"_s << TestSupport::passwordFile();
    process.setArguments(arguments + options);
    process.start();
    process.write(input);
    process.closeWriteChannel();
    Command command;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return command;
    command.code = process.exitCode();
    command.out = QString::fromUtf8(process.readAllStandardOutput());
    command.err = QString::fromUtf8(process.readAllStandardError());
    return command;
}

// The demo day's copy, confirmed.
inline Command runCommand(quint16 port, const QStringList &options)
{
    return runProgram(port, QStringList{u"--from"_s, origin().toString(Qt::ISODate), u"--to"_s,
                                        destination().toString(Qt::ISODate), u"--yes"_s} + options);
}

} // namespace rbx
