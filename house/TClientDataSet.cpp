#include "TClientDataSet.h"

#include <protocol/HouseError.h>
#include <protocol/OleDate.h>

#include <QLocale>

namespace {
const QVariant &nullValue()
{
    static const QVariant null;
    return null;
}
} // namespace

const QVariant &TField::value() const
{
    if (!m_owner || m_column < 0 || m_owner->Eof())
        return nullValue();
    return m_owner->m_rows.at(m_owner->m_row).at(m_column);
}

bool TField::IsNull() const { return value().isNull(); }

QString TField::AsString() const
{
    const QVariant &cell = value();
    if (cell.isNull())
        return {};
    switch (m_type) {
    case rbx::Wire::FieldType::String:
    case rbx::Wire::FieldType::FixedString: return cell.toString();
    case rbx::Wire::FieldType::Float: return QLocale().toString(cell.toDouble(), 'g', 15);
    case rbx::Wire::FieldType::DateTime: {
        const QDateTime moment = rbx::OleDate::toDateTime(cell.toDouble());
        return moment.time() == QTime(0, 0) ? moment.toString(QStringLiteral("dd/MM/yyyy"))
                                            : moment.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    }
    }
    return {};
}

double TField::AsDateTime() const
{
    if (m_type != rbx::Wire::FieldType::DateTime && m_type != rbx::Wire::FieldType::Float)
        throw rbx::EDataSetError(QStringLiteral("O campo %1 não é uma data.").arg(m_name));
    const QVariant &cell = value();
    return cell.isNull() ? 0 : cell.toDouble();
}

double TField::AsFloat() const
{
    if (m_type != rbx::Wire::FieldType::DateTime && m_type != rbx::Wire::FieldType::Float)
        throw rbx::EDataSetError(QStringLiteral("O campo %1 não é numérico.").arg(m_name));
    const QVariant &cell = value();
    return cell.isNull() ? 0 : cell.toDouble();
}

TField &TClientDataSet::AddField(const QString &name, rbx::Wire::FieldType type, int size, const QString &displayLabel,
                                 int displayWidth)
{
    if (m_byName.contains(name))
        throw rbx::EDataSetError(QStringLiteral("O campo %1 já foi declarado em %2.").arg(name, m_name));
    auto field = std::make_unique<TField>();
    field->m_owner = this;
    field->m_name = name;
    field->m_type = type;
    field->m_size = size;
    field->m_displayLabel = displayLabel.isEmpty() ? name : displayLabel;
    field->m_displayWidth = displayWidth > 0 ? displayWidth : size;
    TField &added = *field;
    m_byName.insert(name, field.get());
    m_fields.push_back(std::move(field));
    return added;
}

const QList<TField *> TClientDataSet::Fields() const
{
    QList<TField *> fields;
    fields.reserve(qsizetype(m_fields.size()));
    for (const auto &field : m_fields)
        fields.append(field.get());
    return fields;
}

TField *TClientDataSet::FindField(const QString &name) { return m_byName.value(name, nullptr); }

TField &TClientDataSet::FieldByName(const QString &name)
{
    TField *field = FindField(name);
    if (!field)
        throw rbx::EDataSetError(QStringLiteral("%1: campo '%2' não encontrado.").arg(m_name, name));
    return *field;
}

const TField &TClientDataSet::FieldByName(const QString &name) const
{
    return const_cast<TClientDataSet *>(this)->FieldByName(name);
}

void TClientDataSet::SetData(const rbx::Wire::Packet &packet)
{
    // Resolve every declared field before touching the current rows, so a bad packet leaves
    // the record set as it was.
    std::vector<int> columns;
    columns.reserve(m_fields.size());
    for (const auto &field : m_fields) {
        int column = -1;
        for (qsizetype i = 0; i < packet.fields.size(); ++i) {
            if (packet.fields.at(i).name == field->m_name) {
                column = int(i);
                break;
            }
        }
        if (column < 0)
            throw rbx::EDataSetError(QStringLiteral("%1: o pacote não traz o campo %2.").arg(m_name, field->m_name));
        if (packet.fields.at(column).type != field->m_type)
            throw rbx::EDataSetError(QStringLiteral("%1: o campo %2 chegou como %3, declarado como %4.")
                                    .arg(m_name, field->m_name, rbx::Wire::fieldTypeName(packet.fields.at(column).type),
                                         rbx::Wire::fieldTypeName(field->m_type)));
        columns.push_back(column);
    }
    for (const QList<QVariant> &row : packet.rows) {
        if (row.size() != packet.fields.size())
            throw rbx::EDataSetError(QStringLiteral("%1: linha com número errado de valores.").arg(m_name));
        for (std::size_t f = 0; f < m_fields.size(); ++f) {
            const TField &field = *m_fields[f];
            if (field.m_size <= 0)
                continue;
            const QVariant &cell = row.at(columns[f]);
            if (!cell.isNull() && cell.toString().size() > field.m_size)
                throw rbx::EDataSetError(QStringLiteral("%1: o valor '%2' excede os %3 caracteres do campo %4.")
                                        .arg(m_name, cell.toString())
                                        .arg(field.m_size)
                                        .arg(field.m_name));
        }
    }
    for (std::size_t f = 0; f < m_fields.size(); ++f)
        m_fields[f]->m_column = columns[f];
    m_rows = packet.rows;
    m_row = 0;
    m_active = true;
}

void TClientDataSet::Close()
{
    m_rows.clear();
    m_row = 0;
    m_active = false;
}

void TClientDataSet::Next()
{
    if (m_row < m_rows.size())
        ++m_row;
}
