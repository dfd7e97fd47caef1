#include "PacketBuilder.h"

#include <protocol/HouseError.h>
#include <db/SqlDialect.h>
#include <db/SqlSession.h>

namespace rbx {

using namespace Qt::StringLiterals;

Wire::Packet packetFromQuery(PreparedStatement &query, const QList<CopyService::FieldLayout> &layout,
                             const SqlDialect &dialect)
{
    Wire::Packet packet;
    packet.fields = CopyService::packetFields(layout);
    QList<int> columns;
    for (const CopyService::FieldLayout &field : layout) {
        const int column = query.column(field.name);
        if (column < 0)
            throw EDatabaseError(u"A consulta não trouxe a coluna %1."_s.arg(field.name));
        columns << column;
    }
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(layout.size());
        for (qsizetype i = 0; i < layout.size(); ++i) {
            const QVariant value = query.value(columns.at(i));
            if (value.isNull()) {
                row << QVariant();
                continue;
            }
            switch (layout.at(i).type) {
            case Wire::FieldType::String:
            case Wire::FieldType::FixedString: row << value.toString(); break;
            case Wire::FieldType::Float: row << value.toDouble(); break;
            case Wire::FieldType::DateTime: {
                const auto date = dialect.oleDate(value);
                if (!date)
                    throw EDatabaseError(u"Valor de data inválido em %1: \"%2\"."_s.arg(layout.at(i).name, value.toString()));
                row << *date;
                break;
            }
            }
        }
        packet.rows << row;
    }
    query.finish();
    return packet;
}

Wire::Packet singleValuePacket(const QList<CopyService::FieldLayout> &layout, const QString &value)
{
    Wire::Packet packet;
    packet.fields = CopyService::packetFields(layout);
    packet.rows << QList<QVariant>{value};
    return packet;
}

} // namespace rbx
