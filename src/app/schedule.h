// The automatic-save schedule and the housekeeping counter, kept by the Station.
#pragma once

#include <cstdint>

namespace rizuzez {

struct AutoSaveSchedule {
    // Running ticks since the last housekeeping pass: 1..61, back to 0 at each pass. Starting
    // and stopping the feed leave it alone, so the first pass after a start may come early.
    std::int32_t HousekeepingTicks = 0;
    // Local date-times as floating-point days (see toDays): set at START when auto-save is
    // on, NextAutoSave moved on by each automatic save.
    double AutoSaveStart = 0.0;
    double NextAutoSave = 0.0;
};

// The user's date and time separators for the "Next AutoSave" text.
struct DateTimeSeparators {
    char date = '/';
    char time = ':';
};

} // namespace rizuzez
