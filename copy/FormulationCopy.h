#pragma once

#include "rbx_copy_export.h"

#include "CopyForm.h"
#include "CopyServiceClient.h"
#include "TClientDataSet.h"

#include <QString>

#include <functional>

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

struct CopyOutcome
{
    bool confirmed = false; // false: "Conf_Oper" was not answered Yes and nothing was called
    qsizetype services = 0;
    qint64 items = 0;
    qint64 runId = 0; // the run as the server journals it; 0 from a server that journals none
};

// How a run ended, as the server's journal keeps it.
enum class RunOutcome { Completed, Failed, Interrupted };

// "2" for the lactário form mode (exactly "N"), "1" for any other.
RBX_COPY_EXPORT QString modeArgument(const QString &tipoForm);

// The sequence after `current`, fitted to the column's width. Raises EConvertError when
// `current` is no decimal integer or the next number no longer fits the column.
RBX_COPY_EXPORT QString nextSequence(const QString &current, int width);

// The Confirm button's run: validates the form, asks "Conf_Oper", fetches the origin services
// with getServInte and copies each, with its composition items, to the destination date, then
// shows "Cop_Suces". A server that offers CopServInte copies each service itself, and the
// copies are pipelined; otherwise each service's calls, from DelServ to its last InsConfesco, run in one
// transaction of the service: a failure rolls that service back and is raised unchanged, while
// the services committed before it stay copied. Validation failures raise through
// CopyForm::mensErro; remote failures as CopyServiceClient raises them.
class RBX_COPY_EXPORT FormulationCopy final
{
public:
    FormulationCopy(CopyForm &form, CopyServiceClient &service, const CopyRecordSets &recordSets)
        : m_form(form), m_service(service), m_sets(recordSets)
    {
    }
    Q_DISABLE_COPY_MOVE(FormulationCopy)

    void setProgressHandler(CopyProgressHandler handler) { m_progress = std::move(handler); }
    // Makes the classic calls for every service even when the server offers its own copy.
    void setCallByCall(bool callByCall) { m_callByCall = callByCall; }

    // stFilial goes by reference to every call that takes the branch and keeps what the
    // service leaves in it.
    CopyOutcome run(QString &stFilial, const QString &stTipoForm, const QString &operador);

    // The run being stopped at the user's request: an error that ends it now ends it as
    // interrupted, not failed, in the server's journal.
    void noteInterrupted() { m_interrupted = true; }
    // The server's id of the last run, also after it failed (0: none journaled); what undoes it.
    qint64 runId() const { return m_runId; }

private:
    void validate();
    [[noreturn]] void fail(const QString &controlName, const QString &key);
    ServInteFilters filterArguments() const;
    qsizetype copyService(QString &stFilial, const QString &operador, double destino, QString &nrSequServ);
    qsizetype copyServiceCalls(QString &stFilial, const QString &operador, double destino, QString &nrSequServ);
    // Every service of cdsServInte copied by the server, several copies in flight at once.
    void copyServerSide(const QString &stFilial, const QString &operador, double destino, const QString &execucao,
                        CopyOutcome &outcome);
    void copyAll(QString &stFilial, const QString &operador, double destino, CopyOutcome &outcome);
    // Tells the server how the run ended; a failure to tell it is no failure of the copy.
    void endRun(RunOutcome how);
    void reportCopied(CopyOutcome &outcome, qsizetype total, qsizetype items, const QString &cdPaciente,
                      const QString &cdServFili, const QString &cdDietPad, const QString &nrSequServ);

    CopyForm &m_form;
    CopyServiceClient &m_service;
    CopyRecordSets m_sets;
    CopyProgressHandler m_progress;
    bool m_callByCall = false;
    bool m_interrupted = false;
    qint64 m_runId = 0;
};
