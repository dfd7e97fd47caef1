#include <copyrules/CopyRules.h>
#include <db/DemoCatalog.h>
#include "ServerCopyKit.h"
#include <support/FaultRelay.h>
#include <house/FormatText.h>
#include <copy/headless/HeadlessCopy.h>
#include <support/TestServer.h>

#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <csignal>

using namespace rbx;

using namespace Qt::StringLiterals;

// The copy against the real server and the demo hospital.
namespace {

double shiftDays() { return OleDate::fromDate(destination()) - OleDate::fromDate(origin()); }

QString dateText(const TField &field, double shift = 0)
{
    return field.IsNull() ? QString() : OleDate::toDateTime(field.AsDateTime() + shift).toString(Qt::ISODateWithMs);
}

// One service as stored: its key, sequence, nutritionist, its other columns and its items.
struct ServiceState
{
    QString key; // patient|branch|service|diet
    QString patient, branch, service, diet;
    QString sequence, nutricio;
    QStringList columns;
    QList<QStringList> items; // every column but the key ones, in sequence order
    QStringList itemSequences;

    bool operator==(const ServiceState &) const = default;
};

// The services of a date and mode ("1" or "2") as getServInte and getConfesco read them. Item
// consumption dates are moved by `shift` days and null quantities read as 0: what a copy of
// them must look like.
QList<ServiceState> readServices(quint16 port, QDate date, const QString &mode, double shift = 0)
{
    Session session(port);
    TClientDataSet services(u"cdsServInte"_s);
    TClientDataSet items(u"cdsConfesco"_s);
    declareFields(services, CopyService::servInteLayout());
    declareFields(items, CopyService::confescoLayout());
    QString filial = Branch;
    ServInteFilters all;
    all.todosPacientes = all.todosServicos = all.todasDietas = all.todosAndares = all.todasAlas = all.todosLeitos =
        u"T"_s;
    session.client.getServInte(filial, OleDate::fromDate(date), all, mode, services);

    QList<ServiceState> found;
    const auto text = [](const TClientDataSet &set, const QString &name) { return set.FieldByName(name).AsString(); };
    for (; !services.Eof(); services.Next()) {
        ServiceState state;
        state.patient = text(services, u"CDPACIENTE"_s);
        state.branch = text(services, u"CDFILIAL"_s);
        state.service = text(services, u"CDSERVFILI"_s);
        state.diet = text(services, u"CDDIETPAD"_s);
        state.key = QStringList{state.patient, state.branch, state.service, state.diet}.join(u'|');
        state.sequence = text(services, u"NRSEQUSERV"_s);
        state.nutricio = text(services, u"CDNUTRICIO"_s);
        for (const QString &name : {u"NRACOMPANA"_s, u"STPACIACOM"_s, u"IDIMPRSERV"_s, u"IDTIPOSERINT"_s,
                                    u"IDRESTSERIN"_s, u"CDDIETGRUPSI"_s, u"DSSERVINTE"_s, u"NRSERVPESO"_s})
            state.columns.append(text(services, name));
        state.columns.append(dateText(services.FieldByName(u"DTINTERNA"_s)));

        session.client.getConfesco(state.patient, state.sequence,
                                   services.FieldByName(u"DTSERVINTE"_s).AsDateTime(), filial, items);
        for (; !items.Eof(); items.Next()) {
            QStringList item;
            for (const QString &name : {u"CDPACIENTE"_s, u"CDFILAUXPRAT"_s, u"CDPRATO"_s, u"CDPRODUTO"_s,
                                        u"CDVIACESDIET"_s, u"IDPREPCONF"_s, u"DSOBSCONF"_s})
                item.append(text(items, name));
            for (const QString &name : {u"QTSERVCONF"_s, u"QTPRATCONF"_s, u"QTINFUCONF"_s, u"HRCONSCONF"_s})
                item.append(QString::number(items.FieldByName(name).AsFloat(), 'g', 17));
            item.append(dateText(items.FieldByName(u"DTCONSCONF"_s), shift));
            state.items.append(item);
            state.itemSequences.append(text(items, u"CDSEQUCOPR"_s));
        }
        found.append(state);
    }
    return found;
}

QMap<QString, ServiceState> byKey(const QList<ServiceState> &services)
{
    QMap<QString, ServiceState> map;
    for (const ServiceState &service : services)
        map.insert(service.key, service);
    return map;
}

// Empty when `copied` holds exactly a copy of every service of `expected` (read with the
// shift) under the operator's nutritionist, items numbered from 0001 and, when the destination
// was empty, each patient's services numbered from 01; else the first difference.
QString differenceFromCopy(const QList<ServiceState> &expected, const QList<ServiceState> &copied,
                           bool numberedFromOne = true)
{
    if (expected.size() != copied.size())
        return u"%1 services at the destination, %2 expected"_s.arg(copied.size()).arg(expected.size());
    const QMap<QString, ServiceState> destination = byKey(copied);
    QMap<QString, QStringList> sequencesOfPatient;
    for (const ServiceState &source : expected) {
        if (!destination.contains(source.key))
            return u"service %1 missing at the destination"_s.arg(source.key);
        const ServiceState &copy = destination.value(source.key);
        if (copy.columns != source.columns)
            return u"%1: columns %2, expected %3"_s.arg(source.key, copy.columns.join(u';'), source.columns.join(u';'));
        if (copy.nutricio != OperatorNutricio)
            return u"%1: nutritionist %2"_s.arg(source.key, copy.nutricio);
        if (copy.items != source.items)
            return u"%1: items differ: %2 / %3"_s.arg(source.key).arg(copy.items.size()).arg(source.items.size());
        for (qsizetype i = 0; i < copy.itemSequences.size(); ++i) {
            if (copy.itemSequences.at(i) != u"%1"_s.arg(i + 1, 4, 10, QChar(u'0')))
                return u"%1: item sequence %2"_s.arg(source.key, copy.itemSequences.at(i));
        }
        sequencesOfPatient[copy.patient].append(copy.sequence);
    }
    for (auto it = sequencesOfPatient.begin(); numberedFromOne && it != sequencesOfPatient.end(); ++it) {
        it->sort();
        for (qsizetype i = 0; i < it->size(); ++i) {
            if (it->at(i) != u"%1"_s.arg(i + 1, 2, 10, QChar(u'0')))
                return u"patient %1: service sequences %2"_s.arg(it.key(), it->join(u','));
        }
    }
    return {};
}

QString patientName(const DemoDatabase &demo, const QString &patient)
{
    auto database = demo.open(u"copy-test-name"_s);
    QSqlQuery query(database->sql());
    query.prepare(u"SELECT NMPACIENTE FROM PACIENTE WHERE CDPACIENTE = ?"_s);
    query.addBindValue(patient);
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

int rowCount(const DemoDatabase &demo, const QString &table)
{
    auto database = demo.open(u"copy-test-count"_s);
    QSqlQuery query(database->sql());
    if (!query.exec(u"SELECT COUNT(*) FROM "_s + table) || !query.next())
        return -1;
    return query.value(0).toInt();
}

// The audit lines of a server's log without the connection they came on.
QStringList auditLines(const TestServer &server)
{
    QStringList lines;
    static const QRegularExpression audit(u"audit: (.*)$"_s, QRegularExpression::MultilineOption);
    // the client's address and ephemeral port say nothing of what was copied
    static const QRegularExpression address(u" \\(endereço [^)]*\\)$"_s);
    for (auto it = audit.globalMatch(server.log()); it.hasNext();)
        lines << it.next().captured(1).remove(address);
    return lines;
}

// Takes every service sequence of the failing service's patient at the destination, under
// services and diets the patient has none of on the origin day, after removing that service's
// own copy: its next copy finds no free number left.
void fillSequences(quint16 port, const QList<ServiceState> &source, const ServiceState &failing)
{
    Session session(port);
    const double day = OleDate::fromDate(destination());
    session.client.DelServ(failing.patient, day, failing.branch, failing.service, failing.diet);
    QStringList taken, pairs;
    for (const ServiceState &own : source) {
        if (own.patient == failing.patient)
            pairs << own.service + u'|' + own.diet;
    }
    for (const QString &mode : {u"1"_s, u"2"_s}) {
        for (const ServiceState &held : readServices(port, destination(), mode)) {
            if (held.patient == failing.patient) {
                taken << held.sequence;
                pairs << held.service + u'|' + held.diet;
            }
        }
    }
    QStringList free;
    for (const QString &service : DemoCatalog::branches().constFirst().services) {
        for (const DemoCatalog::Diet &diet : DemoCatalog::diets()) {
            if (!pairs.contains(service + u'|' + diet.code))
                free << service + u'|' + diet.code;
        }
    }
    CopyServiceClient::ServInteRow row;
    row.cdPaciente = failing.patient;
    row.cdFilial = Branch;
    row.operador = Operator;
    row.dsServInte = u"Ocupa uma sequência"_s;
    for (int number = 1; number <= 99; ++number) {
        QString sequence = u"%1"_s.arg(number, 2, 10, QChar(u'0'));
        if (taken.contains(sequence))
            continue;
        QVERIFY(!free.isEmpty());
        const QString pair = free.takeFirst();
        row.cdServFili = pair.section(u'|', 0, 0);
        row.cdDietPad = pair.section(u'|', 1, 1);
        session.client.InsServInte(row, day, sequence);
    }
}

// Replaces a service at the destination with an older version of its own: another
// description and one item, so that a copy over it shows.
void putOlderVersion(quint16 port, const ServiceState &service)
{
    Session session(port);
    const double day = OleDate::fromDate(destination());
    session.client.DelServ(service.patient, day, service.branch, service.service, service.diet);
    TClientDataSet nr(u"cdsNrServInte"_s);
    declareFields(nr, CopyService::nrServInteLayout());
    QString filial = Branch;
    session.client.getNrServInte(service.patient, day, filial, nr);
    QString sequence = CopyRules::nextSequence(nr.FieldByName(u"NRSEQUSERV"_s).AsString(), 2);
    CopyServiceClient::ServInteRow row;
    row.cdPaciente = service.patient;
    row.cdFilial = service.branch;
    row.cdServFili = service.service;
    row.cdDietPad = service.diet;
    row.operador = Operator;
    row.dsServInte = u"Versão anterior à cópia"_s;
    session.client.InsServInte(row, day, sequence);
    CopyServiceClient::ConfescoRow item;
    item.cdPaciente = service.patient;
    item.dsObsConf = u"Item da versão anterior"_s;
    item.dtConsConf = day + 0.25;
    QString itemSequence = u"0001"_s;
    session.client.InsConfesco(item, day, sequence, itemSequence, filial);
}

// What differs between the copied services and the services of the source they copy, whichever
// of them were copied.
QString differenceOfThoseCopied(const QList<ServiceState> &source, const QList<ServiceState> &copied)
{
    const QMap<QString, ServiceState> copiedKeys = byKey(copied);
    QList<ServiceState> expected;
    for (const ServiceState &service : source) {
        if (copiedKeys.contains(service.key))
            expected.append(service);
    }
    return differenceFromCopy(expected, copied);
}

// The headless copy of the demo day, through the relay on relayPort.
void startCopyThrough(QProcess &process, quint16 relayPort, const QStringList &extra = {})
{
    process.setProgram(program());
    process.setArguments(QStringList{u"--server"_s, u"127.0.0.1:%1"_s.arg(relayPort), u"--branch"_s, Branch, u"--from"_s,
                                     origin().toString(Qt::ISODate), u"--to"_s, destination().toString(Qt::ISODate),
                                     u"--yes"_s, u"--operator"_s, Operator, u"--password-file"_s,
                                     TestSupport::passwordFile()}
                         + extra);
    process.start();
}

// A day of 400 patients served, its services read, and the headless copy started through a relay
// that holds it at a call.
struct HeldCopy
{
    DemoDatabase demo{TestSupport::demoOptions(400)};
    TestServer server;
    QList<ServiceState> source;
    std::optional<FaultRelay> relay;
    QProcess process;
};

// Fails the test (the caller returns on QTest::currentTestFailed()) when the copy is not held.
void startHeldCopy(HeldCopy &held, const QString &method, int nth, const QStringList &extra = {})
{
    QVERIFY2(held.demo.isValid(), qPrintable(held.demo.errorString()));
    QVERIFY2(held.server.start(held.demo.url()), qPrintable(held.server.errorString()));
    held.source = readServices(held.server.port(), origin(), u"1"_s, shiftDays());
    // more services than the client keeps in flight, so that some are never sent
    QVERIFY2(held.source.size() > 100, qPrintable(QString::number(held.source.size())));
    held.relay.emplace(held.server.host(), held.server.port());
    held.relay->holdAt(method, nth);
    startCopyThrough(held.process, held.relay->port(), extra);
    QVERIFY(held.process.waitForStarted());
    QVERIFY(held.relay->waitUntilHeld());
}

} // namespace


class TestCopyServer final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        QLocale::setDefault(QLocale::c());
    }

    void copiesTheDemoDayToTheNextDay_data()
    {
        QTest::addColumn<QString>("tipoForm");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("otherMode");
        QTest::addColumn<Path>("path");
        QTest::newRow("enteral/parenteral") << u"E"_s << u"1"_s << u"2"_s << Path::ServerSide;
        QTest::newRow("lactário") << u"N"_s << u"2"_s << u"1"_s << Path::ServerSide;
        QTest::newRow("enteral/parenteral, call by call") << u"E"_s << u"1"_s << u"2"_s << Path::CallByCall;
        QTest::newRow("lactário, call by call") << u"N"_s << u"2"_s << u"1"_s << Path::CallByCall;
    }
    void copiesTheDemoDayToTheNextDay()
    {
        QFETCH(QString, tipoForm);
        QFETCH(QString, mode);
        QFETCH(QString, otherMode);
        QFETCH(Path, path);
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));

        const QList<ServiceState> expected = readServices(server.port(), origin(), mode, shiftDays());
        QVERIFY(expected.size() > 1);
        qsizetype items = 0;
        bool accented = false, timeOfDay = false;
        for (const ServiceState &service : expected) {
            items += service.items.size();
            accented = accented || service.columns.join(QString()).contains(QRegularExpression(u"[^\\x00-\\x7f]"_s));
            for (const QStringList &item : service.items)
                timeOfDay = timeOfDay || (!item.constLast().isEmpty() && !item.constLast().contains(u"T00:00:00"_s));
        }
        QVERIFY(accented);  // the check below then covers accents
        QVERIFY(timeOfDay); // and consumption times
        QVERIFY(readServices(server.port(), destination(), mode).isEmpty());
        QVERIFY(readServices(server.port(), destination(), otherMode).isEmpty());

        const CopyOutcome outcome = copyDemoDay(server.port(), tipoForm, {}, path);
        QCOMPARE(outcome.services, expected.size());
        QCOMPARE(outcome.items, items);
        const QList<ServiceState> copied = readServices(server.port(), destination(), mode);
        const QString difference = differenceFromCopy(expected, copied);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        // only the services of the form mode were copied
        QVERIFY(readServices(server.port(), destination(), otherMode).isEmpty());
        // the origin is read, never written
        QCOMPARE(readServices(server.port(), origin(), mode, shiftDays()), expected);

        // once more: the same destination, nothing doubled
        const int services = rowCount(demo, u"SERVINTE"_s);
        const int compositions = rowCount(demo, u"CONFESCO"_s);
        copyDemoDay(server.port(), tipoForm, {}, path);
        QCOMPARE(rowCount(demo, u"SERVINTE"_s), services);
        QCOMPARE(rowCount(demo, u"CONFESCO"_s), compositions);
        // the same services and items, numbered as before: each takes the number its DelServ freed
        const QString again = differenceFromCopy(expected, readServices(server.port(), destination(), mode));
        QVERIFY2(again.isEmpty(), qPrintable(again));
    }

    // Copied again and again, the same day leaves every row as its first copy did.
    void rerunsKeepTheSequences_data()
    {
        addPathRows();
    }
    void rerunsKeepTheSequences()
    {
        QFETCH(Path, path);
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        QVERIFY(copyDemoDay(server.port(), u"E"_s, {}, path).services > 1);
        const QStringList first = storedCopy(demo);
        for (int run = 0; run < 10; ++run)
            copyDemoDay(server.port(), u"E"_s, {}, path);
        QCOMPARE(storedCopy(demo), first);
    }

    // A service copied onto its own day replaces itself: its items are read before it is removed.
    void copyOntoItsOwnDayKeepsItsItems()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QList<ServiceState> before = readServices(server.port(), origin(), u"1"_s);
        const auto withItems = std::find_if(before.begin(), before.end(),
                                            [](const ServiceState &state) { return !state.items.isEmpty(); });
        QVERIFY(withItems != before.end());
        Session session(server.port());
        const double day = OleDate::fromDate(origin());
        const auto answer = session.client.receiveCopServInte(session.client.sendCopServInte(
            withItems->patient, day, withItems->sequence, withItems->branch, day, Operator, {}));
        QCOMPARE(answer.replaced, 1);
        QCOMPARE(answer.items, withItems->items.size());
        const QList<ServiceState> after = readServices(server.port(), origin(), u"1"_s);
        const auto again = std::find_if(after.begin(), after.end(),
                                        [&](const ServiceState &state) { return state.key == withItems->key; });
        QVERIFY(again != after.end());
        QCOMPARE(again->items, withItems->items);
        QCOMPARE(again->columns, withItems->columns);
    }

    // Narrowed to one floor and one diet, the copy takes exactly the services of in-patients on
    // that floor with that diet.
    void filteredCopyCopiesExactlyTheMatchingServices()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QList<ServiceState> all = readServices(server.port(), origin(), u"1"_s, shiftDays());
        QMap<QString, QString> floorOf; // in-patient -> floor of the bed
        {
            auto database = demo.open(u"copy-test-floors"_s);
            QSqlQuery query(database->sql());
            QVERIFY(query.exec(u"SELECT I.CDPACIENTE, L.CDANDAR FROM INTERNAC I JOIN LEITO L ON L.CDFILIAL = I.CDFILIAL"
                               " AND L.CDLEITO = I.CDLEITO WHERE I.CDFILIAL = '0001' AND I.DTALTA IS NULL"_s));
            while (query.next())
                floorOf.insert(query.value(0).toString(), query.value(1).toString());
        }
        // the floor and diet most services share, so that the filters keep some and drop others
        QMap<QString, int> shared;
        for (const ServiceState &service : all) {
            if (floorOf.contains(service.patient))
                ++shared[floorOf.value(service.patient) + u'|' + service.diet];
        }
        QVERIFY(!shared.isEmpty());
        QString pick = shared.firstKey();
        for (auto it = shared.cbegin(); it != shared.cend(); ++it)
            pick = it.value() > shared.value(pick) ? it.key() : pick;
        const QString floor = pick.section(u'|', 0, 0), diet = pick.section(u'|', 1, 1);
        QList<ServiceState> expected;
        for (const ServiceState &service : all) {
            if (floorOf.value(service.patient) == floor && service.diet == diet)
                expected.append(service);
        }
        QVERIFY(expected.size() > 1 && expected.size() < all.size());

        const CopyOutcome outcome = copyDemoDay(server.port(), u"E"_s,
                                                {{FilterGroup::Andar, u'_' + floor + u'_'}, {FilterGroup::Dieta, u'_' + diet + u'_'}});
        QCOMPARE(outcome.services, expected.size());
        const QString difference = differenceFromCopy(expected, readServices(server.port(), destination(), u"1"_s));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void failureLeavesTheServiceAsItWas_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("which"); // for InsConfesco: "first" or "last" item of the service
        for (const QString &method : {u"DelServ"_s, u"getNrServInte"_s, u"InsServInte"_s, u"getNrConfesco"_s,
                                      u"getConfesco"_s, u"Commit"_s})
            QTest::addRow("%s", qPrintable(method)) << method << QString();
        QTest::newRow("first item") << u"InsConfesco"_s << u"first"_s;
        QTest::newRow("last item") << u"InsConfesco"_s << u"last"_s;
    }
    void failureLeavesTheServiceAsItWas()
    {
        QFETCH(QString, method);
        QFETCH(QString, which);
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));

        const QList<ServiceState> source = readServices(server.port(), origin(), u"1"_s, shiftDays());
        // the failing service: the first after the first with at least two items
        qsizetype failing = 1;
        while (failing < source.size() && source.at(failing).items.size() < 2)
            ++failing;
        QVERIFY(failing < source.size());
        int occurrence = int(failing) + 1;
        if (method == u"InsConfesco") {
            occurrence = 0;
            for (qsizetype i = 0; i < failing; ++i)
                occurrence += int(source.at(i).items.size());
            occurrence += which == u"first" ? 1 : int(source.at(failing).items.size());
        }

        copyDemoDay(server.port(), u"E"_s);
        for (qsizetype i = 0; i <= failing; ++i)
            putOlderVersion(server.port(), source.at(i));
        const QMap<QString, ServiceState> before = byKey(readServices(server.port(), destination(), u"1"_s));

        FaultRelay relay(server.host(), server.port(), method, occurrence);
        try {
            copyDemoDay(relay.port(), u"E"_s, {}, Path::CallByCall);
            QFAIL("the run did not fail");
        } catch (const ERemoteError &error) {
            QCOMPARE(error.message(), FaultRelay::failureMessage());
        }

        const QMap<QString, ServiceState> after = byKey(readServices(server.port(), destination(), u"1"_s));
        QCOMPARE(after.size(), before.size());
        // the services before the failing one are copied over their older versions
        QList<ServiceState> recopied;
        for (qsizetype i = 0; i < failing; ++i)
            recopied.append(after.value(source.at(i).key));
        const QString copied = differenceFromCopy(source.mid(0, failing), recopied, false);
        QVERIFY2(copied.isEmpty(), qPrintable(copied));
        // the failing one and those after it are exactly as before the run
        for (qsizetype i = failing; i < source.size(); ++i)
            QCOMPARE(after.value(source.at(i).key), before.value(source.at(i).key));
        QCOMPARE(after.value(source.at(failing).key).columns.at(6), u"Versão anterior à cópia"_s);
        const QStringList methods = relay.methods();
        QCOMPARE(methods.constLast(), u"Rollback"_s);
        QCOMPARE(methods.count(u"Commit"_s), method == u"Commit" ? failing + 1 : failing);
    }

    // A failure the server itself meets (no free sequence for a patient) stops either path at
    // that service: those before it copied, it and those after it as they were, even with copies
    // of the run already on their way to the server.
    void serverFailureStopsTheRunAtThatService_data()
    {
        addPathRows();
    }
    void serverFailureStopsTheRunAtThatService()
    {
        QFETCH(Path, path);
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QList<ServiceState> source = readServices(server.port(), origin(), u"1"_s, shiftDays());
        // the first service of the third patient
        qsizetype failing = 0;
        for (int patients = 1; failing < source.size(); ++failing) {
            if (failing > 0 && source.at(failing).patient != source.at(failing - 1).patient && ++patients == 3)
                break;
        }
        QVERIFY(failing < source.size());
        copyDemoDay(server.port(), u"E"_s);
        for (qsizetype i = 0; i < failing; ++i)
            putOlderVersion(server.port(), source.at(i));
        fillSequences(server.port(), source, source.at(failing));
        const QMap<QString, ServiceState> before = byKey(readServices(server.port(), destination(), u"1"_s));

        try {
            copyDemoDay(server.port(), u"E"_s, {}, path);
            QFAIL("the run did not fail");
        } catch (const EHouseError &error) {
            QVERIFY2(error.message().contains(u"100"_s), qPrintable(error.message()));
        }
        const QMap<QString, ServiceState> after = byKey(readServices(server.port(), destination(), u"1"_s));
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < source.size(); ++i) {
            const ServiceState &now = after.value(source.at(i).key);
            if (i < failing)
                QCOMPARE(now.columns, source.at(i).columns); // copied over its older version
            else
                QCOMPARE(now, before.value(source.at(i).key));
        }
    }

    // Killed at varied moments of a pipelined run, its copies committed in groups, the server
    // leaves every service the client was told of copied whole, and every other one either the
    // whole copy or as it was: no service without its items.
    void killedServerLeavesEveryServiceWholeOrAsItWas()
    {
        // more services than the client keeps in flight, so that the run outlives the server
        DemoDatabase demo(TestSupport::demoOptions(400));
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QList<ServiceState> source = readServices(server.port(), origin(), u"1"_s, shiftDays());
        QVERIFY2(source.size() > 100, qPrintable(QString::number(source.size())));
        copyDemoDay(server.port(), u"E"_s);
        for (const qsizetype killAt : {qsizetype(3), qsizetype(41), source.size() / 2}) {
            for (const ServiceState &service : source)
                putOlderVersion(server.port(), service);
            const QMap<QString, ServiceState> older = byKey(readServices(server.port(), destination(), u"1"_s));

            QStringList told;
            try {
                copyDemoDay(server.port(), u"E"_s, {}, Path::ServerSide, [&](const CopyProgress &progress) {
                    told << QStringList{progress.cdPaciente, Branch, progress.cdServFili, progress.cdDietPad}.join(u'|');
                    if (told.size() == killAt)
                        server.kill();
                });
                QFAIL("the run did not fail");
            } catch (const EConnectionError &) {
            }
            // answers already on their way still arrive; the run cannot have finished
            QVERIFY(told.size() >= killAt && told.size() < source.size());
            QVERIFY2(server.restart(), qPrintable(server.errorString()));
            const QMap<QString, ServiceState> after = byKey(readServices(server.port(), destination(), u"1"_s));
            QCOMPARE(after.size(), source.size());
            for (const ServiceState &service : source) {
                const ServiceState &now = after.value(service.key);
                const bool whole = now.columns == service.columns && now.items == service.items;
                QVERIFY2(whole || (now == older.value(service.key) && !told.contains(service.key)),
                         qPrintable(u"%1 (killed after %2)"_s.arg(service.key).arg(killAt)));
            }
        }
    }

    // Two application servers on one database copy the same day at once, their copies grouped:
    // both runs complete, and the destination holds each service once, whole.
    void twoServersCopyTheSameDayAtOnce()
    {
        DemoDatabase demo(TestSupport::demoOptions(200));
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer first, second;
        QVERIFY2(first.start(demo.url()), qPrintable(first.errorString()));
        QVERIFY2(second.start(demo.url()), qPrintable(second.errorString()));
        const QList<ServiceState> expected = readServices(first.port(), origin(), u"1"_s, shiftDays());
        QProcess copies[2];
        for (int i = 0; i < 2; ++i) {
            copies[i].setProgram(program());
            copies[i].setArguments({u"--server"_s, u"127.0.0.1:%1"_s.arg((i == 0 ? first : second).port()), u"--branch"_s,
                                    Branch, u"--password-file"_s, TestSupport::passwordFile(), u"--operator"_s, Operator,
                                    u"--from"_s, origin().toString(Qt::ISODate), u"--to"_s,
                                    destination().toString(Qt::ISODate), u"--yes"_s});
            copies[i].start();
            copies[i].closeWriteChannel();
        }
        for (QProcess &copy : copies) {
            QVERIFY(copy.waitForFinished(180000));
            QVERIFY2(copy.exitCode() == 0, copy.readAllStandardError().constData());
        }
        const QString difference = differenceFromCopy(expected, readServices(first.port(), destination(), u"1"_s), false);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // The client takes the server-side copy only from a server that offers it, and both paths
    // leave the same rows, every column, and the same audit.
    void bothPathsLeaveTheSameDatabaseAndAudit()
    {
        DemoDatabase serverSide, callByCall;
        QVERIFY2(serverSide.isValid(), qPrintable(serverSide.errorString()));
        QVERIFY2(callByCall.isValid(), qPrintable(callByCall.errorString()));
        TestServer offering, classic;
        QVERIFY2(offering.start(serverSide.url()), qPrintable(offering.errorString()));
        TestServerOptions classicOptions;
        classicOptions.extraArguments = {u"--classic-methods"_s};
        QVERIFY2(classic.start(callByCall.url(), classicOptions), qPrintable(classic.errorString()));
        QCOMPARE(storedCopy(serverSide), storedCopy(callByCall));

        // twice: the second run replaces what the first wrote
        for (int run = 0; run < 2; ++run) {
            FaultRelay toOffering(offering.host(), offering.port()), toClassic(classic.host(), classic.port());
            for (const QString &tipoForm : {u"E"_s, u"N"_s}) {
                copyDemoDay(toOffering.port(), tipoForm);
                copyDemoDay(toClassic.port(), tipoForm);
            }
            QVERIFY(toOffering.methods().contains(u"CopServInte"_s));
            QVERIFY(!toOffering.methods().contains(u"InsServInte"_s));
            QVERIFY(!toClassic.methods().contains(u"CopServInte"_s));
            QVERIFY(toClassic.methods().contains(u"InsServInte"_s));
        }
        QCOMPARE(storedCopy(serverSide), storedCopy(callByCall));
        const QStringList audit = auditLines(offering);
        QVERIFY(!audit.isEmpty());
        QCOMPARE(audit, auditLines(classic));

        // an extension a classic server does not offer is no method there
        Session session(classic.port());
        const RemoteAnswer answer = session.net.Call(u"CopServInte"_s, {});
        QVERIFY(answer.failed());
        QCOMPARE(std::get<Wire::ErrorInfo>(answer.value).code, Wire::ErrorCode::MethodNotFound);
    }

    // Statements are prepared once per database session, and a copied service costs few: the
    // schema's keys check what the server once looked up itself.
    void statementsPerServiceStayFew_data()
    {
        addPathRows();
    }
    void statementsPerServiceStayFew()
    {
        QFETCH(Path, path);
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const CopyOutcome outcome = copyDemoDay(server.port(), u"E"_s, {}, path);
        QVERIFY(outcome.services > 10);
        static const QRegularExpression counts(u"statements (\\d+) run, (\\d+) prepared"_s);
        QRegularExpressionMatch match;
        QTRY_VERIFY((match = counts.match(server.log())).hasMatch());
        const qint64 run = match.captured(1).toLongLong(), prepared = match.captured(2).toLongLong();
        // the login's operator lookup, getServInte, then per service at most ten besides one per item;
        // server-side, one read a service and no picture of an empty destination: at most seven
        const qint64 perService = path == Path::ServerSide ? 7 : 10;
        QVERIFY2(run <= 2 + perService * outcome.services + outcome.items, qPrintable(match.captured(0)));
        // server-side, the items go 16, 8, 4, 2 or 1 rows to a statement, each prepared once
        QVERIFY2(prepared <= (path == Path::ServerSide ? 17 : 13), qPrintable(match.captured(0)));
    }

    // SIGINT in the middle of a pipelined run: the copies already sent complete and are
    // counted, nothing more is sent, and the command says how far it got with its own code.
    void interruptedCommandCopiesWholeServicesOnly()
    {
        // the third copy waits at the relay: the run is past its question and under way
        HeldCopy held;
        startHeldCopy(held, u"CopServInte"_s, 3);
        if (QTest::currentTestFailed())
            return;
        QProcess &process = held.process;
        FaultRelay &relay = *held.relay;
        const QList<ServiceState> &source = held.source;
        TestServer &server = held.server;
        QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
        relay.resume();
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QCOMPARE(process.exitCode(), HeadlessExit::Interrupted);

        // counts as written in Brazil: "1.512"
        static const QRegularExpression report(u"Cópia interrompida: ([\\d.]+) de ([\\d.]+) serviços copiados"_s);
        const QRegularExpressionMatch match = report.match(out);
        QVERIFY2(match.hasMatch(), qPrintable(out));
        const qsizetype reported = match.captured(1).remove(u'.').toLongLong();
        QCOMPARE(match.captured(2).remove(u'.').toLongLong(), source.size());
        QVERIFY2(reported >= 3 && reported < source.size(), qPrintable(out));
        QVERIFY(!out.contains(u"A cópia foi realizada com sucesso."_s));
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(u"Interrupção pedida"_s));
        QVERIFY(out.contains(u"Serviços copiados: %1."_s.arg(formatCount(reported))));

        // exactly the services reported are at the destination, each whole; the rest are not
        const QList<ServiceState> copied = readServices(server.port(), destination(), u"1"_s);
        QCOMPARE(copied.size(), reported);
        const QString difference = differenceOfThoseCopied(source, copied);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // rbx53207-db backup while a copy writes: the backup restores to a database whose every
    // service is whole and that passes its check.
    void backupDuringACopyHoldsWholeServicesOnly()
    {
        // call by call, the run is held with a service half written in its open transaction
        HeldCopy held;
        startHeldCopy(held, u"InsConfesco"_s, 5, {u"--call-by-call"_s});
        if (QTest::currentTestFailed())
            return;
        QProcess &copy = held.process;
        FaultRelay &relay = *held.relay;
        const QList<ServiceState> &source = held.source;
        const DemoDatabase &demo = held.demo;
        // the backup starts there and goes on while the run writes the rest
        QTemporaryDir dir;
        const QString backupFile = dir.filePath(u"durante-a-copia"_s);
        QProcess backup;
        backup.start(QStringLiteral(RBX_DB_TOOL), {u"backup"_s, demo.url(), backupFile});
        QVERIFY(backup.waitForStarted());
        relay.resume();
        QVERIFY(backup.waitForFinished(120000));
        QVERIFY2(backup.exitCode() == 0, backup.readAllStandardError().constData());
        QVERIFY(copy.waitForFinished(120000));
        QCOMPARE(copy.exitCode(), 0);

        ScratchDatabase restored(u"restored"_s);
        QProcess restore;
        restore.start(QStringLiteral(RBX_DB_TOOL), {u"restore"_s, backupFile, restored.url()});
        QVERIFY(restore.waitForFinished(120000));
        QVERIFY2(restore.exitCode() == 0, restore.readAllStandardError().constData());
        QProcess check;
        check.start(QStringLiteral(RBX_DB_TOOL), {u"check"_s, restored.url()});
        QVERIFY(check.waitForFinished(120000));
        QVERIFY2(check.exitCode() == 0, check.readAll().constData());

        TestServer onBackup;
        QVERIFY2(onBackup.start(restored.url()), qPrintable(onBackup.errorString()));
        const QList<ServiceState> copied = readServices(onBackup.port(), destination(), u"1"_s);
        // the services written before the hold at least, each as its origin
        QVERIFY2(!copied.isEmpty() && copied.size() <= source.size(), qPrintable(QString::number(copied.size())));
        const QString difference = differenceOfThoseCopied(source, copied);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        onBackup.stop();
    }

    void headlessCommandEndToEnd()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QList<ServiceState> expected = readServices(server.port(), origin(), u"2"_s, shiftDays());
        qsizetype items = 0;
        for (const ServiceState &service : expected)
            items += service.items.size();

        // refused operator: exit 1, nothing written
        const int servicesBefore = rowCount(demo, u"SERVINTE"_s);
        const Command refused = runCommand(server.port(), {u"--operator"_s, u"VISITA"_s});
        QCOMPARE(refused.code, 1);
        QCOMPARE(refused.err.trimmed(), u"Operador não está cadastrado como nutricionista."_s);

        // a wrong password: refused at the login, nothing written, the password in none of its words
        QTemporaryDir dir;
        QFile wrongFile(dir.filePath(u"senha"_s));
        QVERIFY(wrongFile.open(QIODevice::WriteOnly));
        wrongFile.write(u"senha-errada-ção\n"_s.toUtf8());
        wrongFile.close();
        const Command wrong = runCommand(server.port(), {u"--operator"_s, Operator, u"--password-file"_s, wrongFile.fileName()});
        QCOMPARE(wrong.code, HeadlessExit::Login);
        QCOMPARE(wrong.err.trimmed(), u"Operador ou senha inválidos."_s);
        QVERIFY(!QString(wrong.out + wrong.err).contains(u"senha-errada"_s));
        QCOMPARE(rowCount(demo, u"SERVINTE"_s), servicesBefore);

        // a failure at the first item through the relay: exit 2, the service rolled back
        {
            FaultRelay relay(server.host(), server.port(), u"InsConfesco"_s, 1);
            const Command failed =
                runCommand(relay.port(), {u"--operator"_s, Operator, u"--mode"_s, u"N"_s, u"--call-by-call"_s});
            QCOMPARE(failed.code, 2);
            QVERIFY2(failed.err.contains(FaultRelay::failureMessage()), qPrintable(failed.err));
            QCOMPARE(relay.methods().constLast(), u"Rollback"_s);
        }
        QCOMPARE(rowCount(demo, u"SERVINTE"_s), servicesBefore);

        // the lactário copy end to end: exit 0, one line per service and the summary
        const Command done = runCommand(server.port(), {u"--operator"_s, Operator, u"--mode"_s, u"N"_s});
        QCOMPARE(done.code, 0);
        QVERIFY2(done.err.isEmpty(), qPrintable(done.err));
        const QStringList lines = done.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.count(), expected.size() + 2);
        QVERIFY(lines.at(0).startsWith(u"[1/%1] paciente "_s.arg(formatCount(expected.size()))));
        QCOMPARE(lines.at(lines.size() - 2), u"A cópia foi realizada com sucesso."_s);
        // the summary names the run the server journaled
        static const QRegularExpression summary(u"^Serviços copiados: %1\\. Itens copiados: %2\\. Execução \\d+\\.$"_s
                                                     .arg(formatCount(expected.size()), formatCount(items)));
        QVERIFY2(summary.match(lines.constLast()).hasMatch(), qPrintable(lines.constLast()));
        const QString difference = differenceFromCopy(expected, readServices(server.port(), destination(), u"2"_s));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        // --show-run: the run's mode, dates and a row per service it wrote, with the patient's name;
        // the failed run says why it failed
        const QString run = lines.constLast().section(u' ', -1).chopped(1);
        const Command shown = runCommand(server.port(), {u"--operator"_s, Operator, u"--show-run"_s, run});
        QCOMPARE(shown.code, 0);
        QVERIFY2(shown.out.contains(u"Modo: lactário. Origem: %1. Destino: %2."_s.arg(
                     origin().toString(u"dd/MM/yyyy"_s), destination().toString(u"dd/MM/yyyy"_s))),
                 qPrintable(shown.out));
        for (const ServiceState &service : expected) {
            const QString name = patientName(demo, service.patient);
            QVERIFY2(!name.isEmpty() && shown.out.contains(service.patient + u"  "_s + name), qPrintable(service.patient));
        }
        const Command listed = runProgram(server.port(), {u"--operator"_s, Operator, u"--list-runs"_s});
        QVERIFY2(listed.out.contains(u"falhou ("_s), qPrintable(listed.out));
        QCOMPARE(runCommand(server.port(), {u"--operator"_s, Operator, u"--show-run"_s, u"999999"_s}).code, 1);
    }
};

QTEST_GUILESS_MAIN(TestCopyServer)
#include "tst_copy_server.moc"
