#include "PickListDialog.h"

#include <house/FormatText.h>
#include <house/HandlerGuard.h>
#include "PickListModel.h"

#include <QCoreApplication>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>

namespace {
constexpr int MinColumnPixels = 80;
// What a column other than the name keeps while the name is cut: a code, a bed, a date.
constexpr int ShortColumnPixels = 150;
constexpr int CellPadding = 14;
constexpr int HeaderPadding = 28; // the label and the sort arrow
constexpr int DialogChrome = 60;  // margins, frame and the vertical scroll bar
constexpr int MinDialogWidth = 360;
constexpr int MaxDialogWidth = 960;
constexpr int DialogHeight = 460;
// Texts compared by their length first: only the longest are measured, so that a list of
// thousands of rows opens at once.
constexpr qsizetype MeasuredTexts = 64;

int widestText(const QFontMetrics &metrics, QStringList texts)
{
    if (texts.size() > MeasuredTexts) {
        std::nth_element(texts.begin(), texts.begin() + MeasuredTexts, texts.end(),
                         [](const QString &a, const QString &b) { return a.size() > b.size(); });
        texts.resize(MeasuredTexts);
    }
    int widest = 0;
    for (const QString &text : std::as_const(texts))
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest;
}

// Each column's width under the largest common cap at which they fit the room, none narrower
// than its floor.
QList<int> capped(const QList<int> &wanted, const QList<int> &floors, int room)
{
    const auto widths = [&](int cap) {
        QList<int> result;
        for (qsizetype i = 0; i < wanted.size(); ++i)
            result.append(std::max(floors.at(i), std::min(wanted.at(i), cap)));
        return result;
    };
    const auto total = [&](int cap) {
        const QList<int> each = widths(cap);
        return std::accumulate(each.cbegin(), each.cend(), 0);
    };
    int low = 0, high = wanted.isEmpty() ? 0 : *std::max_element(wanted.cbegin(), wanted.cend());
    while (low < high) {
        const int cap = (low + high + 1) / 2;
        if (total(cap) <= room)
            low = cap;
        else
            high = cap - 1;
    }
    return widths(low);
}

// The columns' widths within the room. The name is what a person reads the list by: it gets
// its text's width first; the other columns give way down to their texts' widths (a label may
// be cut, a short text is not), and only then does the name give way. Without a name, the
// widest columns give way alike.
QList<int> fitColumns(const QList<int> &texts, QList<int> wanted, std::optional<int> name, int room)
{
    QList<int> floors;
    for (const int text : texts)
        floors.append(std::min(text, ShortColumnPixels));
    if (std::accumulate(wanted.cbegin(), wanted.cend(), 0) <= room)
        return wanted;
    if (!name) {
        QList<int> lowest;
        for (const int width : std::as_const(wanted))
            lowest.append(std::min(width, MinColumnPixels));
        return capped(wanted, lowest, room);
    }
    const int wantedName = wanted.takeAt(*name);
    floors.removeAt(*name);
    const int othersLeast = std::accumulate(floors.cbegin(), floors.cend(), 0);
    const int nameWidth = std::min(wantedName, std::max(MinColumnPixels, room - othersLeast));
    QList<int> widths = capped(wanted, floors, room - nameWidth);
    widths.insert(*name, nameWidth);
    return widths;
}
} // namespace

PickListDialog::PickListDialog(const PickRequest &request, QWidget *parent)
    : QDialog(parent),
      m_model(new PickListModel(request.rows ? *request.rows : RowTable(), request.keyColumn, request.singleChoice,
                                this)),
      m_search(new QLineEdit(this)),
      m_view(new QTableView(this)),
      m_emptyLabel(new QLabel(request.emptyText, this)),
      m_checkedLabel(new QLabel(this)),
      m_matchLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("PesquisaLista"));
    setWindowTitle(request.caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_search->setObjectName(QStringLiteral("edtPesquisa"));
    m_search->setPlaceholderText(QStringLiteral("Pesquisar (qualquer coluna)"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        guarded(this, [&] {
            m_model->setSearchText(text);
            showMatchCount();
            if (m_model->rowCount() > 0)
                m_view->setCurrentIndex(m_model->index(0, 1));
        });
    });

    // sorted before the grid shows it, so that the grid lays its rows out once
    const int sortColumn = m_model->nameColumn().value_or(-1);
    m_model->sort(sortColumn);
    m_view->setObjectName(QStringLiteral("grdLista"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setAlternatingRowColors(true);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    QHeaderView *header = m_view->horizontalHeader();
    header->setSortIndicator(sortColumn, Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sortIndicatorChanged, m_model,
            [this](int column, Qt::SortOrder order) { guarded(this, [&] { m_model->sort(column, order); }); });
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.column() != 0) // the check cell toggles by itself
            m_model->toggle(index.row());
    });

    m_emptyLabel->setObjectName(QStringLiteral("lblVazio"));
    m_emptyLabel->setWordWrap(true);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_checkedLabel->setObjectName(QStringLiteral("lblMarcados"));
    connect(m_model, &PickListModel::checkedCountChanged, this, &PickListDialog::showCheckedCount);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    auto *checkAll = buttons->addButton(QStringLiteral("Marcar todos"), QDialogButtonBox::ActionRole);
    auto *uncheckAll = buttons->addButton(QStringLiteral("Desmarcar todos"), QDialogButtonBox::ActionRole);
    checkAll->setObjectName(QStringLiteral("btnMarcarTodos"));
    uncheckAll->setObjectName(QStringLiteral("btnDesmarcarTodos"));
    checkAll->setVisible(!request.singleChoice);
    connect(checkAll, &QPushButton::clicked, this, [this] { m_model->checkAll(true); });
    connect(uncheckAll, &QPushButton::clicked, this, [this] { m_model->checkAll(false); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_matchLabel->setObjectName(QStringLiteral("lblEncontrados"));
    auto *searchLine = new QHBoxLayout;
    searchLine->addWidget(m_search, 1);
    searchLine->addWidget(m_matchLabel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(searchLine);
    layout->addWidget(m_view);
    layout->addWidget(m_emptyLabel);
    layout->addWidget(m_checkedLabel);
    layout->addWidget(buttons);

    const bool empty = m_model->rowCount() == 0;
    m_search->setVisible(!empty);
    m_view->setVisible(!empty);
    m_checkedLabel->setVisible(!empty);
    m_matchLabel->setVisible(!empty);
    m_emptyLabel->setVisible(empty);
    checkAll->setEnabled(!empty);
    uncheckAll->setEnabled(!empty);

    m_model->checkKeys(request.preselected);
    showCheckedCount();
    showMatchCount();
    sizeColumns();
    if (!empty) {
        m_view->setCurrentIndex(m_model->index(0, 0));
        m_search->setFocus();
    }
}

QStringList PickListDialog::pickedKeys() const { return m_model->checkedKeys(); }

void PickListDialog::showCheckedCount()
{
    const int checked = m_model->checkedCount();
    m_checkedLabel->setText(QStringLiteral("%1 de %2 %3")
                                .arg(formatCount(checked), formatCount(m_model->tableRowCount()),
                                     checked == 1 ? QStringLiteral("marcado") : QStringLiteral("marcados")));
}

void PickListDialog::showMatchCount()
{
    m_matchLabel->setText(
        QStringLiteral("%1 de %2").arg(formatCount(m_model->rowCount()), formatCount(m_model->tableRowCount())));
}

void PickListDialog::toggleCurrent()
{
    if (m_view->currentIndex().isValid())
        m_model->toggle(m_view->currentIndex().row());
}

void PickListDialog::sizeColumns()
{
    const QFontMetrics metrics = m_view->fontMetrics();
    const QFontMetrics headerMetrics = m_view->horizontalHeader()->fontMetrics();
    m_checkWidth = metrics.height() + 14;
    m_view->setColumnWidth(0, m_checkWidth);

    // Each column as wide as its longest text and its label (with room for the sort arrow).
    m_textWidths.clear();
    m_wantedWidths.clear();
    for (int column = 1; column < m_model->columnCount(); ++column) {
        const QString label = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int text = widestText(metrics, m_model->columnTexts(column)) + CellPadding;
        m_textWidths.append(text);
        m_wantedWidths.append(std::max(text, headerMetrics.horizontalAdvance(label) + HeaderPadding));
    }
    int maxWidth = MaxDialogWidth;
    if (const QScreen *screen = this->screen())
        maxWidth = std::min(maxWidth, screen->availableGeometry().width() - 40);
    maxWidth = std::max(MinDialogWidth, maxWidth);
    const int sum = fitColumnsInto(maxWidth - DialogChrome - m_checkWidth);
    resize(std::clamp(sum + DialogChrome + m_checkWidth, MinDialogWidth, maxWidth), DialogHeight);
}

int PickListDialog::fitColumnsInto(int room)
{
    std::optional<int> name = m_model->nameColumn();
    if (name)
        *name -= 1; // the widths start after the check column
    const QList<int> widths = fitColumns(m_textWidths, m_wantedWidths, name, room);
    for (int i = 0; i < widths.size(); ++i)
        m_view->setColumnWidth(i + 1, widths.at(i));
    return std::accumulate(widths.cbegin(), widths.cend(), 0);
}

bool PickListDialog::eventFilter(QObject *watched, QEvent *event)
{
    // a wider window (maximised) gives the name its width back first
    if (watched == m_view->viewport() && event->type() == QEvent::Resize && !m_wantedWidths.isEmpty())
        fitColumnsInto(m_view->viewport()->width() - m_checkWidth);
    if ((watched == m_view || watched == m_search) && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter picks the current row, wherever the cursor stands; OK closes the list
            toggleCurrent();
            return true;
        case Qt::Key_Space:
            // in the grid; in the search a space is typed as it is
            if (watched == m_view) {
                toggleCurrent();
                return true;
            }
            break;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // the search keeps the focus while the arrows walk the rows
            if (watched == m_search) {
                QCoreApplication::sendEvent(m_view, key);
                return true;
            }
            break;
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
