#include "OptionsFile.h"

#include <QFile>
#include <QHash>
#include <QTextStream>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

constexpr auto ConfigOption = "config"_L1;

// long option name -> whether it takes a value; help and config itself have no place in a file
QHash<QString, bool> knownKeys(const QList<QCommandLineOption> &options)
{
    QHash<QString, bool> keys;
    for (const QCommandLineOption &option : options) {
        for (const QString &name : option.names()) {
            if (name.size() > 1 && name != u"help"_s && name != ConfigOption)
                keys.insert(name, !option.valueName().isEmpty());
        }
    }
    return keys;
}

} // namespace

OptionsFileResult readOptionsFile(const QString &path, const QList<QCommandLineOption> &options)
{
    OptionsFileResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        result.error = u"%1: não foi possível ler o arquivo de configuração: %2"_s.arg(path, file.errorString());
        return result;
    }
    const QHash<QString, bool> keys = knownKeys(options);
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        const auto refuse = [&](const QString &why) {
            result.arguments.clear();
            result.error = u"%1, linha %2: %3"_s.arg(path).arg(lineNumber).arg(why);
            return result;
        };
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            return refuse(u"esperava CHAVE = VALOR, encontrou \"%1\""_s.arg(line));
        const QString key = line.left(equals).trimmed();
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        const auto known = keys.constFind(key);
        if (known == keys.cend())
            return refuse(u"chave desconhecida \"%1\""_s.arg(key));
        if (*known) {
            result.arguments.append(u"--%1=%2"_s.arg(key, value));
        } else if (value == u"true"_s) {
            result.arguments.append(u"--"_s + key);
        } else if (value != u"false"_s) {
            return refuse(u"\"%1\" aceita apenas true ou false, não \"%2\""_s.arg(key, value));
        }
    }
    return result;
}

std::optional<QString> configFileArgument(const QStringList &arguments)
{
    const QString spelled = u"--"_s + ConfigOption;
    std::optional<QString> found;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"--"_s)
            break;
        if (argument == spelled && i + 1 < arguments.size())
            found = arguments.at(++i);
        else if (argument.startsWith(spelled + u'='))
            found = argument.mid(spelled.size() + 1);
    }
    return found;
}

OptionsFileResult withOptionsFile(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    const std::optional<QString> path = configFileArgument(arguments);
    if (!path)
        return {arguments, {}};
    OptionsFileResult result = readOptionsFile(*path, options);
    if (!result.error.isEmpty())
        return result;
    QStringList merged = arguments.mid(0, 1);
    merged += result.arguments;
    merged += arguments.mid(1);
    result.arguments = merged;
    return result;
}

} // namespace rbx
