#pragma once

#include <contract/CopyServiceContract.h>
#include "CopyServiceObject.h"

#include <QHash>
#include <QList>
#include <QString>

namespace rbx {

// The one table of what a client may call: each method of the declared contract with the
// member of the server object that serves it. Kinds and access are the declaration's.
struct MethodEntry
{
    const CopyService::MethodSignature *signature = nullptr;
    Wire::CallResult (CopyServiceObject::*handler)(CopyServiceObject::Args &) = nullptr;
};

const QHash<QString, MethodEntry> &methodTable();

} // namespace rbx
