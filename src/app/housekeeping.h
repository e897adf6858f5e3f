// The once-a-minute housekeeping while the feed runs: blacklist reload and automatic saves,
// and the automatic-save schedule set when the feed starts.
#pragma once

#include "app/autosave.h"
#include "app/clock.h"
#include "app/schedule.h"
#include "app/station.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace rizuzez {

// The pass runs on the 61st running tick and every 61st after it.
inline constexpr std::int32_t HousekeepingPeriod = 61;

// Writes the outline file in its timed mode ("rizuzez.yyyy-mm-dd.hh-nn.out" in the outline
// folder) without asking anything, and says whether the file was written. It runs with
// SavingInProgress already set; it may take its time and may throw, and the housekeeping
// goes on after it either way.
using TimedOutlineExport = std::function<bool()>;

struct HousekeepingInputs {
    AutoSaveSettings autoSave; // the AutoSave menu's check marks at this tick
    DateTimeSeparators separators;
    TimedOutlineExport exportOutline; // empty: no outline writer, nothing exported
};

struct HousekeepingResult {
    bool passed = false;            // this tick was a pass: reload and due test ran
    bool blacklistReloaded = false; // false on a pass: the file could not be read, old text kept
    bool saved = false;             // an automatic save was due and ran
    std::optional<SaveResult> plotFiles; // the timed plot files, when they were due
    std::optional<bool> outlineWritten;  // the timed outline file, when it was due
    bool cleared = false;
    std::optional<std::string> panel4; // new text for panel 4 of the lower status line
};

// "Next AutoSave: dd/mm/yy hh:mm LT" for a schedule time in days, with the user's separators.
std::string nextAutoSaveText(double nextAutoSaveDays, DateTimeSeparators separators);

// At START, when "No auto save" is not checked: AutoSaveStart is now, NextAutoSave now plus
// the first checked interval (now itself when none is). Returns the new panel 4 text, or
// nullopt with "No auto save" checked, when the panel is not touched. The housekeeping
// counter is left alone.
std::optional<std::string> startAutoSaveSchedule(AutoSaveSchedule& schedule,
                                                 const AutoSaveSettings& autoSave,
                                                 const LocalDateTime& now,
                                                 DateTimeSeparators separators);
std::optional<std::string> startAutoSaveSchedule(Station& station, const AutoSaveSettings& autoSave,
                                                 DateTimeSeparators separators);

// One running tick's housekeeping; call it only while the feed runs, after the rate line and
// the plot redraw. On every 61st call: reload the blacklist (an unreadable file keeps the
// old text), reset the counter, and unless "No auto save" is checked and when the clock is
// strictly later than NextAutoSave: with SavingInProgress set write the timed plot files
// and the timed outline file as ticked, read the clock again for NextAutoSave (plus the
// interval), clear the coverage when "Clear data on AutoSave" is ticked, and give the new
// panel 4 text.
HousekeepingResult RunHousekeeping(Station& station, const HousekeepingInputs& inputs);

} // namespace rizuzez
