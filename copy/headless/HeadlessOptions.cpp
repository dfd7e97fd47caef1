#include "HeadlessOptions.h"

#include <protocol/LogCategories.h>
#include <protocol/OptionsFile.h>

#include <QCommandLineParser>

#include <utility>

namespace rbx {

namespace {

constexpr int MaxPort = 65535;

// HOST:PORTA into host and port; otherwise what is wrong with it, in one line.
QString parseServer(const QString &value, QString &host, int &port)
{
    const auto wrong = [&value](const QString &what) {
        return QStringLiteral("--server deve ser HOST:PORTA: %1 em \"%2\".").arg(what, value);
    };
    const qsizetype colon = value.lastIndexOf(u':');
    // "localhost", "localhost:", and "::1" without brackets: no port after the host
    if (colon < 0 || colon == value.size() - 1 || (value.count(u':') > 1 && !value.startsWith(u'[')))
        return wrong(QStringLiteral("falta a porta"));
    host = value.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) // [::1]:8211
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        return wrong(QStringLiteral("falta o host"));
    bool ok = false;
    port = value.mid(colon + 1).toInt(&ok);
    if (!ok || port <= 0 || port > MaxPort)
        return wrong(QStringLiteral("porta inválida (1 a %1)").arg(MaxPort));
    return {};
}

} // namespace

QString groupOptionName(FilterGroup group)
{
    switch (group) {
    case FilterGroup::Paciente: return QStringLiteral("patients");
    case FilterGroup::Servico: return QStringLiteral("services");
    case FilterGroup::Dieta: return QStringLiteral("diets");
    case FilterGroup::Andar: return QStringLiteral("floors");
    case FilterGroup::Ala: return QStringLiteral("wings");
    case FilterGroup::Leito: return QStringLiteral("beds");
    }
    Q_UNREACHABLE();
}

std::optional<QString> selectionListFromCodes(const QString &codes, QString *error)
{
    QString list;
    for (const QString &entry : codes.split(u',')) {
        const QString code = entry.trimmed();
        if (code.isEmpty())
            continue;
        for (const QChar c : code) {
            if (c == u'_' || c.isSpace()) {
                if (error)
                    *error = QStringLiteral("código inválido \"%1\"").arg(code);
                return std::nullopt;
            }
        }
        list += u'_' + code + u'_';
    }
    return list;
}

std::variant<HeadlessOptions, HeadlessUsage> parseHeadlessOptions(const QStringList &arguments, QDate today)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Copia as formulações (serviços e itens de composição) de uma data de origem para uma data de destino."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("Servidor de aplicação."),
                                    QStringLiteral("HOST:PORTA"));
    const QCommandLineOption tokenFile(QStringLiteral("token-file"),
                                       QStringLiteral("Arquivo com o token de acesso ao servidor."),
                                       QStringLiteral("ARQUIVO"));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("Arquivo com a senha do operador na primeira linha (modo 0600); sem ele, a senha é "
                       "pedida no terminal."),
        QStringLiteral("ARQUIVO"));
    const QCommandLineOption tlsCa(QStringLiteral("tls-ca"),
                                   QStringLiteral("Certificado (PEM) em que confiar: conecta com TLS e confere "
                                                  "o nome do servidor."),
                                   QStringLiteral("ARQUIVO"));
    const QCommandLineOption operatorCode(QStringLiteral("operator"), QStringLiteral("Código do operador."),
                                          QStringLiteral("CÓDIGO"));
    const QCommandLineOption branch(QStringLiteral("branch"), QStringLiteral("Código da filial."),
                                    QStringLiteral("CÓDIGO"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("E: enteral/parenteral (padrão), N: lactário."),
                                  QStringLiteral("E|N"), QStringLiteral("E"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("Data de origem (padrão: ontem)."),
                                  QStringLiteral("AAAA-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Data de destino (padrão: hoje)."),
                                QStringLiteral("AAAA-MM-DD"));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Confirma a operação sem perguntar."));
    const QCommandLineOption callByCall(QStringLiteral("call-by-call"),
                                        QStringLiteral("Copia cada serviço com as chamadas clássicas, uma a uma, "
                                                       "mesmo que o servidor copie por conta própria."));
    const QCommandLineOption configFile(
        QStringLiteral("config"),
        QStringLiteral("Arquivo INI com as mesmas chaves das opções longas; a linha de comando prevalece."),
        QStringLiteral("ARQUIVO"));
    const QCommandLineOption listRuns(QStringLiteral("list-runs"),
                                      QStringLiteral("Lista as execuções de cópia da filial, a mais recente primeiro; "
                                                     "--from e --to limitam os dias em que começaram."));
    const QCommandLineOption undo(QStringLiteral("undo"),
                                  QStringLiteral("Desfaz a execução de cópia EXECUÇÃO (pergunta antes, salvo com --yes)."),
                                  QStringLiteral("EXECUÇÃO"));
    const QCommandLineOption showRun(QStringLiteral("show-run"),
                                     QStringLiteral("Mostra a execução de cópia EXECUÇÃO: modo, datas, filtros e cada "
                                                    "serviço gravado, com o que substituiu."),
                                     QStringLiteral("EXECUÇÃO"));
    const QCommandLineOption log = logOption();
    QList<QCommandLineOption> known = {help,     server, tokenFile,  passwordFile, tlsCa,    operatorCode, branch,
                                       mode,     from,   to,         yes,          callByCall, configFile, listRuns,
                                       undo,     showRun, log};
    std::array<QCommandLineOption, 6> groups = {
        QCommandLineOption(groupOptionName(FilterGroup::Paciente),
                           QStringLiteral("Pacientes, separados por vírgula (padrão: todos)."), QStringLiteral("CÓDIGOS")),
        QCommandLineOption(groupOptionName(FilterGroup::Servico),
                           QStringLiteral("Serviços, separados por vírgula (padrão: todos)."), QStringLiteral("CÓDIGOS")),
        QCommandLineOption(groupOptionName(FilterGroup::Dieta),
                           QStringLiteral("Dietas, separadas por vírgula (padrão: todas)."), QStringLiteral("CÓDIGOS")),
        QCommandLineOption(groupOptionName(FilterGroup::Andar),
                           QStringLiteral("Andares, separados por vírgula (padrão: todos)."), QStringLiteral("CÓDIGOS")),
        QCommandLineOption(groupOptionName(FilterGroup::Ala),
                           QStringLiteral("Alas, separadas por vírgula (padrão: todas)."), QStringLiteral("CÓDIGOS")),
        QCommandLineOption(groupOptionName(FilterGroup::Leito),
                           QStringLiteral("Leitos, separados por vírgula (padrão: todos)."), QStringLiteral("CÓDIGOS")),
    };
    for (const QCommandLineOption &group : groups)
        known.append(group);
    parser.addOptions(known);

    const auto usage = [&parser](const QString &error) {
        return HeadlessUsage{error, parser.helpText() +
                                        QStringLiteral("\nSaída: 0 cópia feita; 1 opção, operador ou dados da "
                                                       "cópia inválidos, ou operação não confirmada; 2 falha "
                                                       "de conexão ou do serviço de cópia; 3 interrompida por SIGINT ou SIGTERM (os serviços "
                                                       "contados foram copiados inteiros, os demais ficaram "
                                                       "como estavam); 4 --undo: algum serviço não foi "
                                                       "desfeito; 5 sem senha (arquivo ilegível ou vazio, ou "
                                                       "nem arquivo nem terminal) ou entrada recusada "
                                                       "(operador ou senha inválidos).\n")};
    };
    const OptionsFileResult withFile = withOptionsFile(arguments, known);
    if (!withFile.error.isEmpty())
        return usage(withFile.error);
    if (!parser.parse(withFile.arguments))
        return usage(parser.errorText());
    if (parser.isSet(help))
        return usage({});
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("argumento inesperado: %1").arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(log)) {
        if (const QString wrong = applyLogRules(parser.value(log)); !wrong.isEmpty())
            return HeadlessUsage{QStringLiteral("--log: ") + wrong, {}};
    }
    HeadlessOptions options;
    if (!parser.isSet(server))
        return usage(QStringLiteral("--server HOST:PORTA é obrigatório."));
    // a mistyped address is told in one line: the help would hide it
    if (const QString wrong = parseServer(parser.value(server), options.host, options.port); !wrong.isEmpty())
        return HeadlessUsage{wrong, {}};
    if (!parser.isSet(operatorCode) || parser.value(operatorCode).trimmed().isEmpty())
        return usage(QStringLiteral("--operator é obrigatório."));
    if (!parser.isSet(branch) || parser.value(branch).trimmed().isEmpty())
        return usage(QStringLiteral("--branch é obrigatório."));
    options.tokenFile = parser.value(tokenFile);
    options.passwordFile = parser.value(passwordFile);
    options.tlsCaFile = parser.value(tlsCa);
    options.operatorCode = parser.value(operatorCode).trimmed();
    options.branch = parser.value(branch).trimmed();
    options.tipoForm = parser.value(mode);
    if (options.tipoForm != u"E" && options.tipoForm != u"N")
        return usage(QStringLiteral("--mode deve ser E ou N."));
    if (int(parser.isSet(listRuns)) + int(parser.isSet(undo)) + int(parser.isSet(showRun)) > 1)
        return usage(QStringLiteral("--list-runs, --show-run e --undo não vão juntos."));
    for (const auto &[option, action] : {std::pair{&undo, HeadlessOptions::Action::Undo},
                                         std::pair{&showRun, HeadlessOptions::Action::ShowRun}}) {
        if (!parser.isSet(*option))
            continue;
        bool numeric = false;
        options.run = parser.value(*option).trimmed().toLongLong(&numeric);
        if (!numeric || options.run <= 0)
            return usage(QStringLiteral("--%1 espera o número de uma execução.").arg(option->names().constFirst()));
        options.action = action;
    }
    if (parser.isSet(listRuns))
        options.action = HeadlessOptions::Action::ListRuns;
    const QString isoFormat = QStringLiteral("yyyy-MM-dd");
    const bool copying = options.action == HeadlessOptions::Action::Copy;
    options.from = parser.isSet(from) ? parser.value(from) : copying ? today.addDays(-1).toString(isoFormat) : QString();
    options.to = parser.isSet(to) ? parser.value(to) : copying ? today.toString(isoFormat) : QString();
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (!parser.isSet(groups[i]))
            continue;
        QString why;
        options.selections[i] = selectionListFromCodes(parser.value(groups[i]), &why);
        if (!options.selections[i])
            return usage(QStringLiteral("--%1: %2.").arg(groups[i].names().constFirst(), why));
    }
    options.assumeYes = parser.isSet(yes);
    options.callByCall = parser.isSet(callByCall);
    return options;
}

} // namespace rbx
