// Housekeeping and the automatic-save schedule.
#include "app/housekeeping.h"

#include "app/blacklist.h"

#include <cmath>
#include <exception>

namespace rizuzez {
namespace {

// Times are compared to the millisecond, the clock's resolution, so that a time built as
// start + interval and a clock reading of the same instant compare equal despite rounding.
long long toMilliseconds(double days) {
    return std::llround(days * 86400000.0);
}

} // namespace

std::string nextAutoSaveText(double nextAutoSaveDays, DateTimeSeparators separators) {
    return "Next AutoSave: " +
           formatShortDateTime(fromDays(nextAutoSaveDays), separators.date, separators.time) +
           " LT";
}

std::optional<std::string> startAutoSaveSchedule(AutoSaveSchedule& schedule,
                                                 const AutoSaveSettings& autoSave,
                                                 const LocalDateTime& now,
                                                 DateTimeSeparators separators) {
    if (autoSave.Noautosave1) {
        return std::nullopt;
    }
    schedule.AutoSaveStart = toDays(now);
    schedule.NextAutoSave = schedule.AutoSaveStart + autoSaveIntervalDays(autoSave);
    return nextAutoSaveText(schedule.NextAutoSave, separators);
}

std::optional<std::string> startAutoSaveSchedule(Station& station, const AutoSaveSettings& autoSave,
                                                 DateTimeSeparators separators) {
    return startAutoSaveSchedule(station.schedule, autoSave, station.clock().now(), separators);
}

HousekeepingResult RunHousekeeping(Station& station, const HousekeepingInputs& in) {
    HousekeepingResult r;
    AutoSaveSchedule& s = station.schedule;
    s.HousekeepingTicks += 1;
    if (s.HousekeepingTicks < HousekeepingPeriod) {
        return r;
    }
    r.passed = true;
    if (std::optional<std::string> text = LoadBlacklist(station.blacklistFile())) {
        station.decoder.Blacklist = std::move(*text);
        r.blacklistReloaded = true;
    }
    s.HousekeepingTicks = 0;

    const AutoSaveSettings& a = in.autoSave;
    if (a.Noautosave1) {
        return r;
    }
    if (toMilliseconds(toDays(station.clock().now())) <= toMilliseconds(s.NextAutoSave)) {
        return r;
    }
    r.saved = true;
    {
        FlagGuard saving(station.SavingInProgress);
        if (a.Saveplotfile1) {
            r.plotFiles = station.savePlotFiles("time");
        }
        if (a.SaveOUTfile2) {
            bool written = false;
            if (in.exportOutline) {
                try {
                    written = in.exportOutline();
                } catch (const std::exception&) {
                    written = false; // the export reports its own failures; the schedule goes on
                }
            }
            r.outlineWritten = written;
        }
    }
    // Measured after the saves, so the schedule drifts by the time they took.
    s.NextAutoSave = toDays(station.clock().now()) + autoSaveIntervalDays(a);
    if (a.clear2) {
        ClearCoverage(station.coverage);
        r.cleared = true;
    }
    r.panel4 = nextAutoSaveText(s.NextAutoSave, in.separators);
    return r;
}

} // namespace rizuzez
