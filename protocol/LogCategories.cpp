#include "LogCategories.h"

#include <QRegularExpression>
#include <QStringList>

namespace rbx {

Q_LOGGING_CATEGORY(lcServer, "rbx.server", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDb, "rbx.db", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCopy, "rbx.copy", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNet, "rbx.net", QtInfoMsg)
Q_LOGGING_CATEGORY(lcJournal, "rbx.journal", QtInfoMsg)

QCommandLineOption logOption()
{
    return QCommandLineOption(QStringLiteral("log"),
                              QStringLiteral("Liga linhas de diagnóstico por área, como QT_LOGGING_RULES: "
                                             "\"rbx.db.debug=true;rbx.net.debug=true\" (áreas rbx.server, rbx.db, "
                                             "rbx.copy, rbx.net, rbx.journal)."),
                              QStringLiteral("REGRAS"));
}

QString applyLogRules(const QString &rules)
{
    static const QRegularExpression rule(QStringLiteral(R"(^[A-Za-z0-9_*.-]+(\.(debug|info|warning|critical))?=(true|false)$)"));
    QStringList lines;
    for (const QString &part : rules.split(QRegularExpression(QStringLiteral("[;\\n]")), Qt::SkipEmptyParts)) {
        const QString line = part.trimmed();
        if (line.isEmpty())
            continue;
        if (!rule.match(line).hasMatch())
            return QStringLiteral("regra de registro inválida: \"%1\" (como rbx.db.debug=true)").arg(line.left(80));
        lines << line;
    }
    QLoggingCategory::setFilterRules(lines.join(u'\n'));
    return {};
}

} // namespace rbx
