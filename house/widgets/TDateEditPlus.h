#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>

#include <QLabel>

// Masked dd/mm/yyyy date edit that may stay empty; dd/mm/yy reads as 20yy and shows in full
// once left. A valid date shows in ValidDateColor and its weekday name (from NomeSemana, Sunday
// first) beside the edit. exited() is the edit's "leave" event: the focus moved to another
// control of the same window. Alt+Down or the calendar button in the edit opens a calendar; the
// day picked there is typed as dd/mm/yyyy.
class RBX_HOUSE_WIDGETS_EXPORT TDateEditPlus final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDateEditPlus)

public:
    static constexpr char DateFormat[] = "dd/MM/yyyy";

    explicit TDateEditPlus(QWidget *parent = nullptr);
    ~TDateEditPlus() override;

    // The typed date; a null QDate when empty or not a date.
    QDate Date() const;
    // A null or invalid date empties the edit.
    void SetDate(QDate date);
    // With SaveTime the time of day given to SetDateTime is kept; otherwise it is midnight.
    QDateTime DateTime() const;
    void SetDateTime(const QDateTime &moment);
    // The text as shown to code: "dd/mm/yyyy", or the mask's separators when nothing is typed.
    QString Text() const { return text(); }
    bool IsEmpty() const;
    // What was typed: the text without the mask's blanks and trailing separators.
    QString Typed() const;

    // An empty edit passes. A text that is no date moves the focus here and raises
    // EValidationError "Data inválida: <typed>.". A two-digit year "dd/mm/aa" is 20aa.
    void CheckValidDate();

    QColor ValidDateColor = Qt::blue;
    bool SaveTime = false;
    void SetNomeSemana(const QStringList &names);
    const QStringList &NomeSemana() const { return m_nomeSemana; }
    // The weekday shown for the current text; empty unless it is a valid date.
    QString WeekdayName() const;
    QLabel *WeekdayLabel() const { return m_weekday; }
    // Opens the calendar below the edit on the typed date (today when none); nothing while
    // the edit is read-only or disabled.
    void showCalendar();

signals:
    void exited();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void placeWeekday();

    QStringList m_nomeSemana;
    QTime m_time;
    QPointer<QLabel> m_weekday; // a sibling, so it can stand beside the edit
    QAction *m_calendarAction;
};
