#include "RowSource.h"

#include "TClientDataSet.h"

int RowTable::columnIndex(const QString &name) const
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

RowTable ClientDataSetRows::rowTable()
{
    RowTable table;
    const QList<TField *> fields = m_dataSet.Fields();
    for (const TField *field : fields) {
        const bool mark = field->FieldName() == QLatin1String("IDMARCADO");
        table.columns.append({field->FieldName(), field->DisplayLabel(), field->DisplayWidth(), !mark});
    }
    table.rows.reserve(m_dataSet.RecordCount());
    for (m_dataSet.First(); !m_dataSet.Eof(); m_dataSet.Next()) {
        QStringList row;
        row.reserve(fields.size());
        for (const TField *field : fields)
            row.append(field->AsString());
        table.rows.append(std::move(row));
    }
    m_dataSet.First();
    return table;
}

void TDataSource::SetDataSet(RowSource &source)
{
    m_adapter.reset();
    m_source = &source;
}

void TDataSource::SetDataSet(TClientDataSet &dataSet)
{
    m_adapter = std::make_unique<ClientDataSetRows>(dataSet);
    m_source = m_adapter.get();
}
