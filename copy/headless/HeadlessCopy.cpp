#include "HeadlessCopy.h"

#include <copy/CopyReport.h>
#include <remote/CopyServiceClient.h>
#include <house/FormatText.h>
#include <copy/FormulationCopy.h>
#include "HeadlessCopyForm.h"
#include "HeadlessOptions.h"
#include "HeadlessRuns.h"
#include <protocol/HouseError.h>
#include <house/HouseSession.h>
#include <house/PasswordFile.h>
#include "StopSignals.h"
#include "TerminalPassword.h"

#include <QFile>
#include <QTextStream>

#include <optional>

namespace rbx {

namespace {

std::optional<QString> readToken(const QString &path, QString *error)
{
    if (path.isEmpty())
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--token-file: não foi possível ler %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

std::optional<QString> operatorPassword(const HeadlessOptions &options, QTextStream &err)
{
    QString error;
    if (!options.passwordFile.isEmpty()) {
        std::optional<QString> password = readPasswordFile(options.passwordFile, &error);
        if (!password)
            err << QStringLiteral("--password-file: %1").arg(error) << Qt::endl;
        return password;
    }
    err.flush(); // the question follows what was said before it
    std::optional<QString> password = askPasswordOnTerminal(options.operatorCode);
    if (!password)
        err << QStringLiteral("Sem senha para entrar: informe --password-file ARQUIVO ou rode num terminal.")
            << Qt::endl;
    return password;
}

void printProgress(QTextStream &out, const CopyProgress &progress)
{
    out << QStringLiteral("[%1/%2] paciente %3, serviço %4, dieta %5: copiado como sequência %6 com %7 %8.")
               .arg(formatCount(progress.servicesDone), formatCount(progress.servicesTotal),
                    progress.cdPaciente, progress.cdServFili, progress.cdDietPad, progress.nrSequServ,
                    formatCount(progress.serviceItems),
                    progress.serviceItems == 1 ? QStringLiteral("item") : QStringLiteral("itens"))
        << Qt::endl;
}

} // namespace

int runHeadlessCopy(const QStringList &arguments, QDate today, QTextStream &out, QTextStream &err, QTextStream *in)
{
    const auto parsed = parseHeadlessOptions(arguments, today);
    if (const auto *usage = std::get_if<HeadlessUsage>(&parsed)) {
        if (usage->error.isEmpty()) {
            out << usage->helpText;
            return HeadlessExit::Success;
        }
        err << usage->error << Qt::endl;
        if (!usage->helpText.isEmpty())
            err << Qt::endl << usage->helpText;
        return HeadlessExit::Validation;
    }
    const HeadlessOptions &options = std::get<HeadlessOptions>(parsed);

    QString error;
    const std::optional<QString> token = readToken(options.tokenFile, &error);
    if (!token) {
        err << error << Qt::endl;
        return HeadlessExit::Validation;
    }

    const std::optional<QString> password = operatorPassword(options, err);
    if (!password)
        return HeadlessExit::Login;

    HouseSessionInfo &session = houseSession();
    session.operatorCode = options.operatorCode;
    session.serverHost = options.host;
    session.serverPort = options.port;
    session.token = *token;
    session.password = *password;
    session.tlsCaFile = options.tlsCaFile;

    HeadlessCopyForm form(options, out, err, in);
    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connection.BeforeConnect = [](TNetConnection &net) { connectAsSession(net); };
    CopyServiceClient service(connection);
    QString stFilial = options.branch;
    OwnedCopyRecordSets recordSets;
    FormulationCopy copy(form, service, recordSets.sets());
    // taken once the question is answered: before that an interrupt ends the command as usual
    std::optional<StopOnSignals> stopOnSignals;
    CopyOutcome outcome;
    // after a failure too: the run to undo what it wrote before it
    const auto runNamed = [&copy, &err] {
        if (copy.runId() > 0)
            err << QStringLiteral("Execução %1 (desfaz-se com --undo %1).").arg(copy.runId()) << Qt::endl;
    };
    try {
        connection.SetConnected(true);
    } catch (const ERemoteError &refused) {
        if (refused.code() != Wire::ErrorCode::NotAuthorized) {
            err << refused.message() << Qt::endl;
            return HeadlessExit::ServiceFailure;
        }
        err << QStringLiteral("Operador ou senha inválidos.") << Qt::endl;
        return HeadlessExit::Login;
    } catch (const EHouseError &failure) {
        err << failure.message() << Qt::endl;
        return HeadlessExit::ServiceFailure;
    }
    try {
        // the session acts for the operator the server authenticated
        if (!connection.AuthenticatedOperator().isEmpty())
            session.operatorCode = connection.AuthenticatedOperator();

        TClientDataSet cdsNutricio(QStringLiteral("cdsNutricio"));
        declareFields(cdsNutricio, CopyService::nutricioLayout());
        service.getNutricio(Operador(), stFilial, cdsNutricio);
        if (cdsNutricio.IsEmpty()) {
            err << form.msg(QStringLiteral("Oper_Per")) << Qt::endl;
            return HeadlessExit::Validation;
        }

        if (options.action == HeadlessOptions::Action::ListRuns)
            return listHeadlessRuns(service, options, form, out, err);
        if (options.action == HeadlessOptions::Action::Undo)
            return undoHeadlessRun(service, options, form, out, err);
        if (options.action == HeadlessOptions::Action::ShowRun)
            return showHeadlessRun(service, options, out, err);

        copy.setCallByCall(options.callByCall);
        copy.setConfirmedHandler([&copy, &stopOnSignals] { stopOnSignals.emplace(copy); });
        copy.setProgressHandler([&out, &err, &copy, stopNoted = false](const CopyProgress &progress) mutable {
            printProgress(out, progress);
            if (copy.stopRequested() && !stopNoted) {
                stopNoted = true;
                err << QStringLiteral("Interrupção pedida: a cópia termina após os serviços já em cópia.") << Qt::endl;
            }
        });
        outcome = copy.run(stFilial, options.tipoForm, Operador());
    } catch (const EValidationError &failure) {
        err << failure.message() << Qt::endl;
        return HeadlessExit::Validation;
    } catch (const EHouseError &failure) {
        err << failure.message() << Qt::endl;
        if (copy.outcome().end == CopyEnd::Failed)
            err << CopyReport::failed(copy.outcome()) << Qt::endl;
        runNamed();
        return HeadlessExit::ServiceFailure;
    } catch (const std::exception &failure) {
        err << QString::fromUtf8(failure.what()) << Qt::endl;
        if (copy.outcome().end == CopyEnd::Failed)
            err << CopyReport::failed(copy.outcome()) << Qt::endl;
        return HeadlessExit::ServiceFailure;
    }

    if (!outcome.confirmed) {
        err << QStringLiteral("Operação não confirmada; nada foi copiado.") << Qt::endl;
        return HeadlessExit::Validation;
    }
    if (outcome.end == CopyEnd::Interrupted)
        out << CopyReport::interrupted(outcome) << Qt::endl;
    out << QStringLiteral("Serviços copiados: %1. Itens copiados: %2.")
               .arg(formatCount(outcome.services), formatCount(outcome.items))
        << (outcome.runId > 0 ? QStringLiteral(" Execução %1.").arg(outcome.runId) : QString()) << Qt::endl;
    return outcome.end == CopyEnd::Interrupted ? HeadlessExit::Interrupted : HeadlessExit::Success;
}

} // namespace rbx
