#include "PickListDialog.h"

#include "FormatText.h"
#include "HandlerGuard.h"
#include "PickListModel.h"

#include <QCoreApplication>

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {
constexpr int MinColumnPixels = 80;
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
} // namespace

PickListDialog::PickListDialog(const PickRequest &request, QWidget *parent)
    : QDialog(parent),
      m_model(new PickListModel(request.rows ? *request.rows : RowTable(), request.keyColumn, request.singleChoice,
                                this)),
      m_search(new QLineEdit(this)),
      m_view(new QTableView(this)),
      m_emptyLabel(new QLabel(request.emptyText, this)),
      m_checkedLabel(new QLabel(this))
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

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_view);
    layout->addWidget(m_emptyLabel);
    layout->addWidget(m_checkedLabel);
    layout->addWidget(buttons);

    const bool empty = m_model->rowCount() == 0;
    m_search->setVisible(!empty);
    m_view->setVisible(!empty);
    m_checkedLabel->setVisible(!empty);
    m_emptyLabel->setVisible(empty);
    checkAll->setEnabled(!empty);
    uncheckAll->setEnabled(!empty);

    m_model->checkKeys(request.preselected);
    showCheckedCount();
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

void PickListDialog::toggleCurrent()
{
    if (m_view->currentIndex().isValid())
        m_model->toggle(m_view->currentIndex().row());
}

void PickListDialog::sizeColumns()
{
    const QFontMetrics metrics = m_view->fontMetrics();
    const QFontMetrics headerMetrics = m_view->horizontalHeader()->fontMetrics();
    const int checkWidth = metrics.height() + 14;
    m_view->setColumnWidth(0, checkWidth);

    // Each column as wide as its longest text and its label (with room for the sort arrow).
    QList<int> widths;
    for (int column = 1; column < m_model->columnCount(); ++column) {
        const QString label = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        widths.append(std::max(widestText(metrics, m_model->columnTexts(column)) + CellPadding,
                               headerMetrics.horizontalAdvance(label) + HeaderPadding));
    }
    int maxWidth = MaxDialogWidth;
    if (const QScreen *screen = this->screen())
        maxWidth = std::min(maxWidth, screen->availableGeometry().width() - 40);
    maxWidth = std::max(MinDialogWidth, maxWidth);

    // Too wide for the window: the widest columns give way, down to a common width, so that
    // short columns (a bed, a code) are never cut.
    const int room = maxWidth - DialogChrome - checkWidth;
    const auto total = [&widths](int cap) {
        int sum = 0;
        for (const int width : widths)
            sum += std::min(width, cap);
        return sum;
    };
    if (!widths.isEmpty() && total(INT_MAX) > room) {
        int low = MinColumnPixels, high = *std::max_element(widths.cbegin(), widths.cend());
        while (low < high) {
            const int cap = (low + high + 1) / 2;
            if (total(cap) <= room)
                low = cap;
            else
                high = cap - 1;
        }
        for (int &width : widths)
            width = std::min(width, low);
    }
    int sum = checkWidth;
    for (int i = 0; i < widths.size(); ++i) {
        m_view->setColumnWidth(i + 1, widths.at(i));
        sum += widths.at(i);
    }
    resize(std::clamp(sum + DialogChrome, MinDialogWidth, maxWidth), DialogHeight);
}

bool PickListDialog::eventFilter(QObject *watched, QEvent *event)
{
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
