#pragma once

#include "CopyServiceContract.h"
#include "CopyServiceObject.h"

#include <QHash>
#include <QList>
#include <QString>

// The one table of what a client may call: each method of the declared contract with the
// member of the server object that serves it. Kinds and access come from the declaration.
struct MethodEntry
{
    const CopyService::MethodSignature *signature = nullptr;
    QString name;
    QList<Wire::Arg::Kind> kinds;
    Wire::CallResult (CopyServiceObject::*handler)(CopyServiceObject::Args &) = nullptr;
    // Writes nothing, so it may run again on a new database connection when the old one was
    // found lost under it.
    bool readOnly = false;
    // Commit or Rollback: allowed while a lost transaction waits to be ended.
    bool endsTransaction = false;
};

const QHash<QString, MethodEntry> &methodTable();
