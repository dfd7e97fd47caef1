#include "FormulationCopy.h"

#include <copyrules/CopyRules.h>
#include "CopyWindow.h"
#include <contract/CopyServiceContract.h>
#include <protocol/HouseError.h>
#include <protocol/LogCategories.h>
#include <protocol/OleDate.h>
#include <house/TextRoutines.h>

#include <QElapsedTimer>
#include <QUuid>

#include <deque>

namespace rbx {

namespace {

QString requiredKey(FilterGroup group)
{
    switch (group) {
    case FilterGroup::Paciente: return QStringLiteral("Paciente_Inf");
    case FilterGroup::Servico: return QStringLiteral("Servico_Inf");
    case FilterGroup::Dieta: return QStringLiteral("Dieta_Inf");
    case FilterGroup::Andar: return QStringLiteral("Andar_Inf");
    case FilterGroup::Ala: return QStringLiteral("Ala_Inf");
    case FilterGroup::Leito: return QStringLiteral("Leito_Inf");
    }
    Q_UNREACHABLE();
}

// The one row a sequence method answers with. Without it there is nothing to count from.
QString sequenceAnswer(const TClientDataSet &set, const QString &field, const QString &method)
{
    if (set.IsEmpty())
        throw EConvertError(QStringLiteral("%1 não devolveu número de sequência.").arg(method));
    return set.FieldByName(field).AsString();
}

} // namespace

namespace CopyControl {

QString listRadio(FilterGroup group)
{
    switch (group) {
    case FilterGroup::Paciente: return QStringLiteral("rbtLPaci");
    case FilterGroup::Servico: return QStringLiteral("rbtLServ");
    case FilterGroup::Dieta: return QStringLiteral("rbtLDieta");
    case FilterGroup::Andar: return QStringLiteral("rbtLAndar");
    case FilterGroup::Ala: return QStringLiteral("rbtLAla");
    case FilterGroup::Leito: return QStringLiteral("rbtLLeito");
    }
    Q_UNREACHABLE();
}

QString dateEdit(CopyDate date)
{
    return date == CopyDate::Origem ? QStringLiteral("depOrigem") : QStringLiteral("depDestino");
}

} // namespace CopyControl

void declareCopyFields(const CopyRecordSets &recordSets)
{
    declareFields(recordSets.servInte, CopyService::servInteLayout());
    declareFields(recordSets.nrServInte, CopyService::nrServInteLayout());
    declareFields(recordSets.nrConfesco, CopyService::nrConfescoLayout());
    declareFields(recordSets.confesco, CopyService::confescoLayout());
}

QString modeArgument(const QString &tipoForm)
{
    return tipoForm == u"N" ? QStringLiteral("2") : QStringLiteral("1");
}


CopyOutcome FormulationCopy::run(QString &stFilial, const QString &stTipoForm, const QString &operador)
{
    m_outcome = {};
    validate();
    if (m_form.showMsg(QStringLiteral("Conf_Oper"), mtConfirmation, mbYes | mbNo) != mrYes)
        return m_outcome;
    m_outcome.confirmed = true;
    if (m_confirmed)
        m_confirmed();

    ServInteFilters filters = filterArguments();
    try {
        m_service.getServInte(stFilial, OleDate::fromDate(m_form.dateValue(CopyDate::Origem)), filters,
                              modeArgument(stTipoForm), m_sets.servInte);
    } catch (...) {
        m_outcome.end = CopyEnd::Failed;
        throw;
    }
    if (m_sets.servInte.IsEmpty())
        fail(CopyControl::dateEdit(CopyDate::Origem), QStringLiteral("Conf_Orig_NExt"));

    m_outcome.servicesTotal = m_sets.servInte.RecordCount();
    const double destino = OleDate::fromDate(m_form.dateValue(CopyDate::Destino));
    m_runId = 0;
    try {
        if (m_service.offersRuns())
            m_runId = m_service.AbreExecucao(stFilial, destino, operador);
        m_outcome.runId = m_runId;
        if (m_start)
            m_start(m_outcome.servicesTotal);
        if (!m_callByCall && m_service.offersCopServInte()) {
            // names the run, so that the server runs none of its copies after one that failed
            copyServerSide(stFilial, operador, destino,
                           m_runId ? QString::number(m_runId) : QUuid::createUuid().toString(QUuid::WithoutBraces));
        } else {
            copyCallByCall(stFilial, operador, destino);
        }
    } catch (...) {
        // The server saw the failure (the failed write, the rolled-back service) and ends the run
        // as failed itself, so the calls after it stay the rollback's.
        m_outcome.end = CopyEnd::Failed;
        throw;
    }

    if (m_outcome.services < m_outcome.servicesTotal) {
        m_outcome.end = CopyEnd::Interrupted;
        endRun(RunOutcome::Interrupted);
        return m_outcome;
    }
    m_outcome.end = CopyEnd::Completed;
    endRun(RunOutcome::Completed);
    m_form.showMsg(QStringLiteral("Cop_Suces"), mtInformation, mbYes); // Yes, not OK
    return m_outcome;
}

void FormulationCopy::endRun(RunOutcome how)
{
    if (!m_runId)
        return;
    const QChar code = how == RunOutcome::Completed ? CopyService::RunOutcomeCode::Completed
                       : how == RunOutcome::Failed  ? CopyService::RunOutcomeCode::Failed
                                                    : CopyService::RunOutcomeCode::Interrupted;
    try {
        m_service.FechaExecucao(m_runId, code);
    } catch (const EHouseError &) {
        // the rows are written either way; the server ends the run when the connection closes
    }
}

void FormulationCopy::reportCopied(qsizetype items, const QString &cdPaciente, const QString &cdServFili,
                                   const QString &cdDietPad, const QString &nrSequServ)
{
    ++m_outcome.services;
    m_outcome.items += items;
    if (m_progress)
        m_progress({m_outcome.services, m_outcome.servicesTotal, items, m_outcome.items, cdPaciente, cdServFili,
                    cdDietPad, nrSequServ});
}

void FormulationCopy::copyCallByCall(QString &stFilial, const QString &operador, double destino)
{
    const TClientDataSet &row = m_sets.servInte;
    const auto text = [&row](const char *name) { return row.FieldByName(QLatin1String(name)).AsString(); };
    while (!m_sets.servInte.Eof() && !stopRequested()) {
        QString nrSequServ;
        const qsizetype items = copyService(stFilial, operador, destino, nrSequServ);
        reportCopied(items, text("CDPACIENTE"), text("CDSERVFILI"), text("CDDIETPAD"), nrSequServ);
        m_sets.servInte.Next();
    }
}

void FormulationCopy::copyServerSide(const QString &stFilial, const QString &operador, double destino,
                                     const QString &execucao)
{
    // Enough copies in flight to keep the server busy across a slow link: the run then waits on
    // the network a few times, not once per service.
    CopyWindow pace;
    QElapsedTimer clock;
    std::size_t answered = 0;
    qint64 measuringSince = 0;
    struct InFlight
    {
        TNetConnection::Pending pending;
        QString cdPaciente, cdServFili, cdDietPad;
    };
    TClientDataSet &services = m_sets.servInte;
    const auto text = [&services](const char *name) { return services.FieldByName(QLatin1String(name)).AsString(); };
    std::deque<InFlight> window;
    // A stop sends nothing more; the copies already sent run on the server anyway, so their
    // answers are awaited and counted.
    const auto sending = [&] { return !services.Eof() && !stopRequested(); };
    while (sending() || !window.empty()) {
        // the first copy goes alone: its time is the link's round trip and one copy's work
        const std::size_t room = answered == 0 ? 1 : pace.size();
        while (sending() && window.size() < room) {
            if (answered == 0 && window.empty())
                clock.start();
            const QString cdPaciente = text("CDPACIENTE");
            qCDebug(lcCopy) << "CopServInte sent," << window.size() + 1 << "in flight of" << room;
            window.push_back({m_service.sendCopServInte(cdPaciente, services.FieldByName(QStringLiteral("DTSERVINTE")).AsDateTime(),
                                                        text("NRSEQUSERV"), stFilial, destino, operador, execucao),
                              cdPaciente, text("CDSERVFILI"), text("CDDIETPAD")});
            services.Next();
        }
        const InFlight copy = std::move(window.front());
        window.pop_front();
        try {
            const CopyServiceClient::CopServInteAnswer answer = m_service.receiveCopServInte(copy.pending);
            ++answered;
            if (answered == 1) {
                pace.firstAnswered(double(clock.nsecsElapsed()) / 1e9);
                measuringSince = clock.nsecsElapsed();
            } else if (answered == 1 + CopyWindow::Measured) {
                pace.measured(CopyWindow::Measured, double(clock.nsecsElapsed() - measuringSince) / 1e9);
                qCDebug(lcCopy) << "copies in flight from now on:" << pace.size();
            }
            reportCopied(answer.items, copy.cdPaciente, copy.cdServFili, copy.cdDietPad, answer.nrSequServ);
        } catch (const EConnectionError &) {
            // the server may have run this copy and those sent after it before the link went
            m_outcome.unconfirmed = qsizetype(window.size()) + 1;
            qCDebug(lcCopy) << "connection lost with" << m_outcome.unconfirmed << "copies unanswered";
            throw;
        } catch (...) {
            // The copies sent after the failed one are refused unrun; their answers are read so
            // that the connection stays usable for the calls after the run.
            try {
                for (const InFlight &unrun : window) {
                    try {
                        m_service.receiveCopServInte(unrun.pending);
                    } catch (const ERemoteError &) {
                    }
                }
            } catch (...) {
                // the connection went away: there is nothing left to read
            }
            throw;
        }
    }
}

void FormulationCopy::validate()
{
    for (const FilterGroup group : FilterGroups) {
        if (EmptyString(m_form.selectionList(group)) && m_form.listChecked(group))
            fail(CopyControl::listRadio(group), requiredKey(group));
    }
    if (EmptyString(m_form.dateText(CopyDate::Origem)))
        fail(CopyControl::dateEdit(CopyDate::Origem), QStringLiteral("Data_Origem_Inf"));
    // both checks run before the destination's emptiness is looked at
    m_form.checkValidDate(CopyDate::Origem);
    m_form.checkValidDate(CopyDate::Destino);
    if (EmptyString(m_form.dateText(CopyDate::Destino)))
        fail(CopyControl::dateEdit(CopyDate::Destino), QStringLiteral("Data_Destino_Inf"));

    const QDate origem = m_form.dateValue(CopyDate::Origem);
    const QDate destino = m_form.dateValue(CopyDate::Destino);
    // a form whose check let a non-date through must not send day 0 to the service
    if (!origem.isValid())
        fail(CopyControl::dateEdit(CopyDate::Origem), QStringLiteral("Data_Err"));
    if (!destino.isValid())
        fail(CopyControl::dateEdit(CopyDate::Destino), QStringLiteral("Data_Err"));
    if (!(destino > origem))
        fail(CopyControl::dateEdit(CopyDate::Origem), QStringLiteral("DtOrigem_Menor"));
}

void FormulationCopy::fail(const QString &controlName, const QString &key)
{
    m_form.setFocusTo(controlName);
    const QString text = m_form.msg(key);
    m_form.mensErro(text);
    // MensErro raises; this only stops a run whose form let it return
    throw EValidationError(text);
}

ServInteFilters FormulationCopy::filterArguments() const
{
    const auto pair = [this](FilterGroup group, QString &list, QString &all) {
        if (m_form.allChecked(group)) {
            list.clear();
            all = QStringLiteral("T");
        } else {
            list = m_form.selectionList(group);
            all.clear();
        }
    };
    ServInteFilters filters;
    pair(FilterGroup::Paciente, filters.pacientes, filters.todosPacientes);
    pair(FilterGroup::Servico, filters.servicos, filters.todosServicos);
    pair(FilterGroup::Dieta, filters.dietas, filters.todasDietas);
    pair(FilterGroup::Andar, filters.andares, filters.todosAndares);
    pair(FilterGroup::Ala, filters.alas, filters.todasAlas);
    pair(FilterGroup::Leito, filters.leitos, filters.todosLeitos);
    return filters;
}

qsizetype FormulationCopy::copyService(QString &stFilial, const QString &operador, double destino,
                                       QString &nrSequServ)
{
    // Without the transaction a failure would leave the destination's former service deleted,
    // or the copy with only part of its items.
    m_service.StartTransaction();
    try {
        const qsizetype items = copyServiceCalls(stFilial, operador, destino, nrSequServ);
        try {
            m_service.Commit();
        } catch (const EConnectionError &) {
            // the commit may have been carried out before its answer was lost
            m_outcome.unconfirmed = 1;
            throw;
        }
        return items;
    } catch (...) {
        try {
            m_service.Rollback();
        } catch (...) {
            // the error that ended the service is the one to report; a closed connection
            // undoes the transaction on the server anyway
        }
        throw;
    }
}

qsizetype FormulationCopy::copyServiceCalls(QString &stFilial, const QString &operador, double destino,
                                            QString &nrSequServ)
{
    const TClientDataSet &service = m_sets.servInte;
    const auto text = [&service](const char *name) { return service.FieldByName(QLatin1String(name)).AsString(); };
    const QString cdPaciente = text("CDPACIENTE");
    const double dtServInte = service.FieldByName(QStringLiteral("DTSERVINTE")).AsDateTime();

    m_service.DelServ(cdPaciente, destino, text("CDFILIAL"), text("CDSERVFILI"), text("CDDIETPAD"));

    m_service.getNrServInte(cdPaciente, destino, stFilial, m_sets.nrServInte);
    const QString nrSequServField = QStringLiteral("NRSEQUSERV");
    using CopyService::MethodId;
    nrSequServ = CopyRules::nextSequence(
        sequenceAnswer(m_sets.nrServInte, nrSequServField, CopyService::method(MethodId::getNrServInte).name),
        m_sets.nrServInte.FieldByName(nrSequServField).Size());

    const CopyServiceClient::ServInteRow row = CopyServiceClient::servInteRow(service, operador);
    m_service.InsServInte(row, destino, nrSequServ);

    m_service.getNrConfesco(cdPaciente, destino, nrSequServ, stFilial, m_sets.nrConfesco);
    const QString cdSequCoprField = QStringLiteral("CDSEQUCOPR");
    const int cdSequCoprWidth = m_sets.nrConfesco.FieldByName(cdSequCoprField).Size();
    QString cdSequCopr = CopyRules::nextSequence(
        sequenceAnswer(m_sets.nrConfesco, cdSequCoprField, CopyService::method(MethodId::getNrConfesco).name),
        cdSequCoprWidth);

    // the origin service's own key: its sequence and date, not the destination's
    m_service.getConfesco(cdPaciente, text("NRSEQUSERV"), dtServInte, stFilial, m_sets.confesco);

    TClientDataSet &items = m_sets.confesco;
    qsizetype copied = 0;
    while (!items.Eof()) {
        // The next number is taken from what the previous call left, and only when an item
        // needs it: a last item numbered 9999 must not fail for a 10000th that never comes.
        if (copied > 0)
            cdSequCopr = CopyRules::nextSequence(cdSequCopr, cdSequCoprWidth);

        const TField &consumption = items.FieldByName(QStringLiteral("DTCONSCONF"));
        CopyServiceClient::ConfescoRow item = CopyServiceClient::confescoRow(items);
        item.dtConsConf = CopyRules::movedConsumption(
            consumption.IsNull() ? std::nullopt : std::optional<double>(consumption.AsDateTime()), dtServInte, destino);
        m_service.InsConfesco(item, destino, nrSequServ, cdSequCopr, stFilial);

        ++copied;
        items.Next();
    }
    return copied;
}

} // namespace rbx
