#include <remote/CopyServiceClient.h>
#include <protocol/HouseError.h>
#include <support/ScriptedServer.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>

using namespace rbx;

namespace {

QJsonObject parse(const QByteArray &line) { return QJsonDocument::fromJson(line).object(); }

QByteArray answer(const QByteArray &line, const QJsonObject &result)
{
    return Wire::resultMessage(parse(line).value(QLatin1String("id")), result);
}

// Opens sessions and answers every call with the given result.
ScriptedServer::Script openThen(std::function<QByteArray(const QByteArray &)> calls)
{
    return [calls](const QByteArray &line) {
        if (parse(line).value(QLatin1String("method")).toString() == QLatin1String("rpc.open"))
            return answer(line, {{QStringLiteral("server"), QString::fromLatin1(Wire::ServerObjectName)},
                                 {QStringLiteral("session"), QStringLiteral("s1")},
                                 {QStringLiteral("protocol"), 1}});
        return calls(line);
    };
}

void openOn(TNetConnection &net, quint16 port)
{
    net.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    net.BeforeConnect = [port](TNetConnection &c) {
        c.Host = QStringLiteral("127.0.0.1");
        c.Port = port;
    };
    net.SetConnected(true);
}

} // namespace

class TestNetConnection final : public QObject
{
    Q_OBJECT

private slots:
    void openSendsServerNameAndTokenAfterBeforeConnect()
    {
        ScriptedServer server(openThen([](const QByteArray &) { return ScriptedServer::Silence; }));
        TNetConnection net;
        net.Token = QStringLiteral("segredo");
        int beforeConnectRuns = 0;
        net.ServerName = QStringLiteral("Rbx53207.rdmCopiaForm");
        net.BeforeConnect = [&](TNetConnection &c) {
            ++beforeConnectRuns;
            c.Host = QStringLiteral("127.0.0.1");
            c.Port = server.port();
        };
        net.SetConnected(true);
        QVERIFY(net.Connected());
        QCOMPARE(net.SessionId(), QStringLiteral("s1"));
        net.SetConnected(true); // already open: nothing runs again
        QCOMPARE(beforeConnectRuns, 1);
        const QJsonObject open = parse(server.received().at(0));
        QCOMPARE(open.value(QLatin1String("method")).toString(), QStringLiteral("rpc.open"));
        QCOMPARE(open.value(QLatin1String("params")).toObject().value(QLatin1String("server")).toString(),
                 QStringLiteral("Rbx53207.rdmCopiaForm"));
        QCOMPARE(open.value(QLatin1String("params")).toObject().value(QLatin1String("token")).toString(),
                 QStringLiteral("segredo"));
        net.SetConnected(false);
        QVERIFY(!net.Connected());
    }

    void byRefVariablesTakeWhatTheServiceLeft()
    {
        ScriptedServer server(openThen([](const QByteArray &line) {
            Wire::CallResult result;
            Wire::Packet packet;
            packet.fields = {{QStringLiteral("CDSEQUCOPR"), Wire::FieldType::String, 4}};
            packet.rows = {{QStringLiteral("0010")}};
            result.packet = packet;
            result.byref = {{2, QStringLiteral("07")}, {3, QStringLiteral("0002")}};
            return answer(line, Wire::encodeCallResult(result));
        }));
        TNetConnection net;
        openOn(net, server.port());
        CopyServiceClient client(net);
        TClientDataSet cds(QStringLiteral("cdsNrConfesco"));
        declareFields(cds, CopyService::nrConfescoLayout());
        QString sequence = QStringLiteral("05");
        QString filial = QStringLiteral("0001");
        client.getNrConfesco(QStringLiteral("000000000042"), 46363, sequence, filial, cds);
        QCOMPARE(sequence, QStringLiteral("07"));
        QCOMPARE(filial, QStringLiteral("0002"));
        QCOMPARE(cds.FieldByName(QStringLiteral("CDSEQUCOPR")).AsString(), QStringLiteral("0010"));

        // the request carried the kinds of the method, the date before the sequence
        const QJsonArray params = parse(server.received().at(1)).value(QLatin1String("params")).toArray();
        QCOMPARE(params.size(), 4);
        QCOMPARE(params.at(1).toObject().value(QLatin1String("date")).toDouble(), 46363.0);
        QCOMPARE(params.at(2).toObject().value(QLatin1String("byref")).toBool(), true);
        QCOMPARE(params.at(2).toObject().value(QLatin1String("text")).toString(), QStringLiteral("05"));
        QVERIFY(!params.at(0).toObject().contains(QLatin1String("byref")));
    }

    void errorAnswerRaisesThroughCheckResultServ_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("service failure shown as sent") << -32000 << QStringLiteral("Serviço já existe no destino.");
        QTest::newRow("protocol error names the call") << -32602 << QStringLiteral("DelServ");
    }
    void errorAnswerRaisesThroughCheckResultServ()
    {
        QFETCH(int, code);
        QFETCH(QString, expected);
        ScriptedServer server(openThen([code](const QByteArray &line) {
            return Wire::errorMessage(parse(line).value(QLatin1String("id")),
                                      {code, QStringLiteral("Serviço já existe no destino."), {}});
        }));
        TNetConnection net;
        openOn(net, server.port());
        CopyServiceClient client(net);
        try {
            client.DelServ(QStringLiteral("1"), 1, QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("0001"));
            QFAIL("no error raised");
        } catch (const ERemoteError &error) {
            QCOMPARE(error.code(), code);
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
        }
        QVERIFY(net.Connected()); // an error answer is no reason to drop the session
    }

    void brokenTransportRaisesConnectionError_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("connection lost") << ScriptedServer::Close << QStringLiteral("perdida");
        QTest::newRow("timeout") << ScriptedServer::Silence << QStringLiteral("não respondeu em 300 ms");
        QTest::newRow("garbage") << QByteArray("not json\n") << QStringLiteral("ilegível");
    }
    void brokenTransportRaisesConnectionError()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        ScriptedServer server(openThen([reply](const QByteArray &) { return reply; }));
        TNetConnection net;
        net.TimeoutMs = 300;
        openOn(net, server.port());
        QString filial = QStringLiteral("0001");
        TClientDataSet cds(QStringLiteral("cdsPaciente"));
        declareFields(cds, CopyService::pacienteLayout());
        try {
            CopyServiceClient(net).getPaciente(filial, cds);
            QFAIL("no error raised");
        } catch (const EConnectionError &error) {
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
        }
        QVERIFY(!net.Connected());
        QVERIFY_THROWS_EXCEPTION(EConnectionError, CopyServiceClient(net).getPaciente(filial, cds));
    }

    void refusedAndRejectedOpens()
    {
        quint16 closedPort;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            closedPort = probe.serverPort();
        }
        TNetConnection net;
        QVERIFY_THROWS_EXCEPTION(EConnectionError, openOn(net, closedPort));
        QVERIFY(!net.Connected());

        ScriptedServer refusing([](const QByteArray &line) {
            return Wire::errorMessage(parse(line).value(QLatin1String("id")), {-32003, QStringLiteral("não autorizado"), {}});
        });
        QVERIFY_THROWS_EXCEPTION(ERemoteError, openOn(net, refusing.port()));
        QVERIFY(!net.Connected());
    }

    void hostAndPortAreReadWhenOpening()
    {
        ScriptedServer server(openThen([](const QByteArray &) { return ScriptedServer::Silence; }));
        int port = server.port();
        TNetConnection net;
        net.BeforeConnect = [&port](TNetConnection &c) {
            c.Host = QStringLiteral("127.0.0.1");
            c.Port = port;
        };
        net.SetConnected(true);
        port = 1; // changing the source afterwards does not touch the open connection
        QCOMPARE(net.Port, int(server.port()));
        net.SetConnected(false);
        QVERIFY_THROWS_EXCEPTION(EConnectionError, net.SetConnected(true));
    }

    void batchAnswersInOrder()
    {
        ScriptedServer server(openThen([](const QByteArray &line) {
            QJsonArray replies;
            for (const QJsonValue &request : QJsonDocument::fromJson(line).array()) {
                const QJsonObject call = request.toObject();
                if (call.value(QLatin1String("method")).toString() == QLatin1String("Commit"))
                    replies.append(Wire::errorObject(call.value(QLatin1String("id")), {-32004, QStringLiteral("sem transação"), {}}));
                else
                    replies.append(Wire::resultObject(call.value(QLatin1String("id")), Wire::encodeCallResult({})));
            }
            return Wire::frame(replies);
        }));
        TNetConnection net;
        openOn(net, server.port());
        const QList<RemoteAnswer> answers =
            net.CallBatch({{QStringLiteral("StartTransaction"), {}}, {QStringLiteral("Commit"), {}}});
        QCOMPARE(answers.size(), 2);
        QVERIFY(!answers.at(0).failed());
        QVERIFY(answers.at(1).failed());
        QVERIFY_THROWS_EXCEPTION(ERemoteError, CheckResultServ(answers.at(1)));
    }
};

QTEST_GUILESS_MAIN(TestNetConnection)
#include "tst_netconnection.moc"
