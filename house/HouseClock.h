#pragma once

#include <house/rbx_house_export.h>

#include <QDate>

#include <functional>

// The runtime's Date: today's date as the screens see it. Tests fix it to a chosen day.
RBX_HOUSE_EXPORT QDate Today();

// Replaces the clock; an empty function restores the system clock.
RBX_HOUSE_EXPORT void setTodayProvider(std::function<QDate()> provider);

// Fixes "today" for one scope.
class RBX_HOUSE_EXPORT ScopedToday
{
public:
    explicit ScopedToday(QDate day);
    ~ScopedToday();
    ScopedToday(const ScopedToday &) = delete;
    ScopedToday &operator=(const ScopedToday &) = delete;
};
