// The values the START button checks and sets: station position, filter range, ignored-message
// log and the first automatic-save time.
#pragma once

#include "app/autosave.h"
#include "app/clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace rizuzez {

enum class StartProblem { None, MissingHome, BadLatitude, BadLongitude };

// The operator's message for a problem ("Please add a valid SBS Home Position", ...); empty
// for None.
const char* startProblemText(StartProblem problem);

struct StartRequest {
    std::string_view latText;    // "Lat" box
    std::string_view lonText;    // "Long" box
    std::string_view filterText; // the filter list's entry: "NEVER" or a number of miles
    char decimalSeparator = '.';
};

struct StartValues {
    StartProblem problem = StartProblem::None;
    double homeLat = 0.0;       // degrees, north positive; meaningful only without a problem
    double homeLon = 0.0;       // degrees, east positive
    double filterRange = 999.0; // nautical miles
};

// Checks the typed station position: both boxes filled, the latitude a number within
// -90..90, the longitude a number within -180..180 (the text "-999" counts as unreadable).
// The latitude is judged first.
StartValues checkStart(const StartRequest& request);

// The filter list's entry in nautical miles: 999 for "NEVER" and for anything unreadable.
double filterRangeFromText(std::string_view text, char decimalSeparator = '.');

// Creates the ignored-message log empty when it does not exist; an existing one is left alone.
// False when it does not exist afterwards (folder missing, no write access).
bool createLogIfMissing(const std::string& path);

struct AutoSaveSchedule {
    double AutoSaveStart = 0.0; // floating days (see toDays)
    double NextAutoSave = 0.0;
    std::string panelText; // "Next AutoSave: dd/mm/yy hh:mm LT"
};

// The first automatic save after a START at `now`, or nullopt when "No auto save" is checked.
// The next save is `now` plus the interval of the first checked interval item (now itself
// when none is checked).
std::optional<AutoSaveSchedule> scheduleAutoSave(const AutoSaveSettings& settings,
                                                 const LocalDateTime& now, char dateSep,
                                                 char timeSep);

// "Next AutoSave: " + the date-time in the form dd/mm/yy hh:mm with the given separators + " LT".
std::string nextAutoSaveText(double nextAutoSave, char dateSep, char timeSep);

} // namespace rizuzez
