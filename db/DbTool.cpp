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
        u"Cria o banco de dados do serviço remoto de cópia.\n\n"
        "  schema URL   cria as tabelas que faltam\n"
        "  demo URL     cria as tabelas e as preenche com o hospital de demonstração\n\n"
        "URL: sqlite:CAMINHO ou firebird://HOST[:PORTA]/CAMINHO (CAMINHO absoluto no servidor; o\n"
        "banco é criado quando não existe, com as credenciais de ISC_USER e ISC_PASSWORD)"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"Mostra esta ajuda."_s);
    parser.addOption(help);
    const QCommandLineOption patients(u"patients"_s, u"Pacientes do hospital de demonstração (padrão 40)."_s, u"N"_s, u"40"_s);
    const QCommandLineOption date(u"date"_s, u"Dia das prescrições de demonstração (padrão: ontem)."_s,
                                    u"AAAA-MM-DD"_s);
    parser.addOption(patients);
    parser.addOption(date);
    parser.addPositionalArgument(u"comando"_s, u"schema ou demo"_s);
    parser.addPositionalArgument(u"url"_s, u"sqlite:CAMINHO ou firebird://HOST[:PORTA]/CAMINHO"_s);
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }

    const QStringList args = parser.positionalArguments();
    if (args.size() != 2 || (args.at(0) != u"schema"_s && args.at(0) != u"demo"_s))
        return fail(u"uso: rbx53207-db schema|demo URL [--patients N] [--date AAAA-MM-DD]"_s);

    DemoOptions options;
    bool ok = false;
    options.patients = parser.value(patients).toInt(&ok);
    if (!ok || options.patients < 1 || options.patients > DemoHospital::MaxPatients)
        return fail(u"--patients deve ser um número de 1 a %1."_s.arg(DemoHospital::MaxPatients));
    options.date = parser.isSet(date) ? QDate::fromString(parser.value(date), Qt::ISODate)
                                      : QDate::currentDate().addDays(-1);
    if (!options.date.isValid())
        return fail(u"--date deve ser uma data no formato AAAA-MM-DD."_s);

    try {
        auto database = Database::open(args.at(1), u"rbx53207-db"_s);
        if (args.at(0) == u"schema"_s) {
            Schema::create(*database);
            QTextStream(stdout) << "esquema pronto em " << args.at(1) << Qt::endl;
            return 0;
        }
        const DemoSummary summary = DemoHospital::create(*database, options);
        QTextStream(stdout) << "hospital de demonstração em " << options.date.toString(Qt::ISODate) << ": "
                            << summary.patients << " pacientes (" << summary.inPatients << " internados), "
                            << summary.beds << " leitos, " << summary.services << " serviços com " << summary.items
                            << " itens na data" << Qt::endl;
        return 0;
    } catch (const EHouseError &error) {
        return fail(error.message());
    }
}
