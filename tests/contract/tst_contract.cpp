#include <remote/CopyServiceClient.h>
#include <contract/CopyServiceContract.h>
#include <support/FakeCopyService.h>
#include <support/ScriptedServer.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;
using CopyService::Access;

namespace {

QString sourceDir() { return QStringLiteral(RBX_SOURCE_DIR); }

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// One row of the protocol page's method table, as the declaration says it.
QString tableRow(const CopyService::MethodSignature &method)
{
    QStringList args;
    for (qsizetype i = 0; i < method.args.size(); ++i) {
        const CopyService::Argument &arg = method.args.at(i);
        QString kind = arg.kind == Wire::Arg::Kind::Date     ? u"d"_s
                       : arg.kind == Wire::Arg::Kind::Double ? u"f"_s
                       : arg.byRef                           ? u"r"_s
                                                             : u"t"_s;
        if (arg.column && arg.column->size > 0)
            kind += QString::number(arg.column->size);
        args << u"%1 %2 %3"_s.arg(i + 1).arg(arg.name, kind);
    }
    const QString access = method.access == Access::Reads    ? u"reads"_s
                           : method.access == Access::Writes ? u"writes"_s
                                                             : u"transaction"_s;
    const QString returns = !method.layout.isEmpty()           ? u"packet"_s
                            : method.access == Access::Writes ? u"rowsAffected"_s
                                                              : QString();
    return u"| `%1` | %2 | %3 | %4 | %5 |"_s.arg(method.name, access).arg(method.args.size()).arg(args.join(u"; "_s), returns);
}

QString packetLine(const CopyService::MethodSignature &method)
{
    QStringList fields;
    for (const CopyService::FieldLayout &field : method.layout) {
        const QString type = Wire::fieldTypeName(field.type);
        fields << (field.size > 0 ? u"%1 %2 %3"_s.arg(field.name, type).arg(field.size) : field.name + u' ' + type);
    }
    return u"`%1`: %2."_s.arg(method.name, fields.join(u", "_s));
}

} // namespace

class TestContract : public QObject
{
    Q_OBJECT

private slots:
    // What the typed client sends is what the declaration fixes: count, kinds and which texts go
    // by reference. The server accepts either for a text, so only this catches a drift.
    void typedClientCallsMatchTheDeclaration()
    {
        FakeCopyService fake;
        ScriptedServer server([&fake](const QByteArray &line) { return fake.answer(line); });
        TNetConnection net;
        net.ServerName = QString::fromLatin1(Wire::ServerObjectName);
        net.Host = u"127.0.0.1"_s;
        net.Port = server.port();
        net.TimeoutMs = 5000;
        net.SetConnected(true);
        CopyServiceClient client(net);

        TClientDataSet nutricio, paciente, servInte, nrServInte, nrConfesco, confesco;
        declareFields(nutricio, CopyService::nutricioLayout());
        declareFields(paciente, CopyService::pacienteLayout());
        declareFields(servInte, CopyService::servInteLayout());
        declareFields(nrServInte, CopyService::nrServInteLayout());
        declareFields(nrConfesco, CopyService::nrConfescoLayout());
        declareFields(confesco, CopyService::confescoLayout());
        QString filial = u"0001"_s, sequencia = u"01"_s, item = u"0001"_s;
        ServInteFilters filters;
        client.getNutricio(u"OP1"_s, filial, nutricio);
        client.getPaciente(filial, paciente);
        client.getServInte(filial, 46000, filters, u"1"_s, servInte);
        client.DelServ(u"P1"_s, 46001, filial, u"S1"_s, u"D1"_s);
        client.getNrServInte(u"P1"_s, 46001, filial, nrServInte);
        client.InsServInte({}, 46001, sequencia);
        client.getNrConfesco(u"P1"_s, 46001, sequencia, filial, nrConfesco);
        client.getConfesco(u"P1"_s, u"01"_s, 46000, filial, confesco);
        client.InsConfesco({}, 46001, sequencia, item, filial);
        client.StartTransaction();
        client.Commit();
        client.StartTransaction();
        client.Rollback();
        client.receiveCopServInte(client.sendCopServInte(u"P1"_s, 46000, u"01"_s, filial, 46001, u"OP1"_s, u"run"_s));
        QCOMPARE(client.AbreExecucao(filial, 46001, u"OP1"_s), 1);
        client.FechaExecucao(1, u'C');
        TClientDataSet runs, undone;
        declareFields(runs, CopyService::execucoesLayout());
        declareFields(undone, CopyService::desfazExecucaoLayout());
        client.getExecucoes(filial, u"OP1"_s, 0, 0, runs);
        client.DesfazExecucao(1, u"OP1"_s, undone);
        client.AlteraSenha(u"OP1"_s, u"nova-senha"_s);
        TClientDataSet services;
        declareFields(services, CopyService::servExecucaoLayout());
        client.getServExecucao(1, filial, u"OP1"_s, services);

        QSet<QString> called;
        for (const FakeCopyService::Call &call : fake.calls()) {
            const CopyService::MethodSignature *method = CopyService::findMethod(call.method);
            QVERIFY2(method, qPrintable(call.method));
            QCOMPARE(CopyService::checkCall(*method, call.args), QString());
            called.insert(call.method);
        }
        QCOMPARE(called.size(), CopyService::allMethods().size());
    }

    void checkCallNamesTheArgumentThatDiffers()
    {
        const CopyService::MethodSignature &method = CopyService::method(CopyService::MethodId::getNrServInte);
        QList<Wire::Arg> args = {Wire::Arg::makeText(u"P1"_s), Wire::Arg::makeDate(46000), Wire::Arg::makeText(u"0001"_s)};
        QVERIFY(CopyService::checkCall(method, args).contains(u"argument 3 (CDFILIAL)"_s));
        args[2].byRef = true;
        QCOMPARE(CopyService::checkCall(method, args), QString());
        args.removeLast();
        QVERIFY(!CopyService::checkCall(method, args).isEmpty());
    }

    // The protocol page's method table and packet layouts say what the declaration says.
    void protocolPageAgreesWithTheDeclaration()
    {
        const QString page = readFile(sourceDir() + u"/docs/protocol.md"_s);
        QVERIFY(!page.isEmpty());
        const QString flowing = QString(page).replace(QRegularExpression(u"\\s+"_s), u" "_s);
        for (const CopyService::MethodSignature &method : CopyService::allMethods()) {
            QVERIFY2(page.contains(tableRow(method) + u'\n'), qPrintable(u"missing row: "_s + tableRow(method)));
            if (!method.layout.isEmpty())
                QVERIFY2(flowing.contains(packetLine(method)), qPrintable(u"missing: "_s + packetLine(method)));
        }
    }

    // A method's name is spelled once, in the declaration; everything else derives it.
    void methodNamesAreWrittenOnlyInTheContract()
    {
        QStringList quoted;
        for (const CopyService::MethodSignature &method : CopyService::allMethods())
            quoted << u"\""_s + method.name + u"\""_s;
        QStringList offenders;
        QDirIterator files(sourceDir(), {u"*.cpp"_s, u"*.h"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next().mid(sourceDir().size() + 1);
            if (path.startsWith(u"tests/"_s) || path.startsWith(u"out"_s) || path.startsWith(u"build"_s)
                || path == u"contract/CopyServiceContract.cpp"_s)
                continue;
            const QString text = readFile(files.filePath());
            for (const QString &name : quoted) {
                if (text.contains(name))
                    offenders << path + u": "_s + name;
            }
        }
        QCOMPARE(offenders, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestContract)
#include "tst_contract.moc"
