#include "HouseClock.h"

namespace {
std::function<QDate()> &provider()
{
    static std::function<QDate()> current;
    return current;
}
} // namespace

QDate Today() { return provider() ? provider()() : QDate::currentDate(); }

void setTodayProvider(std::function<QDate()> next) { provider() = std::move(next); }

ScopedToday::ScopedToday(QDate day) { setTodayProvider([day] { return day; }); }
ScopedToday::~ScopedToday() { setTodayProvider({}); }
