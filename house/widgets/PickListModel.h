#pragma once

#include "rbx_house_widgets_export.h"

#include "RowSource.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

// The rows of a pick list with one check per row in the first column.
class RBX_HOUSE_WIDGETS_EXPORT PickListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    PickListModel(RowTable table, int keyColumn, bool singleChoice, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // Display width in characters of a model column (the check column has none).
    int displayWidth(int column) const;

    void setChecked(int row, bool checked);
    bool isChecked(int row) const { return m_checked.at(row); }
    void toggle(int row) { setChecked(row, !isChecked(row)); }
    void checkAll(bool checked);
    // Checks the rows whose key is among keys.
    void checkKeys(const QStringList &keys);
    QStringList checkedKeys() const;

private:
    const RowColumn &tableColumn(int modelColumn) const;

    RowTable m_table;
    QList<int> m_visible; // table column of each model column after the check
    int m_keyColumn;
    bool m_singleChoice;
    QList<bool> m_checked;
};
