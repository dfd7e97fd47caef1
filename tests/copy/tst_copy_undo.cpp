#include <support/FaultRelay.h>
#include <copy/headless/HeadlessCopy.h>
#include "ServerCopyKit.h"
#include <db/Schema.h>
#include <support/TestServer.h>

#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QRegularExpression>
#include <QTest>

#include <thread>

using namespace rbx;

// The journal of copy runs and their undo, against the real server.
namespace {

struct UndoAnswer
{
    QStringList undone, refused; // patient|service|diet, and the reason of each refused
};

UndoAnswer undoRun(quint16 port, qint64 run, const QString &operador = Operator)
{
    Session session(port, operador);
    TClientDataSet answer;
    declareFields(answer, CopyService::desfazExecucaoLayout());
    session.client.DesfazExecucao(run, operador, answer);
    UndoAnswer found;
    for (; !answer.Eof(); answer.Next()) {
        const auto text = [&answer](const char *name) { return answer.FieldByName(QLatin1String(name)).AsString(); };
        const QString service = QStringList{text("CDPACIENTE"), text("CDSERVFILI"), text("CDDIETPAD")}.join(u'|');
        if (text("IDSITUACAO") == u"D")
            found.undone << service;
        else
            found.refused << service + u": "_s + text("DSMOTIVO");
    }
    return found;
}

// The branch's runs as id → outcome, undone ones marked with a "+".
QMap<qint64, QString> runs(quint16 port)
{
    Session session(port);
    TClientDataSet list;
    declareFields(list, CopyService::execucoesLayout());
    session.client.getExecucoes(Branch, Operator, 0, 0, list);
    QMap<qint64, QString> found;
    qint64 previous = 0;
    for (; !list.Eof(); list.Next()) {
        const qint64 id = qint64(list.FieldByName(u"IDEXECUCAO"_s).AsFloat());
        // newest first
        if (previous)
            found.insert(-1, previous > id ? u"ordered"_s : u"out of order"_s);
        previous = id;
        found.insert(id, list.FieldByName(u"IDSITUACAO"_s).AsString()
                             + (list.FieldByName(u"DTDESFFIM"_s).IsNull() ? QString() : u"+"_s));
    }
    return found;
}

// Every row of every table of a SQLite file but the schema's versions, as text, in key order.
QStringList everyRow(const QString &path)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"every-row"_s);
        db.setDatabaseName(path);
        db.open();
        for (const Schema::Table &table : Schema::tables()) {
            if (table.name == u"VERSAOESQUEMA")
                continue;
            QSqlQuery query(u"SELECT * FROM %1 ORDER BY %2"_s.arg(table.name, table.primaryKey.join(u", "_s)), db);
            while (query.next()) {
                QStringList values{table.name};
                for (int i = 0; i < query.record().count(); ++i)
                    values << query.record().fieldName(i) + u'=' + query.value(i).toString();
                rows << values.join(u'|');
            }
        }
    }
    QSqlDatabase::removeDatabase(u"every-row"_s);
    return rows;
}

QString destinationLiteral() { return u'\'' + TestSupport::dateLiteral(OleDate::fromDate(destination())) + u'\''; }

int servicesAtDestination(const DemoDatabase &demo)
{
    auto database = demo.open(u"undo-test-count"_s);
    QSqlQuery query(database->sql());
    if (!query.exec(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = %1"_s.arg(destinationLiteral()))
        || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool execSql(const DemoDatabase &demo, const QString &sql)
{
    auto database = demo.open(u"undo-test-edit"_s);
    QSqlQuery query(database->sql());
    return query.exec(sql) && query.numRowsAffected() > 0;
}

// Every service at the destination described so, that a version of it shows.
bool markDestination(const DemoDatabase &demo, const QString &description)
{
    return execSql(demo, u"UPDATE SERVINTE SET DSSERVINTE = '%1' WHERE DTSERVINTE = %2"_s.arg(description,
                                                                                              destinationLiteral()));
}

// Empty when each service now stored (its row and every item) is whole as in `before` or as in
// `after`, rows as storedCopy gives them; else the first that is neither.
QString wholeOrAsLeft(const DemoDatabase &demo, const QStringList &before, const QStringList &after)
{
    const auto keyOf = [](const QString &row) { return row.section(u'|', 0, 3); };
    const auto rowsOf = [&keyOf](const QStringList &rows, const QString &key) {
        QStringList found;
        for (const QString &row : rows) {
            if (keyOf(row) == key)
                found << row;
        }
        return found;
    };
    const QStringList now = storedCopy(demo);
    for (const QString &row : now) {
        const QStringList service = rowsOf(now, keyOf(row));
        if (service != rowsOf(before, keyOf(row)) && service != rowsOf(after, keyOf(row)))
            return row;
    }
    return {};
}

} // namespace


class TestCopyUndo final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        QLocale::setDefault(QLocale::c());
    }

    // Undo puts the destination back, every column of every row, over former services and over
    // an empty day; it happens once; a later run over the same services holds the earlier
    // run's undo back until the later one is undone.
    void undoPutsTheDestinationBackAsItWas_data()
    {
        addPathRows();
    }
    void undoPutsTheDestinationBackAsItWas()
    {
        QFETCH(Path, path);
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));

        const QStringList empty = storedCopy(demo);
        const CopyOutcome first = copyDemoDay(server.port(), u"E"_s, {}, path);
        QVERIFY(first.runId > 0);
        const QStringList afterFirst = storedCopy(demo);
        QVERIFY(afterFirst != empty);
        // the destination's services as the second run finds them: other than what it writes
        QVERIFY(markDestination(demo, u"Antes da segunda cópia"_s));
        const QStringList beforeSecond = storedCopy(demo);
        const CopyOutcome second = copyDemoDay(server.port(), u"E"_s, {}, path);
        QCOMPARE(second.runId, first.runId + 1);
        const QStringList afterSecond = storedCopy(demo);

        // every service of the first was replaced by the second: none is touched
        const UndoAnswer held = undoRun(server.port(), first.runId);
        QVERIFY(held.undone.isEmpty());
        QCOMPARE(held.refused.size(), first.services);
        QVERIFY2(held.refused.constFirst().endsWith(u"substituído depois pela execução %1"_s.arg(second.runId)),
                 qPrintable(held.refused.constFirst()));
        QCOMPARE(storedCopy(demo), afterSecond);

        const UndoAnswer undone = undoRun(server.port(), second.runId);
        QVERIFY(undone.refused.isEmpty());
        QCOMPARE(undone.undone.size(), second.services);
        QCOMPARE(storedCopy(demo), beforeSecond);
        try {
            undoRun(server.port(), second.runId);
            QFAIL("a second undo ran");
        } catch (const ERemoteError &error) {
            QVERIFY2(error.message().contains(u"já foi desfeita"_s), qPrintable(error.message()));
        }
        QCOMPARE(storedCopy(demo), beforeSecond);
        // the first run's services, held back by the second, stay pending; undone now that the
        // second is, but for those changed after the first (here all: marked before the second)
        const UndoAnswer pending = undoRun(server.port(), first.runId);
        QCOMPARE(pending.refused.size(), first.services);
        QVERIFY2(pending.refused.constFirst().endsWith(u"alterado depois da cópia"_s), qPrintable(pending.refused.constFirst()));
        QCOMPARE(storedCopy(demo), beforeSecond);
        const QMap<qint64, QString> listed = runs(server.port());
        QCOMPARE(listed.value(first.runId), u"C"_s);
        QCOMPARE(listed.value(second.runId), u"C+"_s);
        QCOMPARE(listed.value(-1), u"ordered"_s);

        // over an empty day: empty again
        QVERIFY(execSql(demo, u"DELETE FROM SERVINTE WHERE DTSERVINTE = %1"_s.arg(destinationLiteral())));
        QCOMPARE(storedCopy(demo), empty);
        const CopyOutcome third = copyDemoDay(server.port(), u"E"_s, {}, path);
        QCOMPARE(storedCopy(demo), afterFirst);
        QVERIFY(undoRun(server.port(), third.runId).refused.isEmpty());
        QCOMPARE(storedCopy(demo), empty);
        // every service undone has its audit line
        QCOMPARE(server.log().count(QRegularExpression(u"audit: .*: execução \\d+ desfeita"_s)),
                 second.services + third.services);
    }

    // Three copies of one day, the first undone first: refused while later runs hold its services,
    // it stays pending, and once the later ones are undone it takes the day back to where it was.
    void undoNeverStrandsADay()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QStringList before = storedCopy(demo);
        QList<CopyOutcome> copies;
        for (int i = 0; i < 3; ++i)
            copies << copyDemoDay(server.port(), u"E"_s, {}, Path::ServerSide);
        // the first undo, from the terminal: every service pending, each saying which run holds it
        const Command refused = runProgram(
            server.port(), {u"--operator"_s, Operator, u"--undo"_s, QString::number(copies.at(0).runId), u"--yes"_s});
        QCOMPARE(refused.code, HeadlessExit::UndoRefused);
        QCOMPARE(refused.out.count(u"substituído depois pela execução %1"_s.arg(copies.at(1).runId)), copies.at(0).services);
        QCOMPARE(runs(server.port()).value(copies.at(0).runId), u"C"_s);
        QVERIFY(undoRun(server.port(), copies.at(2).runId).refused.isEmpty());
        QVERIFY(undoRun(server.port(), copies.at(1).runId).refused.isEmpty());
        const UndoAnswer last = undoRun(server.port(), copies.at(0).runId);
        QVERIFY(last.refused.isEmpty());
        QCOMPARE(last.undone.size(), copies.at(0).services);
        QCOMPARE(storedCopy(demo), before);
        QCOMPARE(runs(server.port()).value(copies.at(0).runId), u"C+"_s);
        QVERIFY_THROWS_EXCEPTION(ERemoteError, undoRun(server.port(), copies.at(0).runId));
    }

    // A service changed after the run (its row, or one of its items) stays as changed and is
    // reported; the others are undone. Only a nutritionist of the branch lists or undoes runs.
    void changedServicesAreLeftAsChanged()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QStringList empty = storedCopy(demo);
        const CopyOutcome run = copyDemoDay(server.port(), u"N"_s);
        QVERIFY(run.services > 2);

        const QString day = destinationLiteral();
        // one service's description, and one item of another service
        const QString first = u"(SELECT MIN(CDPACIENTE) FROM SERVINTE WHERE DTSERVINTE = %1)"_s.arg(day);
        const QString last = u"(SELECT MAX(CDPACIENTE) FROM SERVINTE WHERE DTSERVINTE = %1)"_s.arg(day);
        const auto firstService = [&day](const QString &patient) {
            return u"(SELECT MIN(NRSEQUSERV) FROM SERVINTE WHERE DTSERVINTE = %1 AND CDPACIENTE = %2)"_s.arg(day, patient);
        };
        QVERIFY(execSql(demo, u"UPDATE SERVINTE SET DSSERVINTE = 'Editado depois' WHERE DTSERVINTE = %1"
                              u" AND CDPACIENTE = %2 AND NRSEQUSERV = %3"_s.arg(day, first, firstService(first))));
        QVERIFY(execSql(demo, u"UPDATE CONFESCO SET QTSERVCONF = 7 WHERE DTSERVINTE = %1 AND CDPACIENTE = %2"
                              u" AND NRSEQUSERV = %3 AND CDSEQUCOPR = '0001'"_s.arg(day, last, firstService(last))));
        const QStringList edited = storedCopy(demo);

        for (const QString &stranger : {u"VISITA"_s, u"NINGUEM"_s}) {
            try {
                undoRun(server.port(), run.runId, stranger);
                QFAIL("a stranger undid the run");
            } catch (const ERemoteError &error) {
                // an operator the hospital does not have is not even let in
                if (stranger == u"NINGUEM")
                    QCOMPARE(error.code(), Wire::ErrorCode::NotAuthorized);
                else
                    QVERIFY2(error.message().contains(u"não é nutricionista da filial"_s), qPrintable(error.message()));
            }
            QVERIFY_THROWS_EXCEPTION(ERemoteError, [&] {
                Session session(server.port(), stranger);
                TClientDataSet list;
                declareFields(list, CopyService::execucoesLayout());
                session.client.getExecucoes(Branch, stranger, 0, 0, list);
            }());
        }
        QCOMPARE(storedCopy(demo), edited);

        const UndoAnswer answer = undoRun(server.port(), run.runId);
        QCOMPARE(answer.refused.size(), 2);
        for (const QString &refused : answer.refused)
            QVERIFY2(refused.endsWith(u"alterado depois da cópia"_s), qPrintable(refused));
        QCOMPARE(answer.undone.size() + 2, run.services);
        QCOMPARE(servicesAtDestination(demo), 2);
        // what is left is the two as edited, nothing else
        QStringList left;
        for (const QString &row : edited) {
            if (!empty.contains(row))
                left << row;
        }
        QStringList now;
        for (const QString &row : storedCopy(demo)) {
            if (!empty.contains(row))
                now << row;
        }
        QVERIFY(now.join(u'\n').contains(u"Editado depois"_s));
        for (const QString &row : now)
            QVERIFY2(left.contains(row), qPrintable(row));
    }

    // A database the previous release made (its demo, two copies journaled): refused until
    // upgraded, then served with every row as it was, its runs listed and undone, and the
    // next run numbered after them.
    void previousReleaseDatabaseIsUpgradedAndServed()
    {
        if (TestSupport::engine() != TestSupport::Engine::Sqlite)
            QSKIP("the previous release's database is a SQLite file");
        QTemporaryDir dir;
        const QString path = dir.filePath(u"0.1.sqlite"_s);
        QVERIFY(QFile::copy(QStringLiteral(RBX_FIXTURE_DIR) + u"/rbx53207-0.1.sqlite"_s, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const QStringList before = everyRow(path);
        QVERIFY(before.size() > 100);

        TestServer refusing;
        QVERIFY(!refusing.start(u"sqlite:"_s + path));
        QVERIFY2(refusing.errorString().contains(u"rbx53207-db upgrade sqlite:%1"_s.arg(path)),
                 qPrintable(refusing.errorString()));
        QCOMPARE(everyRow(path), before);

        TestServer server;
        TestServerOptions upgrading;
        upgrading.extraArguments = {u"--upgrade"_s};
        QVERIFY2(server.start(u"sqlite:"_s + path, upgrading), qPrintable(server.errorString()));
        QCOMPARE(everyRow(path), before);
        {
            auto database = Database::open(u"sqlite:"_s + path, u"upgraded-passwords"_s);
            TestSupport::givePasswords(*database);
        }
        QCOMPARE(runs(server.port()), (QMap<qint64, QString>{{-1, u"ordered"_s}, {1, u"C"_s}, {2, u"C"_s}}));
        for (const qint64 run : {2, 1}) {
            const UndoAnswer undone = undoRun(server.port(), run);
            QVERIFY2(undone.refused.isEmpty(), qPrintable(undone.refused.join(u'\n')));
            QCOMPARE(undone.undone.size(), 4);
        }
        QCOMPARE(copyDemoDay(server.port(), u"E"_s).runId, 3);
    }

    // A failed run and an interrupted one are undone like a completed one, after the server
    // restarted; the journal says how each ended.
    void failedAndInterruptedRunsAreUndoneAfterARestart()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QStringList empty = storedCopy(demo);

        {
            FaultRelay relay(server.host(), server.port(), u"InsConfesco"_s, 5);
            QVERIFY_THROWS_EXCEPTION(ERemoteError, copyDemoDay(relay.port(), u"E"_s, {}, Path::CallByCall));
        }
        const qint64 failedRun = runs(server.port()).lastKey();
        const QStringList afterFailed = storedCopy(demo);
        QVERIFY(afterFailed != empty);

        FormulationCopy *running = nullptr;
        // call by call, so that no copy is in flight when the stop is asked for
        const CopyOutcome stopped = copyDemoDay(
            server.port(), u"N"_s, {}, Path::CallByCall,
            [&](const CopyProgress &progress) {
                if (progress.servicesDone == 2)
                    running->requestStop();
            },
            [&](FormulationCopy &copy) { running = &copy; });
        QCOMPARE(stopped.end, CopyEnd::Interrupted);
        QVERIFY2(server.restart(), qPrintable(server.errorString()));
        QMap<qint64, QString> listed = runs(server.port());
        QVERIFY(failedRun > 0);
        QCOMPARE(listed.value(failedRun), u"F"_s);
        QCOMPARE(listed.value(failedRun + 1), u"I"_s);

        QVERIFY(undoRun(server.port(), failedRun + 1).refused.isEmpty());
        QCOMPARE(storedCopy(demo), afterFailed);
        QVERIFY(undoRun(server.port(), failedRun).refused.isEmpty());
        QCOMPARE(storedCopy(demo), empty);
        listed = runs(server.port());
        QCOMPARE(listed.value(failedRun), u"F+"_s);
        QCOMPARE(listed.value(failedRun + 1), u"I+"_s);

        // a run older than the journal's days (30 by default) leaves it, with its pictures, when
        // the server starts
        QVERIFY(execSql(demo, u"UPDATE EXECCOPIA SET DTINICIO = '2000-01-01 00:00:00.000' WHERE IDEXECUCAO = %1"_s.arg(failedRun)));
        QVERIFY2(server.restart(), qPrintable(server.errorString()));
        listed = runs(server.port());
        QVERIFY(!listed.contains(failedRun));
        QVERIFY(listed.contains(failedRun + 1));
        QVERIFY(!execSql(demo, u"DELETE FROM EXECLINHA WHERE IDEXECUCAO = %1"_s.arg(failedRun)));
    }

    // rbx53207-copy names its run, lists the branch's runs and undoes one, asking first.
    void headlessCommandListsAndUndoesRuns()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QStringList empty = storedCopy(demo);
        const Command copied = runCommand(server.port(), {u"--operator"_s, Operator, u"--mode"_s, u"N"_s});
        QCOMPARE(copied.code, 0);
        static const QRegularExpression named(u"Serviços copiados: ([\\d.]+)\\. Itens copiados: [\\d.]+\\. Execução (\\d+)\\.\n$"_s);
        const QRegularExpressionMatch match = named.match(copied.out);
        QVERIFY2(match.hasMatch(), qPrintable(copied.out));
        const QString run = match.captured(2), services = match.captured(1);
        const QStringList afterCopy = storedCopy(demo);

        const Command listed = runProgram(server.port(), {u"--operator"_s, Operator, u"--list-runs"_s});
        QCOMPARE(listed.code, 0);
        const QStringList lines = listed.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.constFirst().startsWith(run + u"  "_s), qPrintable(lines.constFirst()));
        QVERIFY2(lines.constFirst().contains(u"operador ADMIN  lactário  origem %1  destino %2  serviços %3"_s.arg(
                     origin().toString(u"dd/MM/yyyy"_s), destination().toString(u"dd/MM/yyyy"_s), services)),
                 qPrintable(lines.constFirst()));
        QVERIFY2(lines.constFirst().endsWith(u"concluída"_s), qPrintable(lines.constFirst()));
        const Command none = runProgram(server.port(), {u"--operator"_s, Operator, u"--list-runs"_s, u"--from"_s, u"2999-01-01"_s});
        QCOMPARE(none.out.trimmed(), u"Nenhuma execução de cópia no período."_s);

        // not a nutritionist: refused as a copy is; not confirmed: nothing undone
        const Command stranger = runProgram(server.port(), {u"--operator"_s, u"VISITA"_s, u"--undo"_s, run, u"--yes"_s});
        QCOMPARE(stranger.code, 1);
        const Command declined = runProgram(server.port(), {u"--operator"_s, Operator, u"--undo"_s, run}, "n\n");
        QCOMPARE(declined.code, 1);
        QVERIFY2(declined.err.contains(u"Desfazer a cópia da execução %1?"_s.arg(run)), qPrintable(declined.err));
        QCOMPARE(storedCopy(demo), afterCopy);

        const Command undone = runProgram(server.port(), {u"--operator"_s, Operator, u"--undo"_s, run}, "s\n");
        QCOMPARE(undone.code, 0);
        const QStringList undoneLines = undone.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(undoneLines.size(), QString(services).remove(u'.').toInt() + 1);
        QVERIFY2(undoneLines.constFirst().contains(u": desfeito (a cópia foi removida"_s), qPrintable(undoneLines.constFirst()));
        QCOMPARE(undoneLines.constLast(), u"Serviços desfeitos: %1. Não desfeitos: 0."_s.arg(services));
        QCOMPARE(storedCopy(demo), empty);
        const Command again = runProgram(server.port(), {u"--operator"_s, Operator, u"--undo"_s, run, u"--yes"_s});
        QCOMPARE(again.code, 2);
        QVERIFY2(again.err.contains(u"já foi desfeita"_s), qPrintable(again.err));

        // one service changed after the run: its own exit code, the rest undone
        const Command second = runCommand(server.port(), {u"--operator"_s, Operator, u"--mode"_s, u"N"_s});
        const QRegularExpressionMatch secondRun = named.match(second.out);
        QVERIFY2(secondRun.hasMatch(), qPrintable(second.out));
        QVERIFY(execSql(demo, u"UPDATE SERVINTE SET DSSERVINTE = 'Editado' WHERE DTSERVINTE = %1 AND CDPACIENTE ="
                              u" (SELECT MIN(CDPACIENTE) FROM SERVINTE WHERE DTSERVINTE = %1)"_s.arg(destinationLiteral())));
        const Command partly = runProgram(server.port(), {u"--operator"_s, Operator, u"--undo"_s, secondRun.captured(2), u"--yes"_s});
        QCOMPARE(partly.code, 4);
        QVERIFY2(partly.out.contains(u": não desfeito: alterado depois da cópia."_s), qPrintable(partly.out));
    }

    // Killed in the middle of an undo, the server leaves every service undone whole or as the
    // run left it, and the undo asked again does the rest.
    void killedUndoLeavesEachServiceWholeAndGoesOnWhenAskedAgain()
    {
        DemoDatabase demo(TestSupport::demoOptions(400));
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        copyDemoDay(server.port(), u"E"_s);
        QVERIFY(markDestination(demo, u"Antes da cópia desfeita"_s));
        const QStringList before = storedCopy(demo);
        const CopyOutcome run = copyDemoDay(server.port(), u"E"_s);
        QVERIFY(run.services > 100);
        const QStringList leftByRun = storedCopy(demo);

        bool undoFailed = false;
        std::thread undo([&] {
            try {
                undoRun(server.port(), run.runId);
            } catch (const EHouseError &) {
                undoFailed = true;
            }
        });
        static const QRegularExpression undoneLine(u"execução \\d+ desfeita"_s);
        QTRY_VERIFY_WITH_TIMEOUT(server.log().contains(undoneLine), 60000);
        server.kill();
        undo.join();
        QVERIFY(undoFailed);

        QVERIFY2(server.restart(), qPrintable(server.errorString()));
        // each service as before the run or as the run left it, never a mix
        const QString mixed = wholeOrAsLeft(demo, before, leftByRun);
        QVERIFY2(mixed.isEmpty(), qPrintable(mixed));
        const QStringList now = storedCopy(demo);
        QVERIFY(now != before && now != leftByRun);
        const UndoAnswer rest = undoRun(server.port(), run.runId);
        QVERIFY(rest.refused.isEmpty());
        QVERIFY(rest.undone.size() > 0 && rest.undone.size() < run.services);
        QCOMPARE(storedCopy(demo), before);
    }
};

QTEST_GUILESS_MAIN(TestCopyUndo)
#include "tst_copy_undo.moc"
