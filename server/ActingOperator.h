#pragma once

#include <contract/CopyServiceContract.h>

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace rbx {

// The operator a session authenticated as: the only one it acts for, in the branches where that
// operator is a nutritionist.
struct ActingOperator
{
    QString code;
    bool supervisor = false;
    QSet<QString> branches;
    QString peer; // the address it connected from, for the audit

    bool inBranch(const QString &branch) const { return branches.contains(branch.trimmed()); }
};

// Why the operator may not make the call, or nothing when it may: every operator argument must
// be the operator itself, every branch argument one of its branches. getNutricio answers for the
// operator itself in any branch, an empty packet where it is no nutritionist.
std::optional<QString> refusal(const ActingOperator &acting, const CopyService::MethodSignature &method,
                               const QList<Wire::Arg> &args);

} // namespace rbx
