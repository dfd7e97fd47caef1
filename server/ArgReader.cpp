#include "ArgReader.h"

#include <protocol/HouseError.h>
#include <protocol/OleDate.h>

#include <QRegularExpression>

#include <cmath>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
// 0100-01-01 to 9999-12-31, the dates OLE Automation defines.
constexpr double FirstOleDate = -657434.0;
constexpr double EndOleDate = 2958466.0;
} // namespace

void ArgReader::refuse(int position, const QString &why) const
{
    throw ERemoteError(Wire::ErrorCode::ServiceFailed, u"Argumento %1: %2"_s.arg(position + 1).arg(why));
}

ArgReader::Found ArgReader::find(const QString &name) const
{
    const int position = m_method.position(name);
    const Schema::Column *column = m_method.args.at(position).column;
    // a date or number keeps its name in messages; no width applies to it
    static const Schema::Column none;
    return {position, m_args.at(position), column ? *column : none};
}

QString ArgReader::raw(const QString &name) const { return find(name).arg.text; }

QString ArgReader::text(const QString &name) const
{
    const auto [position, arg, column] = find(name);
    const QString &value = arg.text;
    if (value.size() > column.size)
        refuse(position, u"%1 tem %2 caracteres; o máximo é %3."_s.arg(column.name).arg(value.size()).arg(column.size));
    return value;
}

QString ArgReader::key(const QString &name) const
{
    const QString value = text(name);
    if (value.isEmpty())
        refuse(m_method.position(name), u"%1 deve ser informado."_s.arg(name));
    return value;
}

QVariant ArgReader::nullable(const QString &name) const
{
    const QString value = text(name);
    return value.isEmpty() ? QVariant() : QVariant(value);
}

QString ArgReader::sequence(const QString &name) const
{
    const auto [position, arg, column] = find(name);
    const QString &value = arg.text;
    bool digits = value.size() == column.size;
    bool zero = true;
    for (const QChar c : value) {
        digits = digits && c >= u'0' && c <= u'9';
        zero = zero && c == u'0';
    }
    if (!digits || zero)
        refuse(position, u"%1 deve ter %2 dígitos e não ser zero (recebido \"%3\")."_s.arg(column.name).arg(column.size).arg(excerpt(value)));
    return value;
}

double ArgReader::date(const QString &name) const
{
    const auto [position, arg, column] = find(name);
    const double value = arg.number;
    if (!std::isfinite(value) || value < FirstOleDate || value >= EndOleDate)
        refuse(position, u"a data %1 está fora do intervalo de 01/01/0100 a 31/12/9999."_s.arg(value));
    return value;
}

QVariant ArgReader::nullableDate(const QString &name) const
{
    const double value = date(name);
    return value == 0 ? QVariant() : QVariant(value);
}

double ArgReader::number(const QString &name) const
{
    const auto [position, arg, column] = find(name);
    const double value = arg.number;
    if (!std::isfinite(value))
        refuse(position, u"o número não é finito."_s);
    return value;
}

QVariant ArgReader::decimalText(const QString &name) const
{
    const auto [position, arg, column] = find(name);
    // one per session thread: compiled once, never shared between threads
    thread_local const QRegularExpression decimal(u"^[+-]?\\d+([.,]\\d+)?([eE][+-]?\\d+)?$"_s);
    const QString value = arg.text.trimmed();
    if (value.isEmpty())
        return {};
    bool ok = decimal.match(value).hasMatch();
    const double number = ok ? QString(value).replace(u',', u'.').toDouble(&ok) : 0;
    if (!ok || !std::isfinite(number))
        refuse(position, u"%1 deve ser um número como \"72,5\" ou vazio (recebido \"%2\")."_s.arg(column.name, excerpt(value)));
    return number;
}

QString formatDate(double oleDate) { return OleDate::toDate(oleDate).toString(u"dd/MM/yyyy"_s); }

QString excerpt(const QString &text)
{
    constexpr qsizetype Most = 60;
    return text.size() <= Most ? text : text.left(Most) + u"…"_s;
}

} // namespace rbx
