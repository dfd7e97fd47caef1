#pragma once

#include <contract/CopyServiceContract.h>
#include <db/Schema.h>
#include <protocol/WireProtocol.h>

#include <QList>
#include <QString>
#include <QVariant>

namespace rbx {

// Reads the arguments of one call, already checked for count and kind, by the names the
// contract declares, into the values a column may hold. A text is checked against the width of
// the column the declaration names for it. Anything that does not fit raises the service's error
// (-32000) with a message naming the argument (by its position, as the client knows it) and the
// column. A name the method does not declare is a programming error (std::out_of_range).
class ArgReader final
{
public:
    ArgReader(const QList<Wire::Arg> &args, const CopyService::MethodSignature &method)
        : m_args(args), m_method(method)
    {
    }

    // Text no longer than the column; may be empty.
    QString text(const QString &name) const;
    // As text, and not empty: a key column.
    QString key(const QString &name) const;
    // As text; empty is stored as null.
    QVariant nullable(const QString &name) const;
    // A sequence number: exactly as many decimal digits as the column is wide, not all zeros,
    // so that the highest in use is also the greatest as text.
    QString sequence(const QString &name) const;
    // A date or a double holding an OLE date within the range OLE dates cover.
    double date(const QString &name) const;
    // As date; 0, which is how a null date reads on the client, is stored as null.
    QVariant nullableDate(const QString &name) const;
    double number(const QString &name) const;
    // A weight sent as text in the client's locale: "72,5" or "72.5"; empty is null.
    QVariant decimalText(const QString &name) const;
    // Any text, as sent (filter lists and flags).
    QString raw(const QString &name) const;

private:
    struct Found
    {
        int position;
        const Wire::Arg &arg;
        const Schema::Column &column;
    };
    Found find(const QString &name) const;
    [[noreturn]] void refuse(int position, const QString &why) const;

    const QList<Wire::Arg> &m_args;
    const CopyService::MethodSignature &m_method;
};

// The date as a user reads it in messages.
QString formatDate(double oleDate);
// A text a client sent, cut short for a message or the log: a 10 MB "code" must not be echoed.
QString excerpt(const QString &text);

} // namespace rbx
