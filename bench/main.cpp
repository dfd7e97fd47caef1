// Benchmarks of the copy service, one JSON line per figure on standard output:
//   seed       --url U --patients P --services S --items I [--beds B]
//   copy       --url U --db NAME [--path server|calls|classic] [--day D] [--repeats R] [--floor]
//              [--db-floor] [--bare-floor] [--group-services G] [--rtt-ms T] [--sample-patients K]
//              the copy of the seeded day (of its first K patients, scaled to the day), its
//              replay floor, its database floor and the bare floors of its rows (one sync per
//              service, and batched), or the copy over a relay adding T ms a round trip
//   concurrent --url U --db NAME --clients N --day D [--path P] [--servers 2] [--overlap]
//              [--rtt-ms T] [--one-client-rate R]
//              N clients over disjoint patients (over shared ones in pairs, with --overlap),
//              split between the servers; the destination day checked row by row
//   open       --url U --db NAME [--samples N]    first activation and getPaciente
//   relay      [--rtt-ms T] [--burst N] [--bulk-mib M]   the delay relay itself, against an echo
//
// --path: server (the client lets the server copy each service), calls (the client makes the
// nine calls itself) or classic (the nine calls, to a server offering only those).
#include "BareFloor.h"
#include "BenchArgs.h"
#include "BenchReport.h"
#include "BenchSeeder.h"
#include "CopyRun.h"
#include <remote/CopyServiceClient.h>
#include "DbFloor.h"
#include <copy/FormulationCopy.h>
#include "DelayRelay.h"
#include <db/Database.h>
#include <protocol/HouseError.h>
#include "LoopbackSocket.h"
#include "LoopbackThread.h"
#include <protocol/OleDate.h>
#include "RecordingRelay.h"
#include "ReplayServer.h"
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>
#include <support/TestServer.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// The day the seeded prescriptions are for; the copies go to the days after it.
const QDate Origin(2026, 3, 2);
// The server's copy of one service, offered in rpc.open's list when the server has it.
const QString ServiceCopyMethod = CopyService::method(CopyService::MethodId::CopServInte).name;

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

std::unique_ptr<TestServer> startServer(const QString &url, int maxConnections = 0, const QStringList &arguments = {})
{
    auto server = std::make_unique<TestServer>();
    TestServerOptions options;
    options.maxConnections = maxConnections;
    options.extraArguments = arguments;
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

// A recorded message with its ids moved back by `shift`: the replay's single rpc.open leaves
// out the login's later messages, so every later request the replay sends has an id that much
// lower. Encoded as the client encodes, so that its requests match byte for byte.
QByteArray renumbered(const QByteArray &message, qint64 shift)
{
    if (shift == 0)
        return message;
    const auto moved = [shift](QJsonObject object) {
        if (object.contains(u"id"_s))
            object.insert(u"id"_s, object.value(u"id"_s).toDouble() - double(shift));
        return object;
    };
    const QJsonDocument document = QJsonDocument::fromJson(message);
    if (document.isArray()) {
        QJsonArray batch;
        for (const QJsonValue &member : document.array())
            batch.append(moved(member.toObject()));
        return Wire::frame(batch);
    }
    return Wire::frame(moved(document.object()));
}

// Replays the recorded requests through the client transport against a server that only
// answers; returns the seconds from getServInte to the last answer and the requests timed.
// inFlight: each request goes as soon as the answers the client had before it are in, as the
// client sent them; otherwise one call at a time.
std::pair<double, qint64> floorRun(const RecordingRelay &relay, bool inFlight, int *mismatches)
{
    // The replay signs in as no one: the recorded login (rpc.open with the first SASL message,
    // then rpc.auth) becomes one rpc.open, answered as the login's last step was.
    const QList<QByteArray> &requests = relay.requests();
    qsizetype first = 1;
    while (first < requests.size()
           && QJsonDocument::fromJson(requests.at(first)).object().value(u"method"_s).toString()
                  == QLatin1String(Wire::AuthMethod))
        ++first;
    std::vector<ReplayCall> calls;
    for (qsizetype i = first; i < requests.size(); ++i)
        calls.push_back(callOf(requests.at(i)));
    QList<QByteArray> expected{requests.constFirst()}, answers{relay.answers().at(first - 1)};
    for (qsizetype i = first; i < requests.size(); ++i) {
        expected.append(renumbered(requests.at(i), first - 1));
        answers.append(renumbered(relay.answers().at(i), first - 1));
    }
    ReplayServer replay(expected, answers);
    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connection.Host = u"127.0.0.1"_s;
    connection.Port = replay.start();
    connection.SetConnected(true);
    // the callers' own variables for the texts that go by reference, alive until the answer
    std::vector<std::vector<QString>> variables(calls.size());
    std::deque<TNetConnection::Pending> pending;
    qsizetype answered = 1; // rpc.open's
    const auto receive = [&] {
        CheckResultServ(connection.Receive(pending.front()));
        pending.pop_front();
        ++answered;
    };
    double started = 0;
    qint64 timed = 0;
    for (size_t c = 0; c < calls.size(); ++c) {
        const ReplayCall &call = calls[c];
        if (call.method == CopyService::method(CopyService::MethodId::getServInte).name)
            started = monotonicSeconds();
        variables[c].resize(size_t(call.args.size()));
        QList<RemoteArg> args;
        for (qsizetype i = 0; i < call.args.size(); ++i) {
            const Wire::Arg &arg = call.args.at(i);
            switch (arg.kind) {
            case Wire::Arg::Kind::Text:
                if (arg.byRef) {
                    variables[c][size_t(i)] = arg.text;
                    args.append(RemoteArg::TextRef(variables[c][size_t(i)]));
                } else {
                    args.append(RemoteArg::Text(arg.text));
                }
                break;
            case Wire::Arg::Kind::Date: args.append(RemoteArg::Date(arg.number)); break;
            case Wire::Arg::Kind::Double: args.append(RemoteArg::Double(arg.number)); break;
            }
        }
        if (inFlight) {
            while (answered < relay.answersBefore().at(qsizetype(c) + first) - (first - 1))
                receive();
            pending.push_back(connection.Send(call.method, args));
        } else {
            CheckResultServ(connection.Call(call.method, args));
            ++answered;
        }
        if (started > 0)
            ++timed;
    }
    while (!pending.empty())
        receive();
    const double seconds = monotonicSeconds() - started;
    connection.SetConnected(false);
    replay.wait();
    *mismatches = replay.mismatches();
    return {seconds, timed};
}

// The client's way through the service, and the server that goes with it.
struct CopyPath
{
    QString name;            // "server", "calls" or "classic"
    bool callByCall = false; // the client told to make the nine calls
    QStringList serverArguments;
    bool nineCalls() const { return name != u"server"_s; }
    // a server of the original contract offers no AbreExecucao and FechaExecucao
    bool namesRuns() const { return name != u"classic"_s; }
};

CopyPath copyPath(const BenchArgs &args)
{
    const QString name = args.text(u"path"_s, u"server"_s);
    // the server's group commit as asked, its default otherwise
    if (const QString group = args.text(u"group-services"_s, {}); name == u"server"_s && !group.isEmpty())
        return {name, false, {u"--group-services"_s, group}};
    if (name == u"server"_s)
        return {name, false, {}};
    if (name == u"calls"_s)
        return {name, true, {}};
    // a server of the original contract: the client finds no service copy there
    if (name == u"classic"_s)
        return {name, false, {u"--classic-methods"_s}};
    die(u"--path is server, calls or classic"_s);
}

// A figure measured on one path must not come from the other.
void checkPath(quint16 port, const CopyPath &path)
{
    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connection.Host = u"127.0.0.1"_s;
    connection.Port = port;
    BenchSeeder::signIn(connection);
    connection.SetConnected(true);
    const bool offered = connection.Offers(ServiceCopyMethod);
    connection.SetConnected(false);
    if (path.name == u"server"_s && !offered)
        die(u"the server offers no %1: the server-side copy cannot be measured"_s.arg(ServiceCopyMethod));
    if (path.name == u"classic"_s && offered)
        die(u"started with --classic-methods, the server still offers %1"_s.arg(ServiceCopyMethod));
}

// What the server logged of the statements of each session it closed, in order.
struct SessionStatements
{
    qint64 run = 0, prepared = 0;
};

// Waits until the server has logged the close of `sessions` sessions in all (its statement
// counts come before each close) and returns every statement count logged, in order.
QList<SessionStatements> loggedStatements(const TestServer &server, qsizetype sessions)
{
    static const QRegularExpression closed(u"\\d+ requests, \\d+ failed"_s);
    static const QRegularExpression counted(u"statements (\\d+) run, (\\d+) prepared"_s);
    const QDeadlineTimer deadline(10000);
    for (;;) {
        const QString log = server.log();
        qsizetype closes = 0;
        for (auto match = closed.globalMatch(log); match.hasNext(); match.next())
            ++closes;
        if (closes >= sessions || deadline.hasExpired()) {
            QList<SessionStatements> found;
            for (auto match = counted.globalMatch(log); match.hasNext();) {
                const QRegularExpressionMatch line = match.next();
                found.append({line.captured(1).toLongLong(), line.captured(2).toLongLong()});
            }
            return found;
        }
        QThread::msleep(20);
    }
}

// The expected services and items of the first `patients` patients of the seeded day.
std::pair<qint64, qint64> shareOf(const Shape &shape, qint64 patients)
{
    return {shape.services * patients / shape.patients, shape.items * patients / shape.patients};
}

int copy(const BenchArgs &args)
{
    const QString url = args.text(u"url"_s), db = args.text(u"db"_s, u"sqlite"_s);
    const CopyPath path = copyPath(args);
    const double rttMs = args.text(u"rtt-ms"_s, u"0"_s).toDouble();
    // a rerun to the same day numbers the services after those it replaces: days apart keep
    // the sequences within their two digits
    const QDate destination = Origin.addDays(std::max(1, args.number(u"day"_s, 1)));
    const Shape shape = seededShape(url);
    if (shape.patients <= 0)
        die(u"the seeded day holds no patients"_s);
    // a smaller day of the same patients' services, its time scaled to the whole day
    const qint64 sample = std::clamp<qint64>(args.number(u"sample-patients"_s, 0), 0, shape.patients);
    const bool whole = sample == 0 || sample == shape.patients;
    const qint64 patients = whole ? shape.patients : sample;
    if (rttMs > 0 && (args.flag(u"floor"_s) || args.flag(u"db-floor"_s)))
        die(u"the floors are measured on plain loopback: leave out --rtt-ms"_s);

    auto server = startServer(url, 0, path.serverArguments);
    checkPath(server->port(), path);
    qsizetype sessions = 1; // the check's
    std::unique_ptr<DelayRelay> relay;
    quint16 port = server->port();
    if (rttMs > 0) {
        relay = std::make_unique<DelayRelay>(server->port(), rttMs);
        port = relay->start();
        if (port == 0)
            die(u"the delay relay did not start"_s);
    }
    const CopyRunRequest request{port, Origin, destination, whole ? QString() : patientRange(0, sample),
                                 path.callByCall};
    const qint64 self = QCoreApplication::applicationPid();
    // the machine is shared: the median of a few runs (a rerun deletes and inserts the same
    // services again, so it makes the same calls)
    const int repeats = std::max(1, args.number(u"repeats"_s, 1));
    const double serverCpu = cpuSeconds(server->processId()), clientCpu = cpuSeconds(self);
    CopyRunResult run;
    QList<double> runSeconds;
    for (int r = 0; r < repeats; ++r) {
        run = runCopy(request);
        if (!run.ok)
            die(u"copy failed: "_s + run.error);
        runSeconds.append(run.seconds);
    }
    sessions += repeats;
    const double serverCpuUsed = (cpuSeconds(server->processId()) - serverCpu) / repeats;
    const double clientCpuUsed = (cpuSeconds(self) - clientCpu) / repeats;
    run.seconds = quantile(runSeconds, 0.5);
    const auto [expectedServices, expectedItems] = shareOf(shape, patients);
    if (run.services != expectedServices || run.items != expectedItems)
        die(u"the copy moved %1 services and %2 items of %3 and %4"_s.arg(run.services).arg(run.items)
                .arg(expectedServices).arg(expectedItems));

    QJsonObject params = shape.params(db);
    params.insert(u"path"_s, path.name);
    params.insert(u"repeats"_s, repeats);
    params.insert(u"fastest_s"_s, runSeconds.constFirst());
    params.insert(u"slowest_s"_s, runSeconds.constLast());
    if (rttMs > 0)
        params.insert(u"rtt_ms"_s, rttMs);
    if (const QString group = args.text(u"group-services"_s, {}); path.name == u"server"_s && !group.isEmpty())
        params.insert(u"group_services"_s, group.toInt());
    if (!whole) {
        params.insert(u"copied_patients"_s, patients);
        params.insert(u"copied_services"_s, run.services);
    }
    const auto perService = [&run](double seconds) { return seconds * 1e6 / double(run.services); };
    report(whole ? u"copy_seconds"_s : u"copy_sample_seconds"_s, run.seconds, u"s"_s, params);
    report(u"copy_us_per_service"_s, perService(run.seconds), u"us"_s, params);
    // where a service's time goes: the two processes' CPU, the rest is waiting (disk syncs,
    // wake-ups, the relay's delay)
    report(u"copy_server_cpu_us_per_service"_s, perService(serverCpuUsed), u"us"_s, params);
    report(u"copy_client_cpu_us_per_service"_s, perService(clientCpuUsed), u"us"_s, params);
    double usPerRoundTrip = 0;
    if (path.nineCalls()) {
        const qint64 trips = roundTrips(run.services, run.items, path.namesRuns());
        usPerRoundTrip = run.seconds * 1e6 / double(trips);
        QJsonObject callParams = params;
        callParams.insert(u"round_trips"_s, trips);
        report(u"copy_calls"_s, double(specifiedCalls(run.services, run.items)), u"calls"_s, callParams);
        report(u"copy_round_trips"_s, double(trips), u"round trips"_s, params);
        report(u"copy_us_per_round_trip"_s, usPerRoundTrip, u"us"_s, callParams);
        report(u"copy_server_cpu_us_per_round_trip"_s, serverCpuUsed * 1e6 / double(trips), u"us"_s, callParams);
        report(u"copy_client_cpu_us_per_round_trip"_s, clientCpuUsed * 1e6 / double(trips), u"us"_s, callParams);
    }
    if (!whole) {
        // not measured: the sample's cost per round trip (per service on the server-side path,
        // whose round trips depend on how many calls are in flight) times the whole day's
        QJsonObject extrapolated = params;
        extrapolated.insert(u"extrapolated"_s, true);
        extrapolated.insert(u"extrapolated_per"_s, path.nineCalls() ? u"round trip"_s : u"service"_s);
        if (path.nineCalls())
            extrapolated.insert(u"day_round_trips"_s, roundTrips(shape.services, shape.items, path.namesRuns()));
        const double daySeconds = path.nineCalls()
                                      ? usPerRoundTrip * double(roundTrips(shape.services, shape.items, path.namesRuns())) / 1e6
                                      : perService(run.seconds) * double(shape.services) / 1e6;
        report(u"copy_seconds_extrapolated"_s, daySeconds, u"s"_s, extrapolated);
    }
    report(u"client_peak_rss"_s, double(ownPeakRssKiB()) / 1024.0, u"MiB"_s, params);
    report(u"server_peak_rss_one_client"_s, double(peakRssKiB(server->processId())) / 1024.0, u"MiB"_s, params);

    // the server's statements per service, warm: a session copying one patient's services
    // against the last timed one, so that what a session does once (its first statements,
    // the open, the day's list) drops out of the difference
    // the day's session is logged before the next one starts, so that the two come in order
    const qsizetype before = loggedStatements(*server, sessions).size();
    const CopyRunResult one = runCopy({server->port(), Origin, destination, patientRange(0, 1), path.callByCall});
    if (!one.ok)
        die(u"the one-patient copy failed: "_s + one.error);
    ++sessions;
    const QList<SessionStatements> logged = loggedStatements(*server, sessions);
    if (before > 0 && logged.size() == before + 1 && run.services > one.services) {
        const SessionStatements &day = logged.at(before - 1), &single = logged.at(before);
        const double services = double(run.services - one.services);
        QJsonObject statementParams = params;
        statementParams.insert(u"session_statements_run"_s, day.run);
        statementParams.insert(u"session_statements_prepared"_s, day.prepared);
        statementParams.insert(u"one_patient_statements_run"_s, single.run);
        statementParams.insert(u"one_patient_statements_prepared"_s, single.prepared);
        report(u"server_statements_per_service"_s, double(day.run - single.run) / services, u"statements"_s,
               statementParams);
        report(u"server_prepared_per_service_warm"_s, double(day.prepared - single.prepared) / services,
               u"statements"_s, statementParams);
    } else {
        std::fflush(stdout);
        std::fprintf(stderr, "# the server logs no statement counts: none reported\n");
    }

    if (args.flag(u"db-floor"_s)) {
        if (!whole)
            die(u"the database floor copies the whole day: leave out --sample-patients"_s);
        QList<double> floorRuns;
        DbFloorResult floor;
        for (int r = 0; r < repeats; ++r) {
            floor = dbFloorCopy({url, Origin, destination, BenchSeeder::Branch, BenchSeeder::Operator,
                                 modeArgument(BenchSeeder::EnteralMode)});
            floorRuns.append(floor.seconds);
        }
        if (floor.services != shape.services || floor.items != shape.items)
            die(u"the database floor copied %1 services and %2 items of %3 and %4"_s.arg(floor.services)
                    .arg(floor.items).arg(shape.services).arg(shape.items));
        const double floorSeconds = quantile(floorRuns, 0.5);
        QJsonObject floorParams = params;
        floorParams.insert(u"fastest_s"_s, floorRuns.constFirst());
        floorParams.insert(u"slowest_s"_s, floorRuns.constLast());
        floorParams.insert(u"statements"_s, floor.statements);
        floorParams.insert(u"statements_prepared"_s, floor.prepared);
        report(u"db_floor_seconds"_s, floorSeconds, u"s"_s, floorParams);
        report(u"db_floor_us_per_service"_s, floorSeconds * 1e6 / double(floor.services), u"us"_s, floorParams);
        report(u"copy_over_db_floor"_s, run.seconds / floorSeconds, u"ratio"_s, floorParams);
    }
    if (args.flag(u"bare-floor"_s)) {
        if (!whole)
            die(u"the bare floors write the whole day: leave out --sample-patients"_s);
        for (const int perCommit : {1, 64}) {
            QList<double> floorRuns;
            for (int r = 0; r < repeats; ++r)
                floorRuns.append(bareFloorSeconds({url, shape.services, shape.items, perCommit}));
            const double floorSeconds = quantile(floorRuns, 0.5);
            QJsonObject floorParams = params;
            floorParams.insert(u"services_per_commit"_s, perCommit);
            floorParams.insert(u"fastest_s"_s, floorRuns.constFirst());
            floorParams.insert(u"slowest_s"_s, floorRuns.constLast());
            const QString name = perCommit == 1 ? u"bare_floor_one_sync"_s : u"bare_floor_batched"_s;
            report(name + u"_seconds"_s, floorSeconds, u"s"_s, floorParams);
            report(u"copy_over_"_s + name, run.seconds / floorSeconds, u"ratio"_s, floorParams);
        }
    }
    if (!args.flag(u"floor"_s))
        return 0;

    // the same copy again through a recording relay: a rerun sends the same calls with
    // messages of the same sizes, since each service is deleted before it is inserted
    RecordingRelay recorder(server->port());
    const quint16 recorderPort = recorder.start();
    const CopyRunResult recorded = runCopy({recorderPort, Origin, destination, {}, path.callByCall});
    recorder.wait();
    if (!recorded.ok)
        die(u"recorded copy failed: "_s + recorded.error);
    if (recorder.requests().size() != recorder.answers().size())
        die(u"relay saw %1 requests and %2 answers"_s.arg(recorder.requests().size()).arg(recorder.answers().size()));
    qint64 requestBytes = 0, answerBytes = 0;
    for (const QByteArray &line : recorder.requests())
        requestBytes += line.size();
    qsizetype largestAnswer = 0;
    for (const QByteArray &line : recorder.answers()) {
        answerBytes += line.size();
        largestAnswer = std::max(largestAnswer, line.size());
    }
    int mismatches = 0;
    QList<double> floorRuns;
    qint64 floorRequests = 0;
    for (int r = 0; r < repeats; ++r) {
        // the nine calls one after the other; the calls the client had in flight together go
        // so again
        const auto [seconds, timed] = floorRun(recorder, !path.nineCalls(), &mismatches);
        floorRuns.append(seconds);
        floorRequests = timed;
    }
    const double floorSeconds = quantile(floorRuns, 0.5);
    QJsonObject floorParams = params;
    floorParams.insert(u"fastest_s"_s, floorRuns.constFirst());
    floorParams.insert(u"slowest_s"_s, floorRuns.constLast());
    floorParams.insert(u"replay"_s, path.nineCalls() ? u"one call at a time"_s : u"calls in flight as recorded"_s);
    floorParams.insert(u"requests"_s, floorRequests);
    floorParams.insert(u"request_bytes"_s, requestBytes);
    floorParams.insert(u"answer_bytes"_s, answerBytes);
    floorParams.insert(u"largest_answer_bytes"_s, largestAnswer);
    floorParams.insert(u"replay_mismatches"_s, mismatches);
    report(u"floor_seconds"_s, floorSeconds, u"s"_s, floorParams);
    report(u"floor_us_per_service"_s, floorSeconds * 1e6 / double(recorded.services), u"us"_s, floorParams);
    if (path.nineCalls()) {
        QJsonObject tripParams = floorParams;
        tripParams.insert(u"round_trips"_s, floorRequests);
        report(u"floor_us_per_round_trip"_s, floorSeconds * 1e6 / double(floorRequests), u"us"_s, tripParams);
        if (floorRequests != roundTrips(run.services, run.items, path.namesRuns()))
            die(u"the floor made %1 round trips, the copy %2"_s.arg(floorRequests).arg(roundTrips(run.services, run.items, path.namesRuns())));
    }
    report(u"copy_over_floor"_s, run.seconds / floorSeconds, u"ratio"_s, floorParams);
    return 0;
}

// Rows of the destination day against the origin's, by SQL.
struct DayCheck
{
    qint64 services = 0, distinct = 0, items = 0, lost = 0, incomplete = 0;
};

DayCheck checkDay(const QString &url, const QDate &destination)
{
    auto database = Database::open(url, u"bench-check"_s);
    const auto value = [&database, &destination](const QString &sql) {
        SqlStatement query(database->sql(), sql);
        query.bind(u":DAY"_s, database->dialect().dateTimeValue(OleDate::fromDate(destination)));
        if (sql.contains(u":ORIGIN"_s))
            query.bind(u":ORIGIN"_s, database->dialect().dateTimeValue(OleDate::fromDate(Origin)));
        query.exec();
        const qint64 result = query.next() ? query.value(0).toLongLong() : -1;
        query.finish();
        return result;
    };
    const QString sameService = u"D.CDPACIENTE = O.CDPACIENTE AND D.CDFILIAL = O.CDFILIAL AND D.CDSERVFILI = O.CDSERVFILI"
                                u" AND D.CDDIETPAD = O.CDDIETPAD AND D.DTSERVINTE = :DAY"_s;
    const auto itemsOf = [](const QString &alias) {
        return u"(SELECT COUNT(*) FROM CONFESCO C WHERE C.CDPACIENTE = %1.CDPACIENTE AND C.DTSERVINTE = %1.DTSERVINTE"
               u" AND C.NRSEQUSERV = %1.NRSEQUSERV AND C.CDFILIAL = %1.CDFILIAL)"_s.arg(alias);
    };
    DayCheck check;
    check.services = value(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = :DAY"_s);
    check.distinct = value(u"SELECT COUNT(*) FROM (SELECT DISTINCT CDPACIENTE, CDSERVFILI, CDDIETPAD FROM SERVINTE"
                           u" WHERE DTSERVINTE = :DAY) D"_s);
    check.items = value(u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = :DAY"_s);
    check.lost = value(u"SELECT COUNT(*) FROM SERVINTE O WHERE O.DTSERVINTE = :ORIGIN"
                       u" AND NOT EXISTS (SELECT 1 FROM SERVINTE D WHERE "_s + sameService + u")"_s);
    // a copy whose items are not exactly the origin's count: some lost, or copied twice
    check.incomplete = value(u"SELECT COUNT(*) FROM SERVINTE O JOIN SERVINTE D ON "_s + sameService +
                             u" WHERE O.DTSERVINTE = :ORIGIN AND "_s + itemsOf(u"O"_s) + u" <> "_s + itemsOf(u"D"_s));
    return check;
}

int concurrent(const BenchArgs &args)
{
    const QString url = args.text(u"url"_s), db = args.text(u"db"_s, u"sqlite"_s);
    const CopyPath path = copyPath(args);
    const int clients = args.number(u"clients"_s, 1);
    const int serverCount = args.number(u"servers"_s, 1);
    const bool overlap = args.flag(u"overlap"_s);
    const double rttMs = args.text(u"rtt-ms"_s, u"0"_s).toDouble();
    const double oneClientRate = args.text(u"one-client-rate"_s, u"0"_s).toDouble();
    const QDate destination = Origin.addDays(args.number(u"day"_s, 1));
    if (clients < 1 || serverCount < 1)
        die(u"--clients and --servers are at least 1"_s);
    if (overlap && clients % 2 != 0)
        die(u"--overlap pairs the clients: give an even number"_s);
    const Shape shape = seededShape(url);

    std::vector<std::unique_ptr<TestServer>> servers;
    std::vector<std::unique_ptr<DelayRelay>> relays;
    std::vector<quint16> ports;
    for (int s = 0; s < serverCount; ++s) {
        servers.push_back(startServer(url, clients + 2, path.serverArguments));
        checkPath(servers.back()->port(), path);
        ports.push_back(servers.back()->port());
        if (rttMs > 0) {
            relays.push_back(std::make_unique<DelayRelay>(ports.back(), rttMs));
            ports.back() = relays.back()->start();
            if (ports.back() == 0)
                die(u"the delay relay did not start"_s);
        }
    }

    // contiguous, disjoint ranges of patients; overlapping, clients c and c + N/2 share one
    const int ranges = overlap ? clients / 2 : clients;
    std::vector<CopyRunResult> results(static_cast<size_t>(clients));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int c = 0; c < clients; ++c) {
        const int range = c % ranges;
        const CopyRunRequest request{ports[size_t(c % serverCount)], Origin, destination,
                                     patientRange(shape.patients * range / ranges, shape.patients * (range + 1) / ranges),
                                     path.callByCall};
        threads.emplace_back(QThread::create([request, &results, c] { results[size_t(c)] = runCopy(request); }));
    }
    const CoreTimes coresBefore = coreTimes();
    const double started = monotonicSeconds();
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        thread->wait();
    const double seconds = monotonicSeconds() - started;
    const CoreTimes coresAfter = coreTimes();
    qint64 serverPeak = 0;
    for (const auto &server : servers)
        serverPeak = std::max(serverPeak, peakRssKiB(server->processId()));
    for (const auto &relay : relays)
        relay->stop();
    for (const auto &server : servers)
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
    const DayCheck day = checkDay(url, destination);

    QJsonObject params = shape.params(db);
    params.insert(u"clients"_s, clients);
    params.insert(u"path"_s, path.name);
    if (serverCount > 1)
        params.insert(u"servers"_s, serverCount);
    if (overlap)
        params.insert(u"overlap"_s, true);
    if (rttMs > 0)
        params.insert(u"rtt_ms"_s, rttMs);
    QJsonObject rateParams = params;
    // overlapping clients copy every service twice: this counts what the clients copied
    rateParams.insert(u"copied_services"_s, services);
    rateParams.insert(u"copied_items"_s, items);
    const double rate = double(services) / seconds;
    report(u"concurrent_services_per_second"_s, rate, u"services/s"_s, rateParams);
    report(u"concurrent_seconds"_s, seconds, u"s"_s, rateParams);
    // how much of the machine the copies left idle: where none is, more clients cannot go faster
    if (coresBefore.total >= 0 && coresAfter.total > coresBefore.total)
        report(u"concurrent_cores_busy"_s,
               100.0 * double(coresAfter.busy - coresBefore.busy) / double(coresAfter.total - coresBefore.total),
               u"%"_s, params);
    if (oneClientRate > 0) {
        QJsonObject ratioParams = params;
        ratioParams.insert(u"one_client_services_per_second"_s, oneClientRate);
        report(u"concurrent_over_one_client"_s, rate / oneClientRate, u"ratio"_s, ratioParams);
    }
    report(u"concurrent_errors"_s, double(errors), u"errors"_s, params);
    // every origin service exactly once at the destination, with all its items
    QJsonObject checkParams = params;
    checkParams.insert(u"destination_services"_s, day.services);
    checkParams.insert(u"destination_items"_s, day.items);
    checkParams.insert(u"expected_items"_s, shape.items);
    report(u"concurrent_lost_services"_s, double(day.lost), u"rows"_s, checkParams);
    report(u"concurrent_duplicated_services"_s, double(day.services - day.distinct), u"rows"_s, checkParams);
    report(u"concurrent_lost_items"_s, double(shape.items - day.items), u"rows"_s, checkParams);
    report(u"concurrent_services_with_wrong_items"_s, double(day.incomplete), u"rows"_s, checkParams);
    report(u"server_peak_rss"_s, double(serverPeak) / 1024.0, u"MiB"_s, params);
    return 0;
}

// The delay relay's own behaviour against a server that echoes at once: one message, many sent
// together (one round trip, not one each) and a bulk transfer, so that its figures can be read
// against what it adds to a copy.
int relay(const BenchArgs &args)
{
    const double rttMs = args.text(u"rtt-ms"_s, u"20"_s).toDouble();
    const int burst = std::max(1, args.number(u"burst"_s, 100));
    const qint64 bulkBytes = qint64(std::max(1, args.number(u"bulk-mib"_s, 64))) << 20;
    LoopbackThread echo;
    const quint16 echoPort = echo.start([](int listener) {
        const int fd = LoopbackSocket::acceptOne(listener);
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0 || !LoopbackSocket::writeAll(fd, QByteArray::fromRawData(buffer, got)))
                break;
        }
        LoopbackSocket::closeFd(fd);
    });
    DelayRelay delay(echoPort, rttMs);
    const int fd = LoopbackSocket::connectTo(delay.start());
    if (echoPort == 0 || fd < 0)
        die(u"the echo server or the relay did not start"_s);
    // waits for `bytes` echoed bytes; false when the connection ended first
    const auto await = [fd](qint64 bytes) {
        char buffer[65536];
        while (bytes > 0) {
            const ssize_t got = ::read(fd, buffer, size_t(std::min<qint64>(bytes, sizeof buffer)));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            bytes -= got;
        }
        return true;
    };
    const QByteArray message(200, 'x');
    QList<double> single;
    for (int i = 0; i < 10; ++i) {
        const double started = monotonicSeconds();
        LoopbackSocket::writeAll(fd, message);
        if (!await(message.size()))
            die(u"the relay lost the echo"_s);
        single.append((monotonicSeconds() - started) * 1e3);
    }
    double started = monotonicSeconds();
    for (int i = 0; i < burst; ++i)
        LoopbackSocket::writeAll(fd, message);
    if (!await(qint64(message.size()) * burst))
        die(u"the relay lost the echo"_s);
    const double burstMs = (monotonicSeconds() - started) * 1e3;
    // the bulk goes from a thread of its own while this one reads the echo back
    started = monotonicSeconds();
    std::thread writer([fd, bulkBytes] {
        const QByteArray chunk(1 << 16, 'y');
        for (qint64 sent = 0; sent < bulkBytes; sent += chunk.size())
            LoopbackSocket::writeAll(fd, chunk);
    });
    const bool bulkOk = await(bulkBytes);
    writer.join();
    const double bulkSeconds = monotonicSeconds() - started;
    ::shutdown(fd, SHUT_WR);
    await(1); // the end, once the echo server has closed
    LoopbackSocket::closeFd(fd);
    delay.stop();
    echo.wait();
    if (!bulkOk)
        die(u"the relay lost bulk bytes"_s);
    const QJsonObject params{{u"rtt_ms"_s, rttMs}, {u"message_bytes"_s, message.size()}};
    report(u"relay_round_trip_median"_s, quantile(single, 0.5), u"ms"_s, params);
    QJsonObject burstParams = params;
    burstParams.insert(u"messages"_s, burst);
    report(u"relay_burst_ms"_s, burstMs, u"ms"_s, burstParams);
    report(u"relay_throughput"_s, double(bulkBytes) / double(1 << 20) / bulkSeconds, u"MiB/s"_s,
           {{u"rtt_ms"_s, rttMs}, {u"bytes"_s, bulkBytes}});
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
        BenchSeeder::signIn(connection);
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
    BenchSeeder::signIn(connection);
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

} // namespace rbx

using namespace rbx;

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
        if (command == u"relay"_s)
            return relay(args);
    } catch (const EHouseError &failure) {
        die(failure.message());
    }
    die(u"usage: rbx53207-bench seed|copy|concurrent|open --url URL ... | relay --rtt-ms T"_s);
}
