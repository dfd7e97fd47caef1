#include "CopyRun.h"

#include "BenchReport.h"
#include "BenchSeeder.h"
#include <remote/CopyServiceClient.h>
#include <copy/FormulationCopy.h>
#include <copy/headless/HeadlessCopyForm.h>
#include <protocol/HouseError.h>

#include <QTextStream>

namespace rbx {

CopyRunResult runCopy(const CopyRunRequest &request)
{
    HeadlessOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = request.port;
    options.operatorCode = BenchSeeder::Operator;
    options.branch = BenchSeeder::Branch;
    options.tipoForm = BenchSeeder::EnteralMode;
    options.from = request.origin.toString(Qt::ISODate);
    options.to = request.destination.toString(Qt::ISODate);
    if (!request.patients.isEmpty())
        options.selections[0] = request.patients;
    options.assumeYes = true;

    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    HeadlessCopyForm form(options, out, err, nullptr);
    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connection.Host = options.host;
    connection.Port = options.port;
    BenchSeeder::signIn(connection);
    CopyServiceClient service(connection);

    CopyRunResult result;
    try {
        connection.SetConnected(true);
        QString stFilial = options.branch;
        TClientDataSet cdsNutricio(QStringLiteral("cdsNutricio"));
        declareFields(cdsNutricio, CopyService::nutricioLayout());
        service.getNutricio(options.operatorCode, stFilial, cdsNutricio);
        if (cdsNutricio.IsEmpty())
            throw EValidationError(QStringLiteral("the bench operator is no nutritionist of the branch"));

        OwnedCopyRecordSets recordSets;
        FormulationCopy copy(form, service, recordSets.sets());
        copy.setCallByCall(request.callByCall);
        const double started = monotonicSeconds();
        const CopyOutcome outcome = copy.run(stFilial, options.tipoForm, options.operatorCode);
        result.seconds = monotonicSeconds() - started;
        result.services = outcome.services;
        result.items = outcome.items;
        result.ok = outcome.confirmed;
        if (!result.ok)
            result.error = QStringLiteral("not confirmed");
    } catch (const EHouseError &failure) {
        result.error = failure.message();
    } catch (const std::exception &failure) {
        result.error = QString::fromUtf8(failure.what());
    }
    return result;
}

QString patientRange(qint64 first, qint64 end)
{
    QString list;
    for (qint64 p = first; p < end; ++p)
        list += u'_' + BenchSeeder::patientCode(int(p)) + u'_';
    return list;
}

qint64 specifiedCalls(qint64 services, qint64 items) { return 1 + 5 * services + items; }

qint64 roundTrips(qint64 services, qint64 items, bool namedRun)
{
    return specifiedCalls(services, items) + 2 * services + (namedRun ? 2 : 0);
}

} // namespace rbx
