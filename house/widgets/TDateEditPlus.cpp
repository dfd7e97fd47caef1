#include "TDateEditPlus.h"

#include <house/HouseClock.h>
#include <protocol/HouseError.h>
#include "HouseGlyphs.h"
#include <house/TextRoutines.h>

#include <QAction>
#include <QCalendarWidget>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>

namespace {
constexpr int WeekdayGap = 6;
constexpr int WeekdayWidth = 80;
} // namespace

TDateEditPlus::TDateEditPlus(QWidget *parent)
    : QLineEdit(parent), m_calendarAction(addAction(HouseGlyphs::calendar(), QLineEdit::TrailingPosition))
{
    m_calendarAction->setToolTip(QStringLiteral("Calendário (Alt+Seta para baixo)"));
    connect(m_calendarAction, &QAction::triggered, this, &TDateEditPlus::showCalendar);
    setInputMask(QStringLiteral("99/99/9999;_"));
    m_nomeSemana = {QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                    QStringLiteral("Quarta"), QStringLiteral("Quinta"), QStringLiteral("Sexta"),
                    QStringLiteral("Sábado")};
    if (parent) {
        m_weekday = new QLabel(parent);
        m_weekday->hide();
    }
    // The weekday label is found by the edit's name: "depOrigem" has "depOrigemNomeSemana".
    connect(this, &QObject::objectNameChanged, this, [this](const QString &name) {
        if (m_weekday)
            m_weekday->setObjectName(name + QStringLiteral("NomeSemana"));
    });
    connect(this, &QLineEdit::textChanged, this, &TDateEditPlus::refresh);
    refresh();
}

TDateEditPlus::~TDateEditPlus() { delete m_weekday.data(); }

QDate TDateEditPlus::Date() const
{
    const QString typed = text();
    const QDate date = QDate::fromString(typed, QLatin1String(DateFormat));
    if (date.isValid())
        return date;
    // "dd/mm/aa" is a date of this century; Qt would read "yy" as 19aa
    static const QRegularExpression shortYear(QStringLiteral("^(\\d\\d)/(\\d\\d)/(\\d\\d)$"));
    const QRegularExpressionMatch match = shortYear.match(typed);
    if (!match.hasMatch())
        return {};
    return QDate(2000 + match.captured(3).toInt(), match.captured(2).toInt(), match.captured(1).toInt());
}

void TDateEditPlus::SetDate(QDate date)
{
    if (date.isValid())
        setText(date.toString(QLatin1String(DateFormat)));
    else
        clear();
    m_time = QTime(0, 0);
}

QDateTime TDateEditPlus::DateTime() const
{
    const QDate date = Date();
    if (!date.isValid())
        return {};
    return QDateTime(date, SaveTime && m_time.isValid() ? m_time : QTime(0, 0));
}

void TDateEditPlus::SetDateTime(const QDateTime &moment)
{
    SetDate(moment.date());
    m_time = moment.time();
}

bool TDateEditPlus::IsEmpty() const { return EmptyString(text()); }

void TDateEditPlus::CheckValidDate()
{
    if (IsEmpty() || Date().isValid())
        return;
    setFocus(Qt::OtherFocusReason);
    selectAll();
    throw rbx::EValidationError(QStringLiteral("Data inválida: %1.").arg(Typed()));
}

void TDateEditPlus::SetNomeSemana(const QStringList &names)
{
    m_nomeSemana = names;
    refresh();
}

QString TDateEditPlus::WeekdayName() const
{
    const QDate date = Date();
    if (!date.isValid() || m_nomeSemana.size() < 7)
        return {};
    return m_nomeSemana.at(date.dayOfWeek() % 7); // Qt counts Monday 1 .. Sunday 7
}

void TDateEditPlus::refresh()
{
    QPalette colours = palette();
    colours.setColor(QPalette::Text, Date().isValid() ? ValidDateColor : QPalette().color(QPalette::Text));
    setPalette(colours);
    if (m_weekday) {
        m_weekday->setText(WeekdayName());
        m_weekday->setVisible(isVisible() && !m_weekday->text().isEmpty());
    }
}

void TDateEditPlus::placeWeekday()
{
    if (m_weekday && m_weekday->parentWidget() == parentWidget())
        m_weekday->setGeometry(geometry().right() + 1 + WeekdayGap, y(), WeekdayWidth, height());
}

QString TDateEditPlus::Typed() const
{
    // text() drops the mask's blanks; separators after the last digit were not typed either
    QString typed = text();
    while (!typed.isEmpty() && (typed.back() == u'/' || typed.back().isSpace()))
        typed.chop(1);
    return typed;
}

void TDateEditPlus::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // a two-digit year is shown as read
    if (const QDate date = Date(); date.isValid() && text().size() < qsizetype(sizeof DateFormat) - 1)
        setText(date.toString(QLatin1String(DateFormat)));
    // A dialog or another window taking the focus is no leave: the user did not move on.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit exited();
}

void TDateEditPlus::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Down && event->modifiers().testFlag(Qt::AltModifier)) {
        showCalendar();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TDateEditPlus::showCalendar()
{
    if (isReadOnly() || !isEnabled())
        return;
    auto *calendar = new QCalendarWidget(this);
    calendar->setObjectName(objectName() + QStringLiteral("Calendario"));
    calendar->setWindowFlags(Qt::Popup);
    calendar->setAttribute(Qt::WA_DeleteOnClose);
    calendar->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    calendar->setGridVisible(true);
    calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    const QDate typed = Date();
    calendar->setSelectedDate(typed.isValid() ? typed : Today());
    // a click or Enter on a day takes it; Escape or a click outside leaves the text as it was
    connect(calendar, &QCalendarWidget::activated, this, [this, calendar](QDate date) {
        const QTime time = m_time; // a date picked keeps the time of day SaveTime keeps
        SetDate(date);
        m_time = time;
        calendar->close();
        setFocus(Qt::PopupFocusReason);
    });
    connect(calendar, &QCalendarWidget::clicked, calendar, &QCalendarWidget::activated);
    calendar->adjustSize();
    calendar->move(mapToGlobal(QPoint(0, height())));
    calendar->show();
    calendar->setFocus(Qt::PopupFocusReason);
}

void TDateEditPlus::moveEvent(QMoveEvent *event)
{
    QLineEdit::moveEvent(event);
    placeWeekday();
}

void TDateEditPlus::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeWeekday();
}

void TDateEditPlus::showEvent(QShowEvent *event)
{
    QLineEdit::showEvent(event);
    placeWeekday();
    refresh();
}

void TDateEditPlus::hideEvent(QHideEvent *event)
{
    QLineEdit::hideEvent(event);
    if (m_weekday && !isVisibleTo(parentWidget()))
        m_weekday->hide();
}

void TDateEditPlus::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() != QEvent::ParentChange)
        return;
    if (!parentWidget()) {
        delete m_weekday.data();
        return;
    }
    if (!m_weekday) {
        m_weekday = new QLabel(parentWidget());
        m_weekday->setObjectName(objectName() + QStringLiteral("NomeSemana"));
    } else {
        m_weekday->setParent(parentWidget());
    }
    placeWeekday();
    refresh();
}
