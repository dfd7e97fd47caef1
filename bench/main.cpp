// Benchmarks of the copy service, one JSON line per figure on standard output:
//   seed       --url U --patients P --services S --items I [--beds B]
//   copy       --url U --db NAME [--floor]        the copy of the seeded day, and its floor
//   concurrent --url U --db NAME --clients N --day K   N clients over disjoint patients
//   open       --url U --db NAME [--samples N]    first activation and getPaciente
#include "BenchArgs.h"
#include "BenchReport.h"
#include "BenchSeeder.h"
#include "CopyRun.h"
#include "CopyServiceClient.h"
#include "Database.h"
#include "HouseError.h"
#include "OleDate.h"
#include "RecordingRelay.h"
#include "ReplayServer.h"
#include "SqlDialect.h"
#include "SqlStatement.h"
#include "TestServer.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The day the seeded prescriptions are for; the copies go to the days after it.
const QDate Origin(2026, 3, 2);

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "rbx53207-bench: %s\n", qPrintable(why));
    std::exit(1);
}

struct Shape
{
    qint64 patients = 0, services = 0, items = 0;
    QJsonObject params(const QString &db) const
    {
        return {{u"db"_s, db}, {u"patients"_s, patients}, {u"services"_s, services}, {u"items"_s, items}};
    }
};

qint64 count(Database &database, const QString &sql, const QDate &day = {})
{
    SqlStatement query(database.sql(), sql);
    if (day.isValid())
        query.bind(u":DAY"_s, database.dialect().dateTimeValue(OleDate::fromDate(day)));
    query.exec();
    const qint64 value = query.next() ? query.value(0).toLongLong() : -1;
    query.finish();
    return value;
}

// Services and items of the origin day, as the database holds them.
Shape seededShape(const QString &url)
{
    auto database = Database::open(url, u"bench-shape"_s);
    Shape shape;
    shape.patients = count(*database, u"SELECT COUNT(DISTINCT CDPACIENTE) FROM SERVINTE WHERE DTSERVINTE = :DAY"_s, Origin);
    shape.services = count(*database, u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = :DAY"_s, Origin);
    shape.items = count(*database, u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = :DAY"_s, Origin);
    return shape;
}

std::unique_ptr<TestServer> startServer(const QString &url, int maxConnections = 0)
{
    auto server = std::make_unique<TestServer>();
    TestServerOptions options;
    options.maxConnections = maxConnections;
    if (!server->start(url, options))
        die(u"server did not start: "_s + server->errorString());
    return server;
}

int seed(const BenchArgs &args)
{
    BenchShape shape;
    shape.patients = args.number(u"patients"_s, 600);
    shape.services = args.number(u"services"_s, 4);
    shape.items = args.number(u"items"_s, 4);
    shape.beds = args.number(u"beds"_s, 0);
    shape.origin = Origin;
    const double started = monotonicSeconds();
    auto database = Database::open(args.text(u"url"_s), u"bench-seed"_s);
    BenchSeeder::seed(*database, shape);
    report(u"seed_seconds"_s, monotonicSeconds() - started, u"s"_s,
           {{u"patients"_s, shape.patients}, {u"services"_s, shape.services}, {u"items"_s, shape.items},
            {u"beds"_s, std::max(shape.beds, shape.patients)}});
    return 0;
}

// A recorded request turned back into the call that made it.
struct ReplayCall
{
    QString method;
    QList<Wire::Arg> args;
};

ReplayCall callOf(const QByteArray &request)
{
    const QJsonObject object = QJsonDocument::fromJson(request).object();
    ReplayCall call{object.value(u"method"_s).toString(), {}};
    for (const QJsonValue &value : object.value(u"params"_s).toArray()) {
        QString why;
        const std::optional<Wire::Arg> arg = Wire::decodeArg(value, &why);
        if (!arg)
            die(u"recorded argument unreadable: "_s + why);
        call.args.append(*arg);
    }
    return call;
}

// Replays the recorded requests through the client transport against a server that only
// answers; returns the seconds from getServInte to the last answer and the round trips timed.
std::pair<double, qint64> floorRun(const RecordingRelay &relay, int *mismatches)
{
    std::vector<ReplayCall> calls;
    for (qsizetype i = 1; i < relay.requests().size(); ++i) // [0] is rpc.open, sent by SetConnected
        calls.push_back(callOf(relay.requests().at(i)));
    ReplayServer replay(relay.requests(), relay.answers());
    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connection.Host = u"127.0.0.1"_s;
    connection.Port = replay.start();
    connection.SetConnected(true);
    double started = 0;
    qint64 timed = 0;
    for (const ReplayCall &call : calls) {
        if (call.method == CopyService::method(CopyService::MethodId::getServInte).name)
            started = monotonicSeconds();
        // the caller's own variables for the texts that go by reference
        std::vector<QString> variables(call.args.size());
        QList<RemoteArg> args;
        for (qsizetype i = 0; i < call.args.size(); ++i) {
            const Wire::Arg &arg = call.args.at(i);
            switch (arg.kind) {
            case Wire::Arg::Kind::Text:
                if (arg.byRef) {
                    variables[i] = arg.text;
                    args.append(RemoteArg::TextRef(variables[i]));
                } else {
                    args.append(RemoteArg::Text(arg.text));
                }
                break;
            case Wire::Arg::Kind::Date: args.append(RemoteArg::Date(arg.number)); break;
            case Wire::Arg::Kind::Double: args.append(RemoteArg::Double(arg.number)); break;
            }
        }
        CheckResultServ(connection.Call(call.method, args));
        if (started > 0)
            ++timed;
    }
    const double seconds = monotonicSeconds() - started;
    connection.SetConnected(false);
    replay.wait();
    *mismatches = replay.mismatches();
    return {seconds, timed};
}

int copy(const BenchArgs &args)
{
    const QString url = args.text(u"url"_s), db = args.text(u"db"_s, u"sqlite"_s);
    const Shape shape = seededShape(url);
    auto server = startServer(url);
    const qint64 self = QCoreApplication::applicationPid();
    // the machine is shared: the median of a few runs (a rerun deletes and inserts the same
    // services again, so it makes the same calls)
    const int repeats = std::max(1, args.number(u"repeats"_s, 1));
    const double serverCpu = cpuSeconds(server->processId()), clientCpu = cpuSeconds(self);
    CopyRunResult run;
    QList<double> runSeconds;
    for (int r = 0; r < repeats; ++r) {
        run = runCopy({server->port(), Origin, Origin.addDays(1), {}});
        if (!run.ok)
            die(u"copy failed: "_s + run.error);
        runSeconds.append(run.seconds);
    }
    const double serverCpuUsed = (cpuSeconds(server->processId()) - serverCpu) / repeats;
    const double clientCpuUsed = (cpuSeconds(self) - clientCpu) / repeats;
    run.seconds = quantile(runSeconds, 0.5);
    const qint64 trips = roundTrips(run.services, run.items);
    QJsonObject params = shape.params(db);
    params.insert(u"repeats"_s, repeats);
    params.insert(u"fastest_s"_s, runSeconds.constFirst());
    params.insert(u"slowest_s"_s, runSeconds.constLast());
    QJsonObject callParams = params;
    callParams.insert(u"round_trips"_s, trips);
    report(u"copy_seconds"_s, run.seconds, u"s"_s, params);
    report(u"copy_calls"_s, double(specifiedCalls(run.services, run.items)), u"calls"_s, callParams);
    report(u"copy_round_trips"_s, double(trips), u"round trips"_s, params);
    report(u"copy_us_per_call"_s, run.seconds * 1e6 / double(trips), u"us"_s, callParams);
    // where a call's time goes: the two processes' CPU, the rest is waiting (disk syncs, wake-ups)
    report(u"copy_server_cpu_us_per_call"_s, serverCpuUsed * 1e6 / double(trips), u"us"_s, callParams);
    report(u"copy_client_cpu_us_per_call"_s, clientCpuUsed * 1e6 / double(trips), u"us"_s, callParams);
    report(u"client_peak_rss"_s, double(ownPeakRssKiB()) / 1024.0, u"MiB"_s, params);
    report(u"server_peak_rss_one_client"_s, double(peakRssKiB(server->processId())) / 1024.0, u"MiB"_s, params);
    if (run.services != shape.services || run.items != shape.items)
        die(u"the copy moved %1 services and %2 items of %3 and %4"_s.arg(run.services).arg(run.items)
                .arg(shape.services).arg(shape.items));
    if (!args.flag(u"floor"_s))
        return 0;

    // the same copy again through a recording relay: a rerun sends the same calls with
    // messages of the same sizes, since each service is deleted before it is inserted
    RecordingRelay relay(server->port());
    const quint16 relayPort = relay.start();
    const CopyRunResult recorded = runCopy({relayPort, Origin, Origin.addDays(1), {}});
    relay.wait();
    if (!recorded.ok)
        die(u"recorded copy failed: "_s + recorded.error);
    if (relay.requests().size() != relay.answers().size())
        die(u"relay saw %1 requests and %2 answers"_s.arg(relay.requests().size()).arg(relay.answers().size()));
    qint64 requestBytes = 0, answerBytes = 0;
    for (const QByteArray &line : relay.requests())
        requestBytes += line.size();
    qsizetype largestAnswer = 0;
    for (const QByteArray &line : relay.answers()) {
        answerBytes += line.size();
        largestAnswer = std::max(largestAnswer, line.size());
    }
    int mismatches = 0;
    QList<double> floorRuns;
    qint64 floorTrips = 0;
    for (int r = 0; r < repeats; ++r) {
        const auto [seconds, timed] = floorRun(relay, &mismatches);
        floorRuns.append(seconds);
        floorTrips = timed;
    }
    const double floorSeconds = quantile(floorRuns, 0.5);
    QJsonObject floorParams = params;
    floorParams.insert(u"round_trips"_s, floorTrips);
    floorParams.insert(u"request_bytes"_s, requestBytes);
    floorParams.insert(u"answer_bytes"_s, answerBytes);
    floorParams.insert(u"largest_answer_bytes"_s, largestAnswer);
    floorParams.insert(u"replay_mismatches"_s, mismatches);
    report(u"floor_seconds"_s, floorSeconds, u"s"_s, floorParams);
    report(u"floor_us_per_call"_s, floorSeconds * 1e6 / double(floorTrips), u"us"_s, floorParams);
    report(u"copy_over_floor"_s, run.seconds / floorSeconds, u"ratio"_s, floorParams);
    if (floorTrips != trips)
        die(u"the floor made %1 round trips, the copy %2"_s.arg(floorTrips).arg(trips));
    return 0;
}

int concurrent(const BenchArgs &args)
{
    const QString url = args.text(u"url"_s), db = args.text(u"db"_s, u"sqlite"_s);
    const int clients = args.number(u"clients"_s, 1);
    const QDate destination = Origin.addDays(args.number(u"day"_s, 1));
    const Shape shape = seededShape(url);
    auto server = startServer(url, clients + 2);

    std::vector<CopyRunResult> results(static_cast<size_t>(clients));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int c = 0; c < clients; ++c) {
        // contiguous, disjoint ranges of patients
        QStringList codes;
        for (qint64 p = shape.patients * c / clients; p < shape.patients * (c + 1) / clients; ++p)
            codes << u'_' + BenchSeeder::patientCode(int(p)) + u'_';
        const CopyRunRequest request{server->port(), Origin, destination, codes.join(QString())};
        threads.emplace_back(QThread::create([request, &results, c] { results[size_t(c)] = runCopy(request); }));
    }
    const double started = monotonicSeconds();
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        thread->wait();
    const double seconds = monotonicSeconds() - started;
    const qint64 serverPeak = peakRssKiB(server->processId());
    server->stop();

    qint64 services = 0, items = 0, errors = 0;
    for (const CopyRunResult &result : results) {
        services += result.services;
        items += result.items;
        if (!result.ok) {
            ++errors;
            std::fprintf(stderr, "client error: %s\n", qPrintable(result.error));
        }
    }
    auto database = Database::open(url, u"bench-check"_s);
    const qint64 rows = count(*database, u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = :DAY"_s, destination);
    const qint64 distinctRows = count(
        *database, u"SELECT COUNT(*) FROM (SELECT DISTINCT CDPACIENTE, CDSERVFILI, CDDIETPAD FROM SERVINTE WHERE DTSERVINTE = :DAY) D"_s,
        destination);
    const qint64 itemRows = count(*database, u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = :DAY"_s, destination);
    // every origin service exactly once at the destination, with all its items
    const qint64 lost = shape.services - distinctRows;
    const qint64 duplicated = rows - distinctRows;

    QJsonObject params = shape.params(db);
    params.insert(u"clients"_s, clients);
    report(u"concurrent_services_per_second"_s, double(services) / seconds, u"services/s"_s, params);
    report(u"concurrent_seconds"_s, seconds, u"s"_s, params);
    report(u"concurrent_errors"_s, double(errors), u"errors"_s, params);
    QJsonObject checkParams = params;
    checkParams.insert(u"destination_services"_s, rows);
    checkParams.insert(u"destination_items"_s, itemRows);
    checkParams.insert(u"expected_items"_s, shape.items);
    report(u"concurrent_lost_services"_s, double(lost), u"rows"_s, checkParams);
    report(u"concurrent_duplicated_services"_s, double(duplicated), u"rows"_s, checkParams);
    report(u"concurrent_lost_items"_s, double(shape.items - itemRows), u"rows"_s, checkParams);
    report(u"server_peak_rss"_s, double(serverPeak) / 1024.0, u"MiB"_s, params);
    return 0;
}

int open(const BenchArgs &args)
{
    const QString url = args.text(u"url"_s), db = args.text(u"db"_s, u"sqlite"_s);
    const int samples = args.number(u"samples"_s, 300);
    auto server = startServer(url);
    QList<double> activation;
    for (int i = 0; i < samples; ++i) {
        TNetConnection connection;
        connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
        connection.Host = u"127.0.0.1"_s;
        connection.Port = server->port();
        CopyServiceClient service(connection);
        TClientDataSet cdsNutricio(u"cdsNutricio"_s);
        declareFields(cdsNutricio, CopyService::nutricioLayout());
        QString filial = BenchSeeder::Branch;
        const double started = monotonicSeconds();
        connection.SetConnected(true);
        service.getNutricio(BenchSeeder::Operator, filial, cdsNutricio);
        activation.append((monotonicSeconds() - started) * 1e3);
        if (cdsNutricio.IsEmpty())
            die(u"getNutricio found no nutritionist"_s);
    }
    const QJsonObject params{{u"db"_s, db}, {u"samples"_s, samples}};
    report(u"first_activation_median"_s, quantile(activation, 0.5), u"ms"_s, params);
    report(u"first_activation_p99"_s, quantile(activation, 0.99), u"ms"_s, params);

    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connection.Host = u"127.0.0.1"_s;
    connection.Port = server->port();
    connection.SetConnected(true);
    CopyServiceClient service(connection);
    TClientDataSet cdsPaciente(u"cdsPaciente"_s);
    declareFields(cdsPaciente, CopyService::pacienteLayout());
    QList<double> lookups;
    qsizetype rows = 0;
    for (int i = 0; i < 20; ++i) {
        QString filial = BenchSeeder::Branch;
        const double started = monotonicSeconds();
        service.getPaciente(filial, cdsPaciente);
        lookups.append((monotonicSeconds() - started) * 1e3);
        rows = cdsPaciente.RecordCount();
    }
    QJsonObject lookupParams{{u"db"_s, db}, {u"samples"_s, 20}, {u"in_patients"_s, rows}};
    report(u"getPaciente_median"_s, quantile(lookups, 0.5), u"ms"_s, lookupParams);
    report(u"getPaciente_max"_s, quantile(lookups, 1.0), u"ms"_s, lookupParams);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString command = arguments.value(1);
    const BenchArgs args(arguments.mid(2));
    try {
        if (command == u"seed"_s)
            return seed(args);
        if (command == u"copy"_s)
            return copy(args);
        if (command == u"concurrent"_s)
            return concurrent(args);
        if (command == u"open"_s)
            return open(args);
    } catch (const EHouseError &failure) {
        die(failure.message());
    }
    die(u"usage: rbx53207-bench seed|copy|concurrent|open --url URL ..."_s);
}
