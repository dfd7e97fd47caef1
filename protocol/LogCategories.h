#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QCommandLineOption>
#include <QLoggingCategory>
#include <QString>

namespace rbx {

// Diagnostics by area, their debug lines off unless a site turns them on, without a rebuild:
// QT_LOGGING_RULES="rbx.db.debug=true" in the environment, or a program's --log option (INI key
// `log`) with the same rules. The server's start, stop and audit lines are not among them.
RBX_PROTOCOL_EXPORT const QLoggingCategory &lcServer();  // rbx.server: calls served
RBX_PROTOCOL_EXPORT const QLoggingCategory &lcDb();      // rbx.db: statements, transactions
RBX_PROTOCOL_EXPORT const QLoggingCategory &lcCopy();    // rbx.copy: a run, its calls in flight
RBX_PROTOCOL_EXPORT const QLoggingCategory &lcNet();     // rbx.net: connections and messages
RBX_PROTOCOL_EXPORT const QLoggingCategory &lcJournal(); // rbx.journal: runs opened and ended

// The --log option every program takes, with its help text.
RBX_PROTOCOL_EXPORT QCommandLineOption logOption();

// Applies the rules of a --log option: "rbx.db.debug=true;rbx.net.debug=true" (';' or a new line
// between rules). Returns why the text is no set of rules, or an empty text once applied.
RBX_PROTOCOL_EXPORT QString applyLogRules(const QString &rules);

} // namespace rbx
