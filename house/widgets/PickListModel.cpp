#include "PickListModel.h"

#include <QCollator>
#include <QDate>
#include <QTime>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <limits>
#include <numeric>

QString foldedForSearch(const QString &text)
{
    // most texts hold no accent: those need no decomposition
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            folded.append(c);
    }
    return folded.toCaseFolded();
}

namespace {
// The moments of a column whose texts are all dates as the record sets write them
// ("dd/MM/yyyy", with the time when it is not midnight), an empty text first; none otherwise,
// so that such a column sorts by date and not as text.
std::optional<std::vector<qint64>> dateKeys(const QStringList &texts)
{
    std::vector<qint64> keys;
    keys.reserve(std::size_t(texts.size()));
    bool anyDate = false;
    for (const QString &text : texts) {
        if (text.isEmpty()) {
            keys.push_back(std::numeric_limits<qint64>::min());
            continue;
        }
        const QDate date = QDate::fromString(text.left(10), QStringLiteral("dd/MM/yyyy"));
        const QTime time = text.size() == 10 ? QTime(0, 0)
                           : text.size() == 19 && text.at(10) == u' '
                               ? QTime::fromString(text.mid(11), QStringLiteral("hh:mm:ss"))
                               : QTime();
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        keys.push_back(date.toJulianDay() * 86'400'000 + time.msecsSinceStartOfDay());
        anyDate = true;
    }
    if (!anyDate)
        return std::nullopt;
    return keys;
}
} // namespace

PickListModel::PickListModel(RowTable table, int keyColumn, bool singleChoice, QObject *parent)
    : QAbstractTableModel(parent), m_table(std::move(table)), m_keyColumn(keyColumn), m_singleChoice(singleChoice)
{
    for (qsizetype i = 0; i < m_table.columns.size(); ++i) {
        if (m_table.columns.at(i).visible)
            m_visible.append(int(i));
    }
    const int rows = int(m_table.rows.size());
    m_checked.fill(false, rows);
    m_sorted.resize(rows);
    std::iota(m_sorted.begin(), m_sorted.end(), 0);
    showMatching();
}

int PickListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_shown.size()); }

int PickListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_visible.size()) + 1;
}

const RowColumn &PickListModel::tableColumn(int modelColumn) const
{
    return m_table.columns.at(m_visible.at(modelColumn - 1));
}

QString PickListModel::text(int tableRow, int modelColumn) const
{
    const QStringList &row = m_table.rows.at(tableRow);
    const int column = m_visible.at(modelColumn - 1);
    return column < row.size() ? row.at(column) : QString();
}

QVariant PickListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int tableRow = m_shown.at(index.row());
    if (index.column() == 0)
        return role == Qt::CheckStateRole ? QVariant(m_checked.at(tableRow) ? Qt::Checked : Qt::Unchecked) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    return text(tableRow, index.column());
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

void PickListModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> tableRowsBefore;
    for (const QModelIndex &index : before)
        tableRowsBefore.append(m_shown.at(index.row()));

    std::iota(m_sorted.begin(), m_sorted.end(), 0);
    if (column == 0) {
        std::stable_sort(m_sorted.begin(), m_sorted.end(), [this](int a, int b) { return m_checked.at(a) > m_checked.at(b); });
    } else if (const auto dates = column > 0 && column < columnCount() ? dateKeys(columnTexts(column)) : std::nullopt) {
        std::stable_sort(m_sorted.begin(), m_sorted.end(),
                         [&dates](int a, int b) { return dates->at(std::size_t(a)) < dates->at(std::size_t(b)); });
    } else if (column > 0 && column < columnCount()) {
        QCollator collator{QLocale(QLocale::Portuguese, QLocale::Brazil)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true); // "Leito 2" before "Leito 10"
        // one key per row: comparing keys is much cheaper than collating texts at each step
        std::vector<QCollatorSortKey> keys;
        keys.reserve(m_sorted.size());
        for (int row = 0; row < m_sorted.size(); ++row)
            keys.push_back(collator.sortKey(text(row, column)));
        std::stable_sort(m_sorted.begin(), m_sorted.end(),
                         [&keys](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    }
    if (order == Qt::DescendingOrder)
        std::reverse(m_sorted.begin(), m_sorted.end());
    showMatching();

    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int shownRow = m_shownRowOf.at(tableRowsBefore.at(i));
        after.append(shownRow < 0 ? QModelIndex() : index(shownRow, before.at(i).column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void PickListModel::setSearchText(const QString &search)
{
    const QString folded = foldedForSearch(search.trimmed());
    if (folded == m_search)
        return;
    // The rows' texts are folded at the first search, not when the list opens: most lists
    // are picked from without one.
    if (!folded.isEmpty() && m_searchable.isEmpty() && !m_table.rows.isEmpty()) {
        m_searchable.reserve(m_table.rows.size());
        for (int row = 0; row < m_table.rows.size(); ++row) {
            QStringList texts;
            for (int column = 1; column <= m_visible.size(); ++column)
                texts.append(text(row, column));
            // a separator no search text holds, so that a match never spans two columns
            m_searchable.append(foldedForSearch(texts.join(QChar(0x1f))));
        }
    }
    beginResetModel();
    m_search = folded;
    showMatching();
    endResetModel();
}

void PickListModel::showMatching()
{
    if (m_search.isEmpty()) {
        m_shown = m_sorted;
    } else {
        m_shown.clear();
        for (const int row : std::as_const(m_sorted)) {
            if (m_searchable.at(row).contains(m_search))
                m_shown.append(row);
        }
    }
    m_shownRowOf.fill(-1, m_table.rows.size());
    for (int shown = 0; shown < m_shown.size(); ++shown)
        m_shownRowOf[m_shown.at(shown)] = shown;
}

int PickListModel::displayWidth(int column) const { return column == 0 ? 0 : tableColumn(column).displayWidth; }

std::optional<int> PickListModel::nameColumn() const
{
    for (int column = 1; column < columnCount(); ++column) {
        if (tableColumn(column).label == u"Nome")
            return column;
    }
    for (int column = 1; column < columnCount(); ++column) {
        if (tableColumn(column).name.startsWith(u"NM", Qt::CaseInsensitive))
            return column;
    }
    return std::nullopt;
}

QStringList PickListModel::columnTexts(int column) const
{
    QStringList texts;
    texts.reserve(m_table.rows.size());
    for (int row = 0; row < m_table.rows.size(); ++row)
        texts.append(text(row, column));
    return texts;
}

void PickListModel::setTableRowChecked(int tableRow, bool checked)
{
    if (m_checked.at(tableRow) == checked)
        return;
    m_checked[tableRow] = checked;
    m_checkedCount += checked ? 1 : -1;
    const int shownRow = m_shownRowOf.at(tableRow);
    if (shownRow >= 0)
        emit dataChanged(index(shownRow, 0), index(shownRow, 0), {Qt::CheckStateRole});
}

void PickListModel::setChecked(int row, bool checked)
{
    const int tableRow = m_shown.at(row);
    if (m_checked.at(tableRow) == checked)
        return;
    if (checked && m_singleChoice) {
        for (int other = 0; other < m_checked.size(); ++other)
            setTableRowChecked(other, false);
    }
    setTableRowChecked(tableRow, checked);
    emit checkedCountChanged(m_checkedCount);
}

void PickListModel::checkAll(bool checked)
{
    if (m_singleChoice && checked)
        return;
    for (const int tableRow : std::as_const(m_shown)) {
        if (m_checked.at(tableRow) != checked) {
            m_checked[tableRow] = checked;
            m_checkedCount += checked ? 1 : -1;
        }
    }
    if (!m_shown.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_shown.size()) - 1, 0), {Qt::CheckStateRole});
    emit checkedCountChanged(m_checkedCount);
}

void PickListModel::checkKeys(const QStringList &keys)
{
    const QSet<QString> wanted(keys.cbegin(), keys.cend());
    bool single = false;
    for (int row = 0; row < m_table.rows.size(); ++row) {
        const QStringList &values = m_table.rows.at(row);
        if (m_keyColumn < values.size() && wanted.contains(values.at(m_keyColumn))) {
            // a single choice keeps one check, the last one as setChecked would leave it
            if (m_singleChoice && single) {
                for (int other = 0; other < row; ++other)
                    setTableRowChecked(other, false);
            }
            setTableRowChecked(row, true);
            single = true;
        }
    }
    emit checkedCountChanged(m_checkedCount);
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
