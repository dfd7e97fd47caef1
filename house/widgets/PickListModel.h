#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <house/RowSource.h>

#include <QAbstractTableModel>
#include <QCollatorSortKey>
#include <QList>
#include <QStringList>

#include <optional>

// A text as the pick list's search compares it: without accents and case ("João" -> "joao").
RBX_HOUSE_WIDGETS_EXPORT QString foldedForSearch(const QString &text);

// The rows of a pick list with one check per row in the first column. The rows shown may be
// narrowed by a search and sorted by a column; rows are then counted as shown, while checks
// belong to the table's rows and the checked keys keep the table's order.
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
    // Portuguese order (numbers by value), dates by date; the check column puts the checked
    // rows first.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Display width in characters of a model column (the check column has none).
    int displayWidth(int column) const;
    // The model column of the name, where the table has one ("Nome", else an NM column).
    std::optional<int> nameColumn() const;
    // The text of each row in a model column, shown or not, for sizing the column.
    QStringList columnTexts(int column) const;

    // Shows only the rows where some visible column holds the text, ignoring case and accents;
    // an empty text shows every row.
    void setSearchText(const QString &text);
    int tableRowCount() const { return int(m_table.rows.size()); }
    int checkedCount() const { return m_checkedCount; }

    // Rows as shown.
    void setChecked(int row, bool checked);
    bool isChecked(int row) const { return m_checked.at(m_shown.at(row)); }
    void toggle(int row) { setChecked(row, !isChecked(row)); }
    // Checks or unchecks the rows shown.
    void checkAll(bool checked);
    // Checks the rows whose key is among keys, shown or not.
    void checkKeys(const QStringList &keys);
    // The checked rows' keys in the table's order.
    QStringList checkedKeys() const;

signals:
    void checkedCountChanged(int checked);

private:
    const RowColumn &tableColumn(int modelColumn) const;
    QString text(int tableRow, int modelColumn) const;
    void setTableRowChecked(int tableRow, bool checked);
    void showMatching();

    RowTable m_table;
    QList<int> m_visible; // table column of each model column after the check
    int m_keyColumn;
    bool m_singleChoice;
    QList<bool> m_checked; // per table row
    int m_checkedCount = 0;
    QStringList m_searchable; // per table row: its visible texts folded, from the first search
    QString m_search;
    QList<int> m_sorted; // every table row, in the order of the sort column
    QList<int> m_shown;  // the table rows shown, in that order
    QList<int> m_shownRowOf; // per table row: its row as shown, -1 when the search hides it
};
