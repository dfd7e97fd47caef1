#pragma once

#include <copy/CopyForm.h>

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <variant>

namespace rbx {

// What the headless copy was asked to do, as given on its command line.
struct HeadlessOptions
{
    // A copy, the branch's runs listed (--list-runs), one run's services shown (--show-run RUN)
    // or one run undone (--undo RUN).
    enum class Action { Copy, ListRuns, ShowRun, Undo };
    Action action = Action::Copy;
    qint64 run = 0; // of --show-run and --undo
    QString host;
    int port = 0;
    QString tokenFile;
    // The operator's password in the first line of this file; without it, asked on the terminal.
    QString passwordFile;
    QString tlsCaFile;
    QString operatorCode;
    QString branch;
    QString tipoForm; // "E" or "N", as the module's form mode
    // The date texts as given (YYYY-MM-DD), or the defaults yesterday and today. They are
    // checked by the copy's own validation, so that its texts report them. For --list-runs the
    // days the runs started in, both included; empty for no bound.
    QString from;
    QString to;
    // Per filter group in FilterGroups order: absent means all mode, otherwise the selection
    // list ("_a__b_") built from the comma-separated codes, possibly empty.
    std::array<std::optional<QString>, 6> selections;
    bool assumeYes = false;
    // The classic calls for every service, even when the server offers its own copy.
    bool callByCall = false;
};

struct HeadlessUsage
{
    QString error; // empty when help was asked for
    QString helpText; // empty when the error says enough alone
};

// Reads the arguments (the program name first). `today` gives the default dates.
std::variant<HeadlessOptions, HeadlessUsage> parseHeadlessOptions(const QStringList &arguments, QDate today);

// "a, b,c" -> "_a__b__c_". Empty entries are skipped; a code holding "_", "," or a blank
// cannot be told apart in a selection list and is refused (empty result, reason in *error).
std::optional<QString> selectionListFromCodes(const QString &codes, QString *error);

// The option naming each filter group, in FilterGroups order.
QString groupOptionName(FilterGroup group);

} // namespace rbx
