// rbx53207-db: creates the copy service's schema, or the schema with the demo hospital; keeps the
// operators who log in and the workstations' read-only user on Firebird; backs the database up,
// restores and checks it.
#include "Database.h"
#include "DatabaseBackup.h"
#include "DatabaseCheck.h"
#include "DatabaseRestore.h"
#include "DbToolOutput.h"
#include "DemoHospital.h"
#include "FirebirdConnection.h"
#include <protocol/HouseError.h>
#include <protocol/LogCategories.h>
#include <protocol/QtTranslations.h>
#include "OperatorAccounts.h"
#include "Schema.h"
#include "SchemaVersion.h"
#include <protocol/SecretInput.h>
#include "WorkstationAccess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

int fail(const QString &message) { return DbToolOutput::fail(message); }

std::optional<QString> newPassword(const QString &whose)
{
    const std::optional<QString> password = SecretInput::readLine(stdin, u"Nova senha de %1: "_s.arg(whose));
    if (!password || password->isEmpty())
        return std::nullopt;
    return password;
}

int accounts(const QString &command, const QString &url, const QString &name)
{
    try {
        auto database = Database::open(url, u"rbx53207-db"_s);
        if (command == u"workstation-user"_s) {
            const std::optional<QString> password = newPassword(name);
            if (!password)
                return fail(u"a senha não pode ser vazia."_s);
            WorkstationAccess::grantWorkstationUser(*database, name, *password);
            QTextStream(stdout) << "usuário das estações " << name << " pronto" << Qt::endl;
            return 0;
        }
        Schema::create(*database);
        if (command == u"passwd"_s) {
            if (name.trimmed().isEmpty() || name.size() > Schema::column(u"OPERADOR"_s, u"CDOPERADOR"_s).size)
                return fail(u"o código do operador deve ter de 1 a %1 caracteres."_s.arg(
                    Schema::column(u"OPERADOR"_s, u"CDOPERADOR"_s).size));
            const std::optional<QString> password = newPassword(name);
            if (!password)
                return fail(u"a senha não pode ser vazia."_s);
            const std::optional<ScramVerifier> verifier = ScramVerifier::fromPassword(*password);
            if (!verifier)
                return fail(u"a senha não pôde ser preparada (caracteres não permitidos)."_s);
            OperatorAccounts::setPassword(*database, name, *verifier);
            QTextStream(stdout) << "senha de " << name << " definida" << Qt::endl;
            return 0;
        }
        const bool on = command == u"enable"_s || command == u"supervisor"_s;
        const bool found = command == u"enable"_s || command == u"disable"_s
                               ? OperatorAccounts::setActive(*database, name, on)
                               : OperatorAccounts::setSupervisor(*database, name, on);
        if (!found)
            return fail(u"o operador %1 não está cadastrado (rbx53207-db passwd o cadastra)."_s.arg(name));
        QTextStream(stdout) << "operador " << name << ": " << command << Qt::endl;
        return 0;
    } catch (const EHouseError &error) {
        return fail(error.message());
    }
}

// A backup, when asked for, is taken and checked before the first migration: a Firebird
// database's schema changes commit step by step.
int upgrade(const QString &url, const QString &backup)
{
    try {
        // looked at as a reader first: a database that is not there is not made
        std::optional<int> stored;
        {
            auto reader = Database::open(url, u"rbx53207-db-version"_s, Database::Role::Reader);
            stored = Schema::storedVersion(*reader);
        }
        if (!stored)
            return fail(u"%1 não tem o esquema do serviço de cópia: crie-o com \"rbx53207-db schema %1\"."_s.arg(url));
        if (*stored > Schema::CurrentVersion)
            return fail(Schema::versionRefusal(*stored, url));
        if (*stored == Schema::CurrentVersion) {
            QTextStream(stdout) << "o esquema já está na versão " << *stored << Qt::endl;
            return 0;
        }
        // a step cut short on Firebird leaves its committed changes: the way back is a backup
        if (backup.isEmpty() && FirebirdServer::isFirebirdUrl(url))
            return fail(u"no Firebird o esquema muda passo a passo: dê --backup ARQUIVO para uma cópia de segurança "
                        u"conferida antes da atualização."_s);
        if (!backup.isEmpty() && DatabaseBackup::run(url, backup) != 0)
            return fail(u"o esquema não foi atualizado: a cópia de segurança de antes falhou."_s);
        auto database = Database::open(url, u"rbx53207-db"_s);
        QTextStream out(stdout);
        Schema::upgrade(*database, [&out](int to) {
            out << "versão " << to << ": " << Schema::versionText(to) << Qt::endl;
        });
        out << "esquema atualizado da versão " << *stored << " para a " << Schema::CurrentVersion << Qt::endl;
        return 0;
    } catch (const EHouseError &error) {
        return fail(error.message());
    }
}

} // namespace

} // namespace rbx

using namespace rbx;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"rbx53207-db"_s);
    installQtTranslations();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Cria o banco de dados do serviço remoto de cópia.\n\n"
        "  schema URL   cria as tabelas que faltam\n"
        "  demo URL     cria as tabelas e as preenche com o hospital de demonstração\n"
        "  upgrade URL [--backup ARQUIVO]  leva o banco à versão do esquema deste programa, com uma\n"
        "                         cópia de segurança conferida antes, quando pedida\n"
        "  passwd URL OPERADOR    define a senha do operador (lida numa linha da entrada padrão),\n"
        "                         cadastrando-o quando é novo\n"
        "  enable URL OPERADOR    permite que o operador entre\n"
        "  disable URL OPERADOR   impede que o operador entre\n"
        "  supervisor URL OPERADOR       o operador desfaz cópias de outros nas suas filiais\n"
        "  nosupervisor URL OPERADOR     deixa de desfazê-las\n"
        "  workstation-user URL USUARIO  Firebird: o usuário das estações, que só lê as tabelas de\n"
        "                                consulta (senha lida da entrada padrão; papel RBX53207_CONSULTA)\n"
        "  backup URL ARQUIVO    cópia de segurança, com o servidor em uso, conferida antes de gravada\n"
        "  restore ARQUIVO URL [--force]  restaura a cópia; um banco com prescrições só com --force\n"
        "  check URL             integridade, versão do esquema e serviços de hoje e de ontem (saída\n"
        "                        0: ok, 1: não abriu, 2: integridade falhou, 3: esquema de outra versão)\n\n"
        "URL: sqlite:CAMINHO ou firebird://HOST[:PORTA]/CAMINHO (CAMINHO absoluto no servidor; o\n"
        "banco é criado quando não existe, com as credenciais de ISC_USER e ISC_PASSWORD)"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"Mostra esta ajuda."_s);
    parser.addOption(help);
    const QCommandLineOption patients(u"patients"_s, u"Pacientes do hospital de demonstração (padrão 40)."_s, u"N"_s, u"40"_s);
    const QCommandLineOption date(u"date"_s, u"Dia das prescrições de demonstração (padrão: ontem)."_s,
                                    u"AAAA-MM-DD"_s);
    const QCommandLineOption log = logOption();
    parser.addOption(patients);
    parser.addOption(date);
    parser.addOption(log);
    const QCommandLineOption force(u"force"_s, u"restore: substitui um banco que tem prescrições."_s);
    parser.addOption(force);
    const QCommandLineOption backup(u"backup"_s, u"upgrade: cópia de segurança, conferida, antes de atualizar."_s,
                                    u"ARQUIVO"_s);
    parser.addOption(backup);
    parser.addPositionalArgument(u"comando"_s, u"schema, demo, upgrade, backup, restore, check ou um comando de operadores"_s);
    parser.addPositionalArgument(u"url"_s, u"sqlite:CAMINHO ou firebird://HOST[:PORTA]/CAMINHO"_s);
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(log)) {
        if (const QString wrong = applyLogRules(parser.value(log)); !wrong.isEmpty())
            return fail(u"--log: "_s + wrong);
    }

    const QStringList args = parser.positionalArguments();
    static const QStringList accountCommands = {u"passwd"_s, u"enable"_s, u"disable"_s, u"supervisor"_s,
                                                u"nosupervisor"_s, u"workstation-user"_s};
    if (args.size() == 3 && accountCommands.contains(args.at(0)))
        return accounts(args.at(0), args.at(1), args.at(2));
    if (args.size() == 2 && args.at(0) == u"upgrade"_s)
        return upgrade(args.at(1), parser.value(backup));
    if (args.size() == 3 && args.at(0) == u"backup"_s)
        return DatabaseBackup::run(args.at(1), args.at(2));
    if (args.size() == 3 && args.at(0) == u"restore"_s)
        return DatabaseRestore::run(args.at(1), args.at(2), parser.isSet(force));
    if (args.size() == 2 && args.at(0) == u"check"_s)
        return DatabaseCheck::run(args.at(1));
    if (args.size() != 2 || (args.at(0) != u"schema"_s && args.at(0) != u"demo"_s))
        return fail(u"uso: rbx53207-db schema|demo URL [--patients N] [--date AAAA-MM-DD]\n"
                    u"     rbx53207-db upgrade URL [--backup ARQUIVO]\n"
                    u"     rbx53207-db passwd|enable|disable|supervisor|nosupervisor URL OPERADOR\n"
                    u"     rbx53207-db workstation-user URL USUARIO\n"
                    u"     rbx53207-db backup URL ARQUIVO | restore ARQUIVO URL [--force] | check URL"_s);

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
