#include <remote/CopyServiceClient.h>
#include <support/DemoDatabase.h>
#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include <support/TestOperators.h>
#include <support/TestServer.h>
#include <house/TextRoutines.h>

#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

const QString Filial = u"0001"_s;

ServInteFilters everything()
{
    ServInteFilters f;
    f.todosPacientes = f.todosServicos = f.todasDietas = f.todosAndares = f.todasAlas = f.todosLeitos = u"T"_s;
    return f;
}

} // namespace

// The typed client against the real application server and the demo hospital.
class TestClientServer final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DemoDatabase> m_demo;
    std::unique_ptr<TestServer> m_server;

    void open(TNetConnection &net, const QString &operatorCode = TestSupport::TestOperator)
    {
        net.ServerName = QString::fromLatin1(Wire::ServerObjectName);
        net.Operator = operatorCode;
        net.Password = TestSupport::TestPassword;
        net.TimeoutMs = 10000;
        net.BeforeConnect = [this](TNetConnection &c) {
            c.Host = m_server->host();
            c.Port = m_server->port();
        };
        net.SetConnected(true);
    }

    static void declare(TClientDataSet &cds, const QList<CopyService::FieldLayout> &layout) { declareFields(cds, layout); }

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        m_demo = std::make_unique<DemoDatabase>();
        QVERIFY2(m_demo->isValid(), qPrintable(m_demo->errorString()));
        m_server = std::make_unique<TestServer>();
        QVERIFY2(m_server->start(m_demo->url()), qPrintable(m_server->errorString()));
    }

    void readingMethodsFillTheirRecordSets()
    {
        TNetConnection net;
        open(net);
        CopyServiceClient client(net);
        QString filial = Filial;

        TClientDataSet nutricio(u"cdsNutricio"_s);
        declare(nutricio, CopyService::nutricioLayout());
        client.getNutricio(u"ADMIN"_s, filial, nutricio);
        QVERIFY(!nutricio.IsEmpty());
        QCOMPARE(nutricio.FieldByName(u"CDNUTRICIO"_s).AsString().size(), 3);
        {
            TNetConnection visitor;
            open(visitor, u"VISITA"_s);
            CopyServiceClient(visitor).getNutricio(u"VISITA"_s, filial, nutricio);
            QVERIFY(nutricio.IsEmpty());
        }
        QCOMPARE(filial, Filial);

        TClientDataSet paciente(u"cdsPaciente"_s);
        declare(paciente, CopyService::pacienteLayout());
        client.getPaciente(filial, paciente);
        QVERIFY(paciente.RecordCount() > 0);
        QCOMPARE(paciente.FieldByName(u"IDMARCADO"_s).AsString().trimmed(), QString());
        QVERIFY(!paciente.FieldByName(u"NMPACIENTE"_s).AsString().isEmpty());
        QVERIFY(paciente.FieldByName(u"DTINTERNA"_s).AsDateTime() > 0);
    }

    // One service carried to the next day by the nine calls, as the copy does it.
    void servicesAndItemsTravelWholeAndAccentsSurvive()
    {
        TNetConnection net;
        open(net);
        CopyServiceClient client(net);
        QString filial = Filial;
        const double origem = OleDate::fromDate(TestSupport::demoDate());
        const double destino = origem + 1;

        TClientDataSet servInte(u"cdsServInte"_s);
        declare(servInte, CopyService::servInteLayout());
        ServInteFilters filters = everything();
        client.getServInte(filial, origem, filters, u"1"_s, servInte);
        QVERIFY(servInte.RecordCount() > 0);
        QCOMPARE(filters.todosPacientes, u"T"_s); // by-reference values come back as sent

        // the first service that has items
        TClientDataSet confesco(u"cdsConfesco"_s);
        declare(confesco, CopyService::confescoLayout());
        for (; !servInte.Eof(); servInte.Next()) {
            client.getConfesco(servInte.FieldByName(u"CDPACIENTE"_s).AsString(),
                               servInte.FieldByName(u"NRSEQUSERV"_s).AsString(),
                               servInte.FieldByName(u"DTSERVINTE"_s).AsDateTime(), filial, confesco);
            if (!confesco.IsEmpty())
                break;
        }
        QVERIFY(!servInte.Eof());
        const QString paciente = servInte.FieldByName(u"CDPACIENTE"_s).AsString();

        client.DelServ(paciente, destino, servInte.FieldByName(u"CDFILIAL"_s).AsString(),
                       servInte.FieldByName(u"CDSERVFILI"_s).AsString(), servInte.FieldByName(u"CDDIETPAD"_s).AsString());
        TClientDataSet nrServ(u"cdsNrServInte"_s);
        declare(nrServ, CopyService::nrServInteLayout());
        client.getNrServInte(paciente, destino, filial, nrServ);
        QCOMPARE(nrServ.RecordCount(), 1);
        QString sequencia = Ajusta(QString::number(StrToInt(nrServ.FieldByName(u"NRSEQUSERV"_s).AsString()) + 1), 2);

        CopyServiceClient::ServInteRow row = CopyServiceClient::servInteRow(servInte, u"ADMIN"_s);
        row.dsServInte = u"Dieta líquida — atenção à deglutição; pão & chá"_s;
        client.InsServInte(row, destino, sequencia);
        // the same key twice is refused with the service's own message, and changes nothing
        QString again = sequencia;
        QVERIFY_THROWS_EXCEPTION(ERemoteError, client.InsServInte(row, destino, again));

        TClientDataSet nrConf(u"cdsNrConfesco"_s);
        declare(nrConf, CopyService::nrConfescoLayout());
        client.getNrConfesco(paciente, destino, sequencia, filial, nrConf);
        QCOMPARE(nrConf.FieldByName(u"CDSEQUCOPR"_s).AsString(), u"0000"_s);
        QString item = Ajusta(u"1"_s, 4);
        const qsizetype items = confesco.RecordCount();
        for (; !confesco.Eof(); confesco.Next()) {
            CopyServiceClient::ConfescoRow r = CopyServiceClient::confescoRow(confesco);
            r.dtConsConf = destino + 1.0 / 3;
            r.dsObsConf = u"Diluir em água filtrada; infusão contínua — não agitar"_s;
            client.InsConfesco(r, destino, sequencia, item, filial);
            item = Ajusta(QString::number(StrToInt(item) + 1), 4);
        }

        // read back what arrived at the destination
        client.getNrConfesco(paciente, destino, sequencia, filial, nrConf);
        QCOMPARE(StrToInt(nrConf.FieldByName(u"CDSEQUCOPR"_s).AsString()), int(items));
        client.getConfesco(paciente, sequencia, destino, filial, confesco);
        QCOMPARE(confesco.RecordCount(), items);
        QCOMPARE(confesco.FieldByName(u"DSOBSCONF"_s).AsString(), u"Diluir em água filtrada; infusão contínua — não agitar"_s);
        QCOMPARE(OleDate::toDateTime(confesco.FieldByName(u"DTCONSCONF"_s).AsDateTime()),
                 QDateTime(TestSupport::demoDate().addDays(1), QTime(8, 0), Qt::UTC));

        ServInteFilters one = everything();
        one.pacientes = u"_"_s + paciente + u"_"_s;
        one.todosPacientes.clear();
        client.getServInte(filial, destino, one, u"1"_s, servInte);
        QCOMPARE(servInte.RecordCount(), 1);
        QCOMPARE(servInte.FieldByName(u"DSSERVINTE"_s).AsString(), u"Dieta líquida — atenção à deglutição; pão & chá"_s);
        QCOMPARE(servInte.FieldByName(u"NRSEQUSERV"_s).AsString(), sequencia);

        // and DelServ takes the service away with its items
        client.DelServ(paciente, destino, Filial, row.cdServFili, row.cdDietPad);
        client.getConfesco(paciente, sequencia, destino, filial, confesco);
        QVERIFY(confesco.IsEmpty());
    }

    void serviceRefusalsSurfaceAsErrors()
    {
        TNetConnection net;
        open(net, u"VISITA"_s);
        CopyServiceClient client(net);
        CopyServiceClient::ServInteRow row;
        row.cdPaciente = u"000000000001"_s;
        row.cdFilial = Filial;
        row.cdServFili = u"00001"_s;
        row.cdDietPad = u"0001"_s;
        row.operador = u"VISITA"_s;
        QString sequencia = u"01"_s;
        try {
            client.InsServInte(row, 50000, sequencia);
            QFAIL("an operator who is no nutritionist inserted a service");
        } catch (const ERemoteError &error) {
            // refused before it runs: the branch is none of the operator's
            QCOMPARE(error.code(), Wire::ErrorCode::NotPermitted);
            QVERIFY(!error.message().isEmpty());
        }
        QVERIFY(net.Connected());
        // a wrong kind is the protocol's error, named after the call
        try {
            CheckResultServ(net.Call(u"DelServ"_s, {RemoteArg::Text(u"1"_s)}));
            QFAIL("a wrong argument count was accepted");
        } catch (const ERemoteError &error) {
            QCOMPARE(error.code(), Wire::ErrorCode::InvalidParams);
            QVERIFY(error.message().contains(u"DelServ"_s));
        }
    }

    void aDeadServerIsAConnectionError()
    {
        TNetConnection net;
        open(net);
        CopyServiceClient client(net);
        QString filial = Filial;
        TClientDataSet paciente(u"cdsPaciente"_s);
        declare(paciente, CopyService::pacienteLayout());
        m_server->kill();
        QVERIFY_THROWS_EXCEPTION(EConnectionError, client.getPaciente(filial, paciente));
        QVERIFY(!net.Connected());
        QVERIFY2(m_server->restart(), qPrintable(m_server->errorString()));
        open(net);
        client.getPaciente(filial, paciente);
        QVERIFY(!paciente.IsEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClientServer)
#include "tst_client_server.moc"
