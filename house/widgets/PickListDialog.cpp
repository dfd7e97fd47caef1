#include "PickListDialog.h"

#include "PickListModel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

namespace {
constexpr int MaxColumnPixels = 420;
constexpr int MinDialogWidth = 360;
constexpr int MaxDialogWidth = 960;
constexpr int DialogHeight = 420;
} // namespace

PickListDialog::PickListDialog(const PickRequest &request, QWidget *parent)
    : QDialog(parent),
      m_model(new PickListModel(request.rows ? *request.rows : RowTable(), request.keyColumn, request.singleChoice,
                                this)),
      m_view(new QTableView(this)),
      m_emptyLabel(new QLabel(request.emptyText, this))
{
    setObjectName(QStringLiteral("PesquisaLista"));
    setWindowTitle(request.caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_view->setObjectName(QStringLiteral("grdLista"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->installEventFilter(this);
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.column() != 0) // the check cell toggles by itself
            m_model->toggle(index.row());
    });

    m_emptyLabel->setObjectName(QStringLiteral("lblVazio"));
    m_emptyLabel->setWordWrap(true);
    m_emptyLabel->setAlignment(Qt::AlignCenter);

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
    layout->addWidget(m_view);
    layout->addWidget(m_emptyLabel);
    layout->addWidget(buttons);

    const bool empty = m_model->rowCount() == 0;
    m_view->setVisible(!empty);
    m_emptyLabel->setVisible(empty);
    checkAll->setEnabled(!empty);
    uncheckAll->setEnabled(!empty);

    m_model->checkKeys(request.preselected);
    sizeColumns();
    if (!empty) {
        m_view->setCurrentIndex(m_model->index(0, 0));
        m_view->setFocus();
    }
}

QStringList PickListDialog::pickedKeys() const { return m_model->checkedKeys(); }

void PickListDialog::sizeColumns()
{
    const int charWidth = m_view->fontMetrics().averageCharWidth();
    const int checkWidth = m_view->fontMetrics().height() + 14;
    m_view->setColumnWidth(0, checkWidth);
    int total = checkWidth;
    for (int column = 1; column < m_model->columnCount(); ++column) {
        const int chars = m_model->displayWidth(column);
        const QString label = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int byLabel = m_view->fontMetrics().horizontalAdvance(label) + 16;
        const int width = std::clamp(std::max(chars * charWidth + 12, byLabel), 40, MaxColumnPixels);
        m_view->setColumnWidth(column, width);
        total += width;
    }
    int maxWidth = MaxDialogWidth;
    if (const QScreen *screen = this->screen())
        maxWidth = std::min(maxWidth, screen->availableGeometry().width() - 40);
    resize(std::clamp(total + 40, MinDialogWidth, std::max(MinDialogWidth, maxWidth)), DialogHeight);
}

bool PickListDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Space toggles the current row wherever its cursor stands.
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space && m_view->currentIndex().isValid()) {
            m_model->toggle(m_view->currentIndex().row());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
