// rbx53207-db: creates the copy service's schema, or the schema with the demo hospital.
#include "Database.h"
#include "DemoHospital.h"
#include "HouseError.h"
#include "QtTranslations.h"
#include "Schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "rbx53207-db: " << message << Qt::endl;
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"rbx53207-db"_s);
    installQtTranslations();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Creates the database of the remote copy service.\n\n"
        "  schema URL   create the missing tables\n"
        "  demo URL     create the tables and fill them with the demo hospital\n\n"
        "URL: sqlite:PATH or firebird://HOST[:PORT]/PATH (PATH absolute on the server; the\n"
        "database is created when missing, with the credentials of ISC_USER and ISC_PASSWORD)"_s);
    parser.addHelpOption();
    const QCommandLineOption patients(u"patients"_s, u"Patients of the demo hospital (default 40)."_s, u"N"_s, u"40"_s);
    const QCommandLineOption date(u"date"_s, u"Day of the demo prescriptions (default yesterday)."_s, u"YYYY-MM-DD"_s);
    parser.addOption(patients);
    parser.addOption(date);
    parser.addPositionalArgument(u"command"_s, u"schema or demo"_s);
    parser.addPositionalArgument(u"url"_s, u"sqlite:PATH or firebird://HOST[:PORT]/PATH"_s);
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 2 || (args.at(0) != u"schema"_s && args.at(0) != u"demo"_s))
        return fail(u"usage: rbx53207-db schema|demo URL [--patients N] [--date YYYY-MM-DD]"_s);

    DemoOptions options;
    bool ok = false;
    options.patients = parser.value(patients).toInt(&ok);
    if (!ok || options.patients < 1 || options.patients > DemoHospital::MaxPatients)
        return fail(u"--patients must be a number from 1 to %1"_s.arg(DemoHospital::MaxPatients));
    options.date = parser.isSet(date) ? QDate::fromString(parser.value(date), Qt::ISODate)
                                      : QDate::currentDate().addDays(-1);
    if (!options.date.isValid())
        return fail(u"--date must be a date as YYYY-MM-DD"_s);

    try {
        auto database = Database::open(args.at(1), u"rbx53207-db"_s);
        if (args.at(0) == u"schema"_s) {
            Schema::create(*database);
            QTextStream(stdout) << "schema ready in " << args.at(1) << Qt::endl;
            return 0;
        }
        const DemoSummary summary = DemoHospital::create(*database, options);
        QTextStream(stdout) << "demo hospital for " << options.date.toString(Qt::ISODate) << ": " << summary.patients
                            << " patients (" << summary.inPatients << " in), " << summary.beds << " beds, "
                            << summary.services << " services with " << summary.items << " items on the date"
                            << Qt::endl;
        return 0;
    } catch (const EHouseError &error) {
        return fail(error.message());
    }
}
