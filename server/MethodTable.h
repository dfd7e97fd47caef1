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
};

const QHash<QString, MethodEntry> &methodTable();
