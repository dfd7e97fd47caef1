#pragma once

#include "Schema.h"
#include "WireProtocol.h"

#include <QList>
#include <QString>
#include <QVariant>

// Reads the positional arguments of one call, already checked for count and kind, into the
// values a column may hold. Anything that does not fit raises the service's error (-32000) with
// a message naming the argument and the column. Positions are zero-based, as on the wire.
class ArgReader final
{
public:
    explicit ArgReader(const QList<Wire::Arg> &args) : m_args(args) {}

    // Text no longer than the column; may be empty.
    QString text(int position, const Schema::Column &column) const;
    // As text, and not empty: a key column.
    QString key(int position, const Schema::Column &column) const;
    // As text; empty is stored as null.
    QVariant nullable(int position, const Schema::Column &column) const;
    // A sequence number: exactly as many decimal digits as the column is wide, not all zeros,
    // so that the highest in use is also the greatest as text.
    QString sequence(int position, const Schema::Column &column) const;
    // A date or a double holding an OLE date within the range OLE dates cover.
    double date(int position) const;
    // As date; 0, which is how a null date reads on the client, is stored as null.
    QVariant nullableDate(int position) const;
    double number(int position) const;
    // A weight sent as text in the client's locale: "72,5" or "72.5"; empty is null.
    QVariant decimalText(int position, const Schema::Column &column) const;
    // Any text, as sent (filter lists and flags).
    QString raw(int position) const;

private:
    [[noreturn]] void refuse(int position, const QString &why) const;

    const QList<Wire::Arg> &m_args;
};

// The date as a user reads it in messages.
QString formatDate(double oleDate);
// A text a client sent, cut short for a message or the log: a 10 MB "code" must not be echoed.
QString excerpt(const QString &text);
