#pragma once

#include "CopyServiceObject.h"

#include <QHash>
#include <QList>
#include <QString>

// The one table of what a client may call: each name with the kinds of its positional
// arguments (from the shared contract) and the member of the server object that serves it.
struct MethodEntry
{
    QString name;
    QList<Wire::Arg::Kind> kinds;
    Wire::CallResult (CopyServiceObject::*handler)(CopyServiceObject::Args &) = nullptr;
    // Writes nothing, so it may run again on a new database connection when the old one was
    // found lost under it.
    bool readOnly = false;
};

const QHash<QString, MethodEntry> &methodTable();
