#pragma once

#include <remote/rbx_remote_export.h>

#include <contract/CopyServiceContract.h>
#include <house/TClientDataSet.h>
#include <house/TNetConnection.h>

#include <QString>

namespace rbx {

// The six filter lists with their all flags as getServInte takes them, each by reference.
struct ServInteFilters
{
    QString pacientes, todosPacientes;
    QString servicos, todosServicos;
    QString dietas, todasDietas;
    QString andares, todosAndares;
    QString alas, todasAlas;
    QString leitos, todosLeitos;
};

// One call per method of "Rbx53207.rdmCopiaForm", with the argument lists and kinds the
// service fixes. Every answer passes CheckResultServ; reading methods load their packet into
// the record set given (replacing its rows), writing methods drop theirs. Strings passed by
// non-const reference go by reference and come back as the service left them.
class RBX_REMOTE_EXPORT CopyServiceClient
{
public:
    explicit CopyServiceClient(TNetConnection &connection) : m_connection(connection) {}

    void getNutricio(const QString &operador, QString &filial, TClientDataSet &into);
    void getPaciente(QString &filial, TClientDataSet &into);
    void getServInte(QString &filial, double dataOrigem, ServInteFilters &filters, const QString &modo,
                     TClientDataSet &into);
    void DelServ(const QString &cdPaciente, double dataDestino, const QString &cdFilial, const QString &cdServFili,
                 const QString &cdDietPad);
    void getNrServInte(const QString &cdPaciente, double dataDestino, QString &filial, TClientDataSet &into);

    struct ServInteRow
    {
        QString cdPaciente, cdFilial, cdServFili, cdDietPad, nrAcompana, stPaciAcom, idImprServ, idTipoSerInt,
            idRestSerIn, operador, cdDietGrupSi;
        double dtInterna = 0;
        QString dsServInte, nrServPeso;
    };
    // The current row of a record set of the cdsServInte layout as InsServInte takes it, with
    // the operator in place of the nutritionist and NRSERVPESO read as text.
    static ServInteRow servInteRow(const TClientDataSet &servInte, const QString &operador);
    void InsServInte(const ServInteRow &row, double dataDestino, QString &nrSequServ);

    void getNrConfesco(const QString &cdPaciente, double dataDestino, QString &nrSequServ, QString &filial,
                       TClientDataSet &into);
    void getConfesco(const QString &cdPaciente, const QString &nrSequServOrigem, double dtServInteOrigem,
                     QString &filial, TClientDataSet &into);

    struct ConfescoRow
    {
        QString cdPaciente, cdFilAuxPrat, cdPrato;
        double qtServConf = 0, qtPratConf = 0, hrConsConf = 0, dtConsConf = 0;
        QString cdProduto, cdViaCesDiet, idPrepConf, dsObsConf;
        double qtInfuConf = 0;
    };
    // The current row of a record set of the cdsConfesco layout; the consumption date is left
    // to the caller, who moves it.
    static ConfescoRow confescoRow(const TClientDataSet &confesco);
    void InsConfesco(const ConfescoRow &row, double dataDestino, QString &nrSequServ, QString &cdSequCopr,
                     QString &filial);

    void StartTransaction();
    void Commit();
    void Rollback();

    // The server-side copy of one service, an extension: call it only when offered. Several
    // may be in flight on the connection; each answer is received in the order they were sent.
    bool offersCopServInte() const;
    struct CopServInteAnswer
    {
        QString nrSequServ; // the copy's sequence at the destination
        qint64 items = 0;
        qint64 replaced = 0; // services of the destination it replaced
    };
    TNetConnection::Pending sendCopServInte(const QString &cdPaciente, double dtServInteOrigem,
                                            const QString &nrSequServOrigem, const QString &cdFilial,
                                            double dataDestino, const QString &operador, const QString &execucao);
    // Raises as every call does when the copy failed.
    CopServInteAnswer receiveCopServInte(const TNetConnection::Pending &pending);

    // The journaled runs, extensions: call them only when offered. AbreExecucao names the run of
    // the last getServInte and answers its id; FechaExecucao ends it with one of
    // CopyService::RunOutcomeCode. getExecucoes loads the branch's runs started from `de` to
    // `ate` (days included, 0 for no bound), DesfazExecucao the outcome of each service undone.
    bool offersRuns() const;
    qint64 AbreExecucao(const QString &cdFilial, double dataDestino, const QString &operador);
    void FechaExecucao(qint64 execucao, QChar situacao);
    void getExecucoes(const QString &cdFilial, const QString &operador, double de, double ate, TClientDataSet &into);
    void DesfazExecucao(qint64 execucao, const QString &operador, TClientDataSet &into);
    // The services of a run of the branch, with names; an extension of its own.
    bool offersRunDetail() const;
    void getServExecucao(qint64 execucao, const QString &cdFilial, const QString &operador, TClientDataSet &into);
    // Replaces the operator's password with the verifier made here from it: the password itself
    // never leaves the machine.
    void AlteraSenha(const QString &operador, const QString &novaSenha);

    TNetConnection &connection() { return m_connection; }

    // Empty when the arguments match the method's declaration; otherwise what differs. Every
    // call is checked with it in debug builds.
    static QString mismatch(CopyService::MethodId method, const QList<RemoteArg> &args);

private:
    Wire::Packet call(CopyService::MethodId method, const QList<RemoteArg> &args);

    TNetConnection &m_connection;
};

// Declares the persistent fields of a record set from the service's layout.
RBX_REMOTE_EXPORT void declareFields(TClientDataSet &dataSet, const QList<CopyService::FieldLayout> &layout);

} // namespace rbx
