#pragma once

#include <copy/rbx_copy_export.h>

#include "CopyForm.h"
#include <remote/CopyServiceClient.h>
#include <house/TClientDataSet.h>

#include <QString>

#include <atomic>
#include <functional>

namespace rbx {

// The four record sets a run loads; the screen holds them as cdsServInte, cdsNrServInte,
// cdsNrConfesco and cdsConfesco.
struct CopyRecordSets
{
    TClientDataSet &servInte;
    TClientDataSet &nrServInte;
    TClientDataSet &nrConfesco;
    TClientDataSet &confesco;
};

// Declares the four record sets' fields from the service's packet layouts.
RBX_COPY_EXPORT void declareCopyFields(const CopyRecordSets &recordSets);

// The four record sets of a run away from the screen (the headless command, benchmarks, tests),
// their fields declared.
struct OwnedCopyRecordSets
{
    TClientDataSet servInte{QStringLiteral("cdsServInte")};
    TClientDataSet nrServInte{QStringLiteral("cdsNrServInte")};
    TClientDataSet nrConfesco{QStringLiteral("cdsNrConfesco")};
    TClientDataSet confesco{QStringLiteral("cdsConfesco")};

    OwnedCopyRecordSets() { declareCopyFields(sets()); }
    CopyRecordSets sets() { return {servInte, nrServInte, nrConfesco, confesco}; }
};

// Reported after each service is committed at the destination.
struct CopyProgress
{
    qsizetype servicesDone = 0;
    qsizetype servicesTotal = 0;
    qsizetype serviceItems = 0; // items of the service just copied
    qint64 itemsDone = 0;       // items copied by the run so far
    QString cdPaciente, cdServFili, cdDietPad;
    QString nrSequServ; // the service's sequence at the destination
};
using CopyProgressHandler = std::function<void(const CopyProgress &)>;
// After "Conf_Oper" is answered Yes, before the first remote call.
using CopyConfirmedHandler = std::function<void()>;
// After getServInte, before the first service is copied.
using CopyStartHandler = std::function<void(qsizetype servicesTotal)>;

// How a run ended. A failure still raises; the outcome the run kept up to then says so.
enum class CopyEnd {
    NotRun,      // a validation text, or "Conf_Oper" not answered Yes: nothing was written
    Completed,   // every service fetched was copied
    Interrupted, // stopped on request: the services counted are copied, the others untouched
    Failed,      // an error after the confirmation ended it
};

struct CopyOutcome
{
    bool confirmed = false; // false: "Conf_Oper" was not answered Yes and nothing was called
    CopyEnd end = CopyEnd::NotRun;
    qsizetype services = 0;      // copied, whole
    qsizetype servicesTotal = 0; // fetched by getServInte
    qint64 items = 0;
    qint64 runId = 0; // the run as the server journals it; 0 from a server that journals none
    // Services sent whose answers were lost with the connection: the server may have copied them.
    qsizetype unconfirmed = 0;
};

// How a run ended, as the server's journal keeps it.
enum class RunOutcome { Completed, Failed, Interrupted };

// "2" for the lactário form mode (exactly "N"), "1" for any other.
RBX_COPY_EXPORT QString modeArgument(const QString &tipoForm);

// The Confirm button's run: validates the form, asks "Conf_Oper", fetches the origin services
// with getServInte and copies each, with its composition items, to the destination date, then
// shows "Cop_Suces"; a run stopped on request shows nothing of its own and ends Interrupted,
// for the caller to report. A server that offers CopServInte copies each service itself, and
// the copies are pipelined; otherwise each service's calls, from DelServ to its last
// InsConfesco, run in one transaction of the service: a failure rolls that service back and is
// raised unchanged, while the services committed before it stay copied. Validation failures
// raise through CopyForm::mensErro; remote failures as CopyServiceClient raises them.
class RBX_COPY_EXPORT FormulationCopy final
{
public:
    FormulationCopy(CopyForm &form, CopyServiceClient &service, const CopyRecordSets &recordSets)
        : m_form(form), m_service(service), m_sets(recordSets)
    {
    }
    Q_DISABLE_COPY_MOVE(FormulationCopy)

    void setProgressHandler(CopyProgressHandler handler) { m_progress = std::move(handler); }
    void setConfirmedHandler(CopyConfirmedHandler handler) { m_confirmed = std::move(handler); }
    void setStartHandler(CopyStartHandler handler) { m_start = std::move(handler); }

    // Stops the run after the service being copied: no further service is started, and on the
    // server-side path the copies already sent are received and counted. Safe from another
    // thread and from a signal handler (a lock-free store).
    void requestStop() noexcept { m_stopRequested.store(true, std::memory_order_relaxed); }
    bool stopRequested() const noexcept { return m_stopRequested.load(std::memory_order_relaxed); }
    // The run so far; after a failure (the run raised) it says Failed and what was copied.
    const CopyOutcome &outcome() const { return m_outcome; }
    // Makes the classic calls for every service even when the server offers its own copy.
    void setCallByCall(bool callByCall) { m_callByCall = callByCall; }
    // The server's id of the last run, also after it failed (0: none journaled); what undoes it.
    qint64 runId() const { return m_runId; }

    // stFilial goes by reference to every call that takes the branch and keeps what the
    // service leaves in it.
    CopyOutcome run(QString &stFilial, const QString &stTipoForm, const QString &operador);

private:
    void validate();
    [[noreturn]] void fail(const QString &controlName, const QString &key);
    ServInteFilters filterArguments() const;
    qsizetype copyService(QString &stFilial, const QString &operador, double destino, QString &nrSequServ);
    qsizetype copyServiceCalls(QString &stFilial, const QString &operador, double destino, QString &nrSequServ);
    // Every service of cdsServInte copied by the server, several copies in flight at once.
    void copyServerSide(const QString &stFilial, const QString &operador, double destino, const QString &execucao);
    void copyCallByCall(QString &stFilial, const QString &operador, double destino);
    void reportCopied(qsizetype items, const QString &cdPaciente, const QString &cdServFili,
                      const QString &cdDietPad, const QString &nrSequServ);
    // Tells the server how the run ended; a failure to tell it is no failure of the copy.
    void endRun(RunOutcome how);

    CopyForm &m_form;
    CopyServiceClient &m_service;
    CopyRecordSets m_sets;
    CopyProgressHandler m_progress;
    CopyConfirmedHandler m_confirmed;
    CopyStartHandler m_start;
    bool m_callByCall = false;
    static_assert(std::atomic<bool>::is_always_lock_free, "requestStop must be safe in a signal handler");
    std::atomic<bool> m_stopRequested = false;
    CopyOutcome m_outcome;
    qint64 m_runId = 0;
};

} // namespace rbx
