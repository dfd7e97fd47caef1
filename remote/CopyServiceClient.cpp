#include "CopyServiceClient.h"

#include <protocol/ScramVerifier.h>

#include <protocol/HouseError.h>

#include <stdexcept>

namespace rbx {

using A = RemoteArg;
using CopyService::MethodId;

QString CopyServiceClient::mismatch(MethodId method, const QList<RemoteArg> &args)
{
    QList<Wire::Arg> wire;
    wire.reserve(args.size());
    for (const RemoteArg &arg : args)
        wire.append(arg.wire());
    return CopyService::checkCall(CopyService::method(method), wire);
}

namespace {
void checkDeclared([[maybe_unused]] MethodId method, [[maybe_unused]] const QList<RemoteArg> &args)
{
#ifndef NDEBUG
    // an argument list that drifted from the declaration is a programming error, caught here
    if (const QString problem = CopyServiceClient::mismatch(method, args); !problem.isEmpty())
        throw std::logic_error(problem.toStdString());
#endif
}
} // namespace

Wire::Packet CopyServiceClient::call(MethodId method, const QList<RemoteArg> &args)
{
    checkDeclared(method, args);
    // The server object is asked of the connection anew for every call.
    return CheckResultServ(m_connection.AppServer().call(CopyService::method(method).name, args), true, 0);
}

void CopyServiceClient::getNutricio(const QString &operador, QString &filial, TClientDataSet &into)
{
    into.SetData(call(MethodId::getNutricio, {A::Text(operador), A::TextRef(filial)}));
}

void CopyServiceClient::getPaciente(QString &filial, TClientDataSet &into)
{
    into.SetData(call(MethodId::getPaciente, {A::TextRef(filial)}));
}

void CopyServiceClient::getServInte(QString &filial, double dataOrigem, ServInteFilters &f, const QString &modo,
                                    TClientDataSet &into)
{
    into.SetData(call(MethodId::getServInte,
                      {A::TextRef(filial), A::Date(dataOrigem), A::TextRef(f.pacientes), A::TextRef(f.todosPacientes),
                       A::TextRef(f.servicos), A::TextRef(f.todosServicos), A::TextRef(f.dietas),
                       A::TextRef(f.todasDietas), A::TextRef(f.andares), A::TextRef(f.todosAndares),
                       A::TextRef(f.alas), A::TextRef(f.todasAlas), A::TextRef(f.leitos), A::TextRef(f.todosLeitos),
                       A::Text(modo)}));
}

void CopyServiceClient::DelServ(const QString &cdPaciente, double dataDestino, const QString &cdFilial,
                                const QString &cdServFili, const QString &cdDietPad)
{
    call(MethodId::DelServ,
         {A::Text(cdPaciente), A::Date(dataDestino), A::Text(cdFilial), A::Text(cdServFili), A::Text(cdDietPad)});
}

void CopyServiceClient::getNrServInte(const QString &cdPaciente, double dataDestino, QString &filial,
                                      TClientDataSet &into)
{
    into.SetData(call(MethodId::getNrServInte, {A::Text(cdPaciente), A::Date(dataDestino), A::TextRef(filial)}));
}

CopyServiceClient::ServInteRow CopyServiceClient::servInteRow(const TClientDataSet &cds, const QString &operador)
{
    const auto text = [&cds](const char *name) { return cds.FieldByName(QLatin1String(name)).AsString(); };
    ServInteRow row;
    row.cdPaciente = text("CDPACIENTE");
    row.cdFilial = text("CDFILIAL");
    row.cdServFili = text("CDSERVFILI");
    row.cdDietPad = text("CDDIETPAD");
    row.nrAcompana = text("NRACOMPANA");
    row.stPaciAcom = text("STPACIACOM");
    row.idImprServ = text("IDIMPRSERV");
    row.idTipoSerInt = text("IDTIPOSERINT");
    row.idRestSerIn = text("IDRESTSERIN");
    row.operador = operador;
    row.cdDietGrupSi = text("CDDIETGRUPSI");
    row.dtInterna = cds.FieldByName(QStringLiteral("DTINTERNA")).AsDateTime();
    row.dsServInte = text("DSSERVINTE");
    row.nrServPeso = text("NRSERVPESO"); // a float read as text, empty when null
    return row;
}

CopyServiceClient::ConfescoRow CopyServiceClient::confescoRow(const TClientDataSet &cds)
{
    const auto text = [&cds](const char *name) { return cds.FieldByName(QLatin1String(name)).AsString(); };
    const auto number = [&cds](const char *name) { return cds.FieldByName(QLatin1String(name)).AsFloat(); };
    ConfescoRow item;
    item.cdPaciente = text("CDPACIENTE");
    item.cdFilAuxPrat = text("CDFILAUXPRAT");
    item.cdPrato = text("CDPRATO");
    item.qtServConf = number("QTSERVCONF");
    item.qtPratConf = number("QTPRATCONF");
    item.hrConsConf = number("HRCONSCONF");
    item.cdProduto = text("CDPRODUTO");
    item.cdViaCesDiet = text("CDVIACESDIET");
    item.idPrepConf = text("IDPREPCONF");
    item.dsObsConf = text("DSOBSCONF");
    item.qtInfuConf = number("QTINFUCONF");
    return item;
}

void CopyServiceClient::InsServInte(const ServInteRow &r, double dataDestino, QString &nrSequServ)
{
    call(MethodId::InsServInte,
         {A::Text(r.cdPaciente), A::Date(dataDestino), A::TextRef(nrSequServ), A::Text(r.cdFilial),
          A::Text(r.cdServFili), A::Text(r.cdDietPad), A::Text(r.nrAcompana), A::Text(r.stPaciAcom),
          A::Text(r.idImprServ), A::Text(r.idTipoSerInt), A::Text(r.idRestSerIn), A::Text(r.operador),
          A::Text(r.cdDietGrupSi), A::Date(r.dtInterna), A::Text(r.dsServInte), A::Text(r.nrServPeso)});
}

void CopyServiceClient::getNrConfesco(const QString &cdPaciente, double dataDestino, QString &nrSequServ,
                                      QString &filial, TClientDataSet &into)
{
    into.SetData(call(MethodId::getNrConfesco,
                      {A::Text(cdPaciente), A::Date(dataDestino), A::TextRef(nrSequServ), A::TextRef(filial)}));
}

void CopyServiceClient::getConfesco(const QString &cdPaciente, const QString &nrSequServOrigem,
                                    double dtServInteOrigem, QString &filial, TClientDataSet &into)
{
    into.SetData(call(MethodId::getConfesco,
                      {A::Text(cdPaciente), A::Text(nrSequServOrigem), A::Date(dtServInteOrigem), A::TextRef(filial)}));
}

void CopyServiceClient::InsConfesco(const ConfescoRow &r, double dataDestino, QString &nrSequServ,
                                    QString &cdSequCopr, QString &filial)
{
    call(MethodId::InsConfesco,
         {A::Text(r.cdPaciente), A::Date(dataDestino), A::TextRef(nrSequServ), A::TextRef(cdSequCopr),
          A::Text(r.cdFilAuxPrat), A::Text(r.cdPrato), A::Double(r.qtServConf), A::Double(r.qtPratConf),
          A::Double(r.hrConsConf), A::Double(r.dtConsConf), A::Text(r.cdProduto), A::Text(r.cdViaCesDiet),
          A::Text(r.idPrepConf), A::Text(r.dsObsConf), A::TextRef(filial), A::Double(r.qtInfuConf)});
}

void CopyServiceClient::StartTransaction() { call(MethodId::StartTransaction, {}); }
void CopyServiceClient::Commit() { call(MethodId::Commit, {}); }
void CopyServiceClient::Rollback() { call(MethodId::Rollback, {}); }

bool CopyServiceClient::offersCopServInte() const
{
    return m_connection.Offers(CopyService::method(MethodId::CopServInte).name);
}

TNetConnection::Pending CopyServiceClient::sendCopServInte(const QString &cdPaciente, double dtServInteOrigem,
                                                           const QString &nrSequServOrigem, const QString &cdFilial,
                                                           double dataDestino, const QString &operador,
                                                           const QString &execucao)
{
    const QList<RemoteArg> args = {A::Text(cdPaciente), A::Date(dtServInteOrigem), A::Text(nrSequServOrigem),
                                   A::Text(cdFilial),   A::Date(dataDestino),      A::Text(operador),
                                   A::Text(execucao)};
    checkDeclared(MethodId::CopServInte, args);
    return m_connection.Send(CopyService::method(MethodId::CopServInte).name, args);
}

CopyServiceClient::CopServInteAnswer CopyServiceClient::receiveCopServInte(const TNetConnection::Pending &pending)
{
    TClientDataSet answer;
    declareFields(answer, CopyService::copServInteLayout());
    answer.SetData(CheckResultServ(m_connection.Receive(pending), true, 0));
    if (answer.IsEmpty())
        throw EDataSetError(QStringLiteral("%1 não devolveu o serviço copiado.").arg(pending.method));
    return {answer.FieldByName(QStringLiteral("NRSEQUSERV")).AsString(),
            qint64(answer.FieldByName(QStringLiteral("QTITENS")).AsFloat()),
            qint64(answer.FieldByName(QStringLiteral("QTSUBSTITUIDOS")).AsFloat())};
}

bool CopyServiceClient::offersRuns() const
{
    for (const MethodId id : {MethodId::AbreExecucao, MethodId::FechaExecucao, MethodId::getExecucoes,
                              MethodId::DesfazExecucao}) {
        if (!m_connection.Offers(CopyService::method(id).name))
            return false;
    }
    return true;
}

qint64 CopyServiceClient::AbreExecucao(const QString &cdFilial, double dataDestino, const QString &operador)
{
    TClientDataSet answer;
    declareFields(answer, CopyService::execucaoLayout());
    answer.SetData(call(MethodId::AbreExecucao, {A::Text(cdFilial), A::Date(dataDestino), A::Text(operador)}));
    if (answer.IsEmpty())
        throw EDataSetError(QStringLiteral("AbreExecucao não devolveu a execução."));
    return qint64(answer.FieldByName(QStringLiteral("IDEXECUCAO")).AsFloat());
}

void CopyServiceClient::FechaExecucao(qint64 execucao, QChar situacao)
{
    call(MethodId::FechaExecucao, {A::Text(QString::number(execucao)), A::Text(QString(situacao))});
}

void CopyServiceClient::getExecucoes(const QString &cdFilial, const QString &operador, double de, double ate,
                                     TClientDataSet &into)
{
    into.SetData(call(MethodId::getExecucoes, {A::Text(cdFilial), A::Text(operador), A::Date(de), A::Date(ate)}));
}

void CopyServiceClient::AlteraSenha(const QString &operador, const QString &novaSenha)
{
    const std::optional<ScramVerifier> verifier = ScramVerifier::fromPassword(novaSenha);
    if (!verifier)
        throw EHouseError(QStringLiteral("A nova senha não pode ser vazia."));
    call(MethodId::AlteraSenha, {A::Text(operador), A::Text(verifier->toText())});
}

bool CopyServiceClient::offersRunDetail() const
{
    return m_connection.Offers(CopyService::method(MethodId::getServExecucao).name);
}

void CopyServiceClient::getServExecucao(qint64 execucao, const QString &cdFilial, const QString &operador,
                                        TClientDataSet &into)
{
    into.SetData(call(MethodId::getServExecucao,
                      {A::Text(QString::number(execucao)), A::Text(cdFilial), A::Text(operador)}));
}

void CopyServiceClient::DesfazExecucao(qint64 execucao, const QString &operador, TClientDataSet &into)
{
    into.SetData(call(MethodId::DesfazExecucao, {A::Text(QString::number(execucao)), A::Text(operador)}));
}

void declareFields(TClientDataSet &dataSet, const QList<CopyService::FieldLayout> &layout)
{
    for (const CopyService::FieldLayout &field : layout)
        dataSet.AddField(field.name, field.type, field.size, field.displayLabel, field.displayWidth);
}

} // namespace rbx
