// Local date-time values, the clock seam and the fixed date patterns used in file names.
#pragma once

#include <string>

namespace rizuzez {

struct LocalDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    bool operator==(const LocalDateTime&) const = default;
};

// Local date-times as floating-point days since 1899-12-30 00:00 (the fraction is the time
// of day), the form in which the auto-save schedule keeps them.
double toDays(const LocalDateTime& t);
LocalDateTime fromDays(double days);

// Source of the current local time. The window and the service use SystemClock; tests move
// a clock of their own by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
};

std::string formatDate(const LocalDateTime& t);           // "yyyy-mm-dd"
std::string formatDateTimeStamp(const LocalDateTime& t);  // "yyyy-mm-dd.hh-nn"
std::string formatLogTimestamp(const LocalDateTime& t);   // "yyyy-mm-dd hh:mm:ss"
// "dd/mm/yy hh:mm" with the locale's date and time separators in place of "/" and ":".
std::string formatShortDateTime(const LocalDateTime& t, char dateSep, char timeSep);

} // namespace rizuzez
