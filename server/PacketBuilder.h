#pragma once

#include <contract/CopyServiceContract.h>
#include <protocol/WireProtocol.h>

namespace rbx {

class SqlDialect;
class PreparedStatement;

// Turns the rows of an executed query into a packet with the declared layout; the query names
// its result columns after the layout's fields.
Wire::Packet packetFromQuery(PreparedStatement &query, const QList<CopyService::FieldLayout> &layout,
                             const SqlDialect &dialect);

// A packet of one row holding one text.
Wire::Packet singleValuePacket(const QList<CopyService::FieldLayout> &layout, const QString &value);

} // namespace rbx
