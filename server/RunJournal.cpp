#include "RunJournal.h"

#include <contract/CopyServiceContract.h>
#include "DbSession.h"
#include <protocol/HouseError.h>
#include "JournalSql.h"
#include <protocol/LogCategories.h>
#include <protocol/OleDate.h>
#include <db/Schema.h>
#include "ServerLog.h"
#include "Statements.h"

#include <QDateTime>

namespace rbx {

using namespace Qt::StringLiterals;
using Statements::run;
using Statements::single;

namespace {

const QStringList FilterColumns = {u"DSFILTPACI"_s, u"DSFILTSERV"_s, u"DSFILTDIET"_s,
                                   u"DSFILTANDA"_s, u"DSFILTALA"_s,  u"DSFILTLEIT"_s};

// numbered by the database: two servers on one database never give a number twice
QString insertRun(const SqlDialect &dialect)
{
    return uR"(
INSERT INTO EXECCOPIA (IDEXECUCAO, CDFILIAL, CDOPERADOR, DTINICIO, IDSITUACAO)
VALUES (%1, :CDFILIAL, :CDOPERADOR, :DTINICIO, 'A')
RETURNING IDEXECUCAO)"_s.arg(dialect.nextSerial(u"EXECCOPIA"_s));
}
const QString StoreRun = uR"(
UPDATE EXECCOPIA
   SET CDFILIAL = :CDFILIAL, CDOPERADOR = :CDOPERADOR, IDTPSERVHOSP = :IDTPSERVHOSP, DTORIGEM = :DTORIGEM,
       DTDESTINO = :DTDESTINO, DSFILTPACI = :DSFILTPACI, DSFILTSERV = :DSFILTSERV, DSFILTDIET = :DSFILTDIET,
       DSFILTANDA = :DSFILTANDA, DSFILTALA = :DSFILTALA, DSFILTLEIT = :DSFILTLEIT, DTINICIO = :DTINICIO,
       DTFIM = :DTFIM, IDSITUACAO = :IDSITUACAO, DSERRO = :DSERRO,
       QTSERVICOS = (SELECT COUNT(*) FROM EXECLINHA L WHERE L.IDEXECUCAO = :ID2 AND L.IDVERSAO = 'N' AND L.CDLINHA = 'S'),
       QTITENS = (SELECT COUNT(*) FROM EXECLINHA L WHERE L.IDEXECUCAO = :ID3 AND L.IDVERSAO = 'N' AND L.CDLINHA <> 'S')
 WHERE IDEXECUCAO = :IDEXECUCAO)"_s;
const QString DeleteRun = u"DELETE FROM EXECCOPIA WHERE IDEXECUCAO = :IDEXECUCAO"_s;
const QString DeleteServices = uR"(
DELETE FROM SERVINTE
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL
   AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD)"_s;
const QString DeletePicture =
    u"DELETE FROM EXECLINHA WHERE IDEXECUCAO = :IDEXECUCAO AND NRORDEM = :NRORDEM AND IDVERSAO = :IDVERSAO"_s;

QVariant textOrNull(const QString &text) { return text.isEmpty() ? QVariant() : QVariant(text); }

// A selection list longer than its column is kept cut: the journal tells what was asked, the
// rows it pictured are what undo needs.
QString fitted(const QString &text, const QString &column)
{
    const int width = Schema::column(u"EXECCOPIA"_s, column).size;
    return text.size() <= width ? text : text.left(width - 1) + u'…';
}

bool sameKey(const RunJournal::ServiceKey &a, const RunJournal::ServiceKey &b)
{
    return a.paciente == b.paciente && a.data == b.data && a.filial == b.filial && a.servico == b.servico
           && a.dieta == b.dieta;
}

} // namespace

double journalNow()
{
    // the wall clock as the people reading the journal read theirs
    return OleDate::fromDateTime(QDateTime::currentDateTime());
}

void RunJournal::connectionEnded() noexcept
{
    if (!m_run)
        return;
    try {
        // a client that leaves with its transaction open left in the middle of a service
        const bool midService = m_db.inTransaction() || m_db.transactionLost();
        if (midService)
            m_db.rollback();
        if (!m_run)
            return;
        m_db.ensureConnected();
        // A named run the client did not end, or one left in the middle of a service, failed: a
        // user's stop is told by FechaExecucao. A run of a client that names none ends with the
        // connection.
        using namespace CopyService::RunOutcomeCode;
        if (m_run->failed || midService || m_run->named) {
            end(Failed, m_run->failed ? m_run->error
                                      : u"a conexão terminou antes do fim da execução (cliente desconectado ou servidor "
                                        u"parado)"_s);
        } else {
            end(Completed);
        }
    } catch (const EHouseError &error) {
        serverLog(u"run %1 left open in the journal: %2"_s.arg(m_run ? m_run->id : 0).arg(error.message()));
    } catch (...) {
        serverLog(u"run %1 left open in the journal"_s.arg(m_run ? m_run->id : 0));
    }
}

void RunJournal::queried(const Query &query)
{
    if (m_run && (m_run->wrote || m_run->failed || m_run->named))
        end(m_run->failed ? CopyService::RunOutcomeCode::Failed : CopyService::RunOutcomeCode::Completed, m_run->error);
    m_query = query;
    // Opened now, in a transaction of its own, so that the run is in the journal whatever
    // becomes of a transaction the client opens later.
    if (m_db.inTransaction())
        return;
    if (m_run) {
        // nothing written since the last query: the same run, asked again
        m_run->filial = query.filial;
        m_run->modo = query.modo;
        m_run->origem = query.origem;
        m_run->filtros = query.filtros;
        m_run->inicio = journalNow();
        m_db.inOwnTransaction([&] { store(*m_run, CopyService::RunOutcomeCode::Open, std::nullopt); });
        return;
    }
    Run fresh;
    fresh.filial = query.filial;
    fresh.operador = m_operator;
    fresh.modo = query.modo;
    fresh.origem = query.origem;
    fresh.filtros = query.filtros;
    create(fresh);
    m_run = fresh;
}

qint64 RunJournal::open(const QString &filial, double destino, const QString &operador)
{
    if (m_db.inTransaction())
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           u"A execução é aberta fora de transação: confirme ou desfaça a transação aberta antes."_s);
    if (!m_run || m_run->wrote || m_run->named || m_run->filial != filial)
        throw ERemoteError(Wire::ErrorCode::ServiceFailed,
                           u"Não há consulta de serviços (getServInte) da filial %1 para abrir uma execução."_s.arg(filial));
    m_run->named = true;
    m_run->destino = destino;
    m_run->operador = operador;
    m_run->destinationStored = true;
    m_db.inOwnTransaction([&] { store(*m_run, CopyService::RunOutcomeCode::Open, std::nullopt); });
    return m_run->id;
}

void RunJournal::close(const QString &execucao, QChar outcome)
{
    using namespace CopyService::RunOutcomeCode;
    if (outcome != Completed && outcome != Failed && outcome != Interrupted)
        throw ERemoteError(Wire::ErrorCode::ServiceFailed,
                           u"Situação de execução desconhecida: \"%1\" (C, F ou I)."_s.arg(outcome));
    if (!m_run || execucao != QString::number(m_run->id))
        throw ERemoteError(Wire::ErrorCode::ServiceFailed,
                           u"A execução %1 não está aberta nesta conexão."_s.arg(execucao.left(20)));
    if (m_db.inTransaction())
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           u"A execução é fechada fora de transação: confirme ou desfaça a transação aberta antes."_s);
    end(outcome, outcome == Failed ? m_run->error : QString());
}

void RunJournal::failed(const QString &why)
{
    if (!m_run)
        return;
    if (!m_run->failed)
        m_run->error = why;
    m_run->failed = true;
}

qint64 RunJournal::serviceOfCopy(const QString &execucao, const QString &filial, double destino,
                                 const QString &operador)
{
    bool numeric = false;
    execucao.toLongLong(&numeric);
    if (m_run && numeric && execucao != QString::number(m_run->id))
        throw ERemoteError(Wire::ErrorCode::ServiceFailed,
                           u"A execução %1 não está aberta nesta conexão."_s.arg(execucao));
    if (m_operator.isEmpty())
        m_operator = operador;
    Run &current = ensureRun(filial, destino);
    if (current.operador.isEmpty())
        current.operador = operador;
    current.wrote = true;
    return current.nextOrder++;
}

RunJournal::Run &RunJournal::ensureRun(const QString &filial, double destino)
{
    if (!m_run) {
        Run fresh;
        fresh.filial = filial;
        fresh.operador = m_operator;
        fresh.destino = destino;
        if (m_query && m_query->filial == filial) {
            fresh.modo = m_query->modo;
            fresh.origem = m_query->origem;
            fresh.filtros = m_query->filtros;
        }
        fresh.destinationStored = true;
        fresh.createdInTransaction = m_db.inTransaction();
        create(fresh);
        m_run = fresh;
        qCDebug(lcJournal) << "run" << fresh.id << "opened by a write";
    }
    return *m_run;
}

void RunJournal::create(Run &fresh)
{
    fresh.inicio = journalNow();
    const auto insert = [&] {
        fresh.id = single(m_db, insertRun(m_db.dialect()),
                          {{u":CDFILIAL"_s, fresh.filial}, {u":CDOPERADOR"_s, fresh.operador},
                           {u":DTINICIO"_s, m_db.dialect().dateTimeValue(fresh.inicio)}})
                       .toLongLong();
        if (fresh.origem || fresh.destino)
            store(fresh, CopyService::RunOutcomeCode::Open, std::nullopt);
    };
    if (fresh.createdInTransaction)
        insert();
    else
        m_db.inOwnTransaction(insert);
}

void RunJournal::store(const Run &stored, QChar outcome, std::optional<double> ended, const QString &error)
{
    const SqlDialect &dialect = m_db.dialect();
    const auto date = [&dialect](const std::optional<double> &value) {
        return value ? dialect.dateTimeValue(*value) : QVariant();
    };
    PreparedStatement &statement = m_db.statement(StoreRun);
    const double id = double(stored.id);
    for (const auto &[placeholder, value] :
         {std::pair<QString, QVariant>{u":CDFILIAL"_s, stored.filial}, {u":CDOPERADOR"_s, stored.operador},
          {u":IDTPSERVHOSP"_s, textOrNull(stored.modo)}, {u":DTORIGEM"_s, date(stored.origem)},
          {u":DTDESTINO"_s, date(stored.destino)}, {u":DTINICIO"_s, dialect.dateTimeValue(stored.inicio)},
          {u":DTFIM"_s, date(ended)}, {u":IDSITUACAO"_s, QString(outcome)},
          {u":DSERRO"_s, textOrNull(fitted(error, u"DSERRO"_s))}, {u":ID2"_s, id}, {u":ID3"_s, id},
          {u":IDEXECUCAO"_s, id}})
        statement.bind(placeholder, value);
    for (qsizetype i = 0; i < FilterColumns.size(); ++i) {
        const QString filter = i < stored.filtros.size() ? stored.filtros.at(i) : QString();
        statement.bind(u':' + FilterColumns.at(i), textOrNull(fitted(filter, FilterColumns.at(i))));
    }
    statement.exec();
}

void RunJournal::noteDestination(double destino)
{
    if (!m_run || m_run->destinationStored)
        return;
    m_run->destino = destino;
    store(*m_run, CopyService::RunOutcomeCode::Open, std::nullopt);
    m_run->destinationStored = true;
}

void RunJournal::end(QChar outcome, const QString &error)
{
    if (!m_run)
        return;
    const Run ending = *m_run;
    qCDebug(lcJournal).noquote() << "run" << ending.id << "ends" << QString(outcome) << logLineText(error);
    m_run.reset();
    m_entries.clear();
    m_entriesAtStart = 0;
    if (!ending.wrote && !ending.failed && !ending.named) {
        // a query that no write followed is no run
        m_db.inOwnTransaction([&] { run(m_db, DeleteRun, {{u":IDEXECUCAO"_s, double(ending.id)}}); });
        return;
    }
    m_db.inOwnTransaction([&] { store(ending, outcome, journalNow(), error); });
}

Statements::BoundStatement RunJournal::pictureStatement(qint64 order, const ServiceKey &key, QChar version)
{
    const QVariant data = m_db.dialect().dateTimeValue(key.data);
    const QVariant id = double(m_run->id), ordinal = double(order), ver = QString(version);
    if (m_pictureSql.isEmpty())
        m_pictureSql = JournalSql::pictureOfService(m_db.dialect());
    return {m_pictureSql,
            {{u":ID1"_s, id}, {u":ORD1"_s, ordinal}, {u":VER1"_s, ver}, {u":P1"_s, key.paciente}, {u":D1"_s, data},
             {u":F1"_s, key.filial}, {u":S1"_s, key.servico}, {u":T1"_s, key.dieta}, {u":ID2"_s, id},
             {u":ORD2"_s, ordinal}, {u":VER2"_s, ver}, {u":P2"_s, key.paciente}, {u":D2"_s, data},
             {u":F2"_s, key.filial}, {u":S2"_s, key.servico}, {u":T2"_s, key.dieta}}};
}

qint64 RunJournal::picture(qint64 order, const ServiceKey &key, QChar version)
{
    return run(m_db, pictureStatement(order, key, version)).rowsAffected();
}

qint64 RunJournal::replace(qint64 order, const ServiceKey &key)
{
    noteDestination(key.data);
    // The picture first: when it finds nothing there is nothing to remove either.
    if (picture(order, key, u'A') <= 0)
        return 0;
    try {
        return run(m_db, DeleteServices,
                   {{u":CDPACIENTE"_s, key.paciente}, {u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(key.data)},
                    {u":CDFILIAL"_s, key.filial}, {u":CDSERVFILI"_s, key.servico}, {u":CDDIETPAD"_s, key.dieta}})
            .rowsAffected();
    } catch (const EHouseError &) {
        // inside a client's transaction the call must leave nothing behind, its picture neither
        try {
            run(m_db, DeletePicture,
                {{u":IDEXECUCAO"_s, double(m_run->id)}, {u":NRORDEM"_s, double(order)}, {u":IDVERSAO"_s, u"A"_s}});
        } catch (const EHouseError &) {
        }
        throw;
    }
}

void RunJournal::nothingToReplace(const ServiceKey &key) { noteDestination(key.data); }

Statements::BoundStatement RunJournal::pictureOfWritten(qint64 order, const ServiceKey &key)
{
    return pictureStatement(order, key, u'N');
}

void RunJournal::runFor(const QString &filial, double destino) { ensureRun(filial, destino); }

qint64 RunJournal::classicDelete(const ServiceKey &key)
{
    Run &current = ensureRun(key.filial, key.data);
    const qint64 order = current.nextOrder++;
    const qint64 removed = replace(order, key);
    if (removed > 0) {
        current.wrote = true;
        m_entries.append({order, key, {}, false, false});
    }
    return removed;
}

void RunJournal::classicServiceInserted(const ServiceKey &key, const QString &sequencia)
{
    Run &current = ensureRun(key.filial, key.data);
    noteDestination(key.data);
    current.wrote = true;
    for (Entry &entry : m_entries) {
        if (entry.sequencia.isEmpty() && sameKey(entry.key, key)) {
            entry.sequencia = sequencia;
            entry.pending = true;
            return;
        }
    }
    m_entries.append({current.nextOrder++, key, sequencia, false, true});
}

void RunJournal::classicItemInserted(const QString &paciente, double data, const QString &sequencia,
                                     const QString &filial)
{
    // an item under a service this run did not write is no service of the run
    for (Entry &entry : m_entries) {
        if (entry.key.paciente == paciente && entry.key.data == data && entry.sequencia == sequencia
            && entry.key.filial == filial) {
            entry.pending = true;
            return;
        }
    }
}

void RunJournal::picturePending()
{
    for (Entry &entry : m_entries) {
        if (!entry.pending)
            continue;
        if (entry.pictured) {
            run(m_db, DeletePicture,
                {{u":IDEXECUCAO"_s, double(m_run->id)}, {u":NRORDEM"_s, double(entry.order)}, {u":IDVERSAO"_s, u"N"_s}});
        }
        picture(entry.order, entry.key, u'N');
        entry.pictured = true;
        entry.pending = false;
    }
}

RunJournal::RunJournal(DbSession &db) : m_db(db) { m_db.setTransactionListener(this); }

RunJournal::~RunJournal() { m_db.setTransactionListener(nullptr); }

void RunJournal::transactionEvent(Event event)
{
    switch (event) {
    case Event::Began:
        m_entriesAtStart = m_entries.size();
        return;
    case Event::Committing:
        // the pictures of what the transaction wrote commit with it
        picturePending();
        return;
    case Event::Committed:
        if (m_run)
            m_run->createdInTransaction = false;
        m_entriesAtStart = m_entries.size();
        return;
    case Event::RolledBack:
        if (m_run && m_run->createdInTransaction) {
            // the run's row went with the transaction
            m_run.reset();
            m_entries.clear();
            m_entriesAtStart = 0;
            return;
        }
        if (m_entriesAtStart < m_entries.size())
            m_entries.resize(m_entriesAtStart);
        for (Entry &entry : m_entries)
            entry.pending = false;
        return;
    }
}

} // namespace rbx
