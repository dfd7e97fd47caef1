#pragma once

#include <QDate>

#include <functional>

// The runtime's Date: today's date as the screens see it. Tests fix it to a chosen day.
QDate Today();

// Replaces the clock; an empty function restores the system clock.
void setTodayProvider(std::function<QDate()> provider);

// Fixes "today" for one scope.
class ScopedToday
{
public:
    explicit ScopedToday(QDate day);
    ~ScopedToday();
    ScopedToday(const ScopedToday &) = delete;
    ScopedToday &operator=(const ScopedToday &) = delete;
};
