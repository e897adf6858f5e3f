// Local date-time conversions and formatting.
#include "app/clock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace rizuzez {
namespace {

constexpr std::chrono::sys_days Epoch{std::chrono::year{1899} / 12 / 30};
constexpr double MsPerDay = 86400000.0;

} // namespace

double toDays(const LocalDateTime& t) {
    using namespace std::chrono;
    const sys_days date{year{t.year} / month{static_cast<unsigned>(t.month)} /
                        day{static_cast<unsigned>(t.day)}};
    const double wholeDays = static_cast<double>((date - Epoch).count());
    const double ms = ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.msec;
    return wholeDays + ms / MsPerDay;
}

LocalDateTime fromDays(double days) {
    using namespace std::chrono;
    // Round to the millisecond first so 0.99999999 of a day does not read as 23:59:59.999.
    const double totalMs = std::round(days * MsPerDay);
    const double dayPart = std::floor(totalMs / MsPerDay);
    auto msOfDay = static_cast<long long>(totalMs - dayPart * MsPerDay);
    const year_month_day ymd{Epoch + std::chrono::days{static_cast<long long>(dayPart)}};
    LocalDateTime t;
    t.year = static_cast<int>(ymd.year());
    t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    t.msec = static_cast<int>(msOfDay % 1000);
    msOfDay /= 1000;
    t.second = static_cast<int>(msOfDay % 60);
    msOfDay /= 60;
    t.minute = static_cast<int>(msOfDay % 60);
    t.hour = static_cast<int>(msOfDay / 60);
    return t;
}

LocalDateTime SystemClock::now() const {
    using namespace std::chrono;
    const auto nowTp = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(nowTp);
    std::tm tm{};
    localtime_r(&secs, &tm);
    LocalDateTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.msec = static_cast<int>(duration_cast<milliseconds>(nowTp.time_since_epoch()).count() % 1000);
    return t;
}

std::string formatDate(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
    return buf;
}

std::string formatDateTimeStamp(const LocalDateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d.%02d-%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return buf;
}

std::string formatLogTimestamp(const LocalDateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string formatShortDateTime(const LocalDateTime& t, char dateSep, char timeSep) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d %02d%c%02d", t.day, dateSep, t.month, dateSep,
                  ((t.year % 100) + 100) % 100, t.hour, timeSep, t.minute);
    return buf;
}

} // namespace rizuzez
