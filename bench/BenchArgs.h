#pragma once

#include <QStringList>

namespace rbx {

// "--name value" pairs after the subcommand.
class BenchArgs
{
public:
    explicit BenchArgs(QStringList arguments) : m_arguments(std::move(arguments)) {}
    QString text(const QString &name, const QString &fallback = {}) const
    {
        const qsizetype at = m_arguments.indexOf(QStringLiteral("--") + name);
        return at >= 0 && at + 1 < m_arguments.size() ? m_arguments.at(at + 1) : fallback;
    }
    int number(const QString &name, int fallback) const
    {
        bool ok = false;
        const int value = text(name).toInt(&ok);
        return ok ? value : fallback;
    }
    bool flag(const QString &name) const { return m_arguments.contains(QStringLiteral("--") + name); }

private:
    QStringList m_arguments;
};

} // namespace rbx
