#include "StopProgressDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace {
constexpr int DialogWidth = 420;
} // namespace

StopProgressDialog::StopProgressDialog(const QString &title, QWidget *parent)
    : QDialog(parent), m_label(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_stop(new QPushButton(QStringLiteral("Interromper"), this))
{
    setObjectName(QStringLiteral("StopProgress"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowModality(Qt::ApplicationModal);
    // the screen behind shows the wait cursor; this one stays clickable
    setCursor(Qt::ArrowCursor);

    m_label->setObjectName(QStringLiteral("lblProgresso"));
    m_label->setWordWrap(true);
    m_bar->setObjectName(QStringLiteral("pgbProgresso"));
    m_bar->setTextVisible(true);
    m_bar->setFormat(QStringLiteral("%p%"));
    m_stop->setObjectName(QStringLiteral("btnInterromper"));
    m_stop->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, this, &StopProgressDialog::askToStop);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    setMinimumWidth(DialogWidth);
}

void StopProgressDialog::setProgress(const QString &text, qint64 value, qint64 maximum)
{
    m_label->setText(text);
    // the bar counts in int: a larger run is shown in proportion
    const qint64 scale = maximum > std::numeric_limits<int>::max() ? maximum / std::numeric_limits<int>::max() + 1 : 1;
    m_bar->setRange(0, int(maximum / scale));
    m_bar->setValue(int(std::min(value, maximum) / scale));
}

void StopProgressDialog::reject() { askToStop(); }

void StopProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
    askToStop();
}

void StopProgressDialog::askToStop()
{
    if (m_stopAsked)
        return;
    m_stopAsked = true;
    m_stop->setEnabled(false);
    m_stop->setText(QStringLiteral("Interrompendo…"));
    emit stopRequested();
}
