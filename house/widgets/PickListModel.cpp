#include "PickListModel.h"

#include <QSet>

PickListModel::PickListModel(RowTable table, int keyColumn, bool singleChoice, QObject *parent)
    : QAbstractTableModel(parent), m_table(std::move(table)), m_keyColumn(keyColumn), m_singleChoice(singleChoice)
{
    for (qsizetype i = 0; i < m_table.columns.size(); ++i) {
        if (m_table.columns.at(i).visible)
            m_visible.append(int(i));
    }
    m_checked.fill(false, m_table.rows.size());
}

int PickListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.rows.size());
}

int PickListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_visible.size()) + 1;
}

const RowColumn &PickListModel::tableColumn(int modelColumn) const
{
    return m_table.columns.at(m_visible.at(modelColumn - 1));
}

QVariant PickListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.column() == 0)
        return role == Qt::CheckStateRole ? QVariant(m_checked.at(index.row()) ? Qt::Checked : Qt::Unchecked)
                                          : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const QStringList &row = m_table.rows.at(index.row());
    const int column = m_visible.at(index.column() - 1);
    return column < row.size() ? row.at(column) : QString();
}

QVariant PickListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section == 0)
        return {};
    return tableColumn(section).label;
}

Qt::ItemFlags PickListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool PickListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

int PickListModel::displayWidth(int column) const { return column == 0 ? 0 : tableColumn(column).displayWidth; }

void PickListModel::setChecked(int row, bool checked)
{
    if (m_checked.at(row) == checked)
        return;
    if (checked && m_singleChoice) {
        for (int other = 0; other < m_checked.size(); ++other) {
            if (m_checked.at(other)) {
                m_checked[other] = false;
                emit dataChanged(index(other, 0), index(other, 0), {Qt::CheckStateRole});
            }
        }
    }
    m_checked[row] = checked;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

void PickListModel::checkAll(bool checked)
{
    if (m_singleChoice && checked)
        return;
    m_checked.fill(checked);
    if (!m_checked.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_checked.size()) - 1, 0), {Qt::CheckStateRole});
}

void PickListModel::checkKeys(const QStringList &keys)
{
    const QSet<QString> wanted(keys.cbegin(), keys.cend());
    for (int row = 0; row < m_table.rows.size(); ++row) {
        const QStringList &values = m_table.rows.at(row);
        if (m_keyColumn < values.size() && wanted.contains(values.at(m_keyColumn)))
            setChecked(row, true);
    }
}

QStringList PickListModel::checkedKeys() const
{
    QStringList keys;
    for (int row = 0; row < m_checked.size(); ++row) {
        if (m_checked.at(row)) {
            const QStringList &values = m_table.rows.at(row);
            keys.append(m_keyColumn < values.size() ? values.at(m_keyColumn) : QString());
        }
    }
    return keys;
}
