#pragma once

#include <house/rbx_house_export.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class TClientDataSet;

struct RowColumn
{
    QString name;
    QString label;
    int displayWidth = 0; // characters; 0 lets the viewer choose
    bool visible = true;
};

// A result as a pick list shows it: named columns with labels and widths, rows of texts.
struct RBX_HOUSE_EXPORT RowTable
{
    QList<RowColumn> columns;
    QList<QStringList> rows;

    int columnIndex(const QString &name) const;
};

// Anything a data source can show: a lookup query's result or a record set.
class RBX_HOUSE_EXPORT RowSource
{
public:
    virtual ~RowSource() = default;
    // The current rows, from the first to the last.
    virtual RowTable rowTable() = 0;
};

// Shows a record set as rows. The record set's mark column IDMARCADO is left out of the
// visible columns: the pick list's own check takes its place.
class RBX_HOUSE_EXPORT ClientDataSetRows final : public RowSource
{
public:
    explicit ClientDataSetRows(TClientDataSet &dataSet) : m_dataSet(dataSet) {}
    // Walks the record set and leaves it standing on its first row.
    RowTable rowTable() override;

private:
    TClientDataSet &m_dataSet;
};

// Binds a data set to whatever shows it (the pick list).
class RBX_HOUSE_EXPORT TDataSource
{
public:
    explicit TDataSource(QString name = {}) : m_name(std::move(name)) {}
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    const QString &Name() const { return m_name; }

    void SetDataSet(RowSource &source);
    void SetDataSet(TClientDataSet &dataSet);
    RowSource *DataSet() const { return m_source; }

private:
    QString m_name;
    std::unique_ptr<RowSource> m_adapter;
    RowSource *m_source = nullptr;
};
