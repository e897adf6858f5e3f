// The housekeeping of a running feed (blacklist reload, automatic saves) and what it needs of
// the window.
#pragma once

#include "app/autosave.h"
#include "app/station.h"

#include <string>

namespace rizuzez {

// The window's side of a housekeeping pass. All calls come on the window's thread.
class HousekeepingHost {
public:
    virtual ~HousekeepingHost() = default;
    // The AutoSave menu's check marks as they stand now.
    virtual AutoSaveSettings autoSaveSettings() const = 0;
    // The outline export in its timed mode: timed file name, missing folder created, an
    // existing file overwritten, no question asked.
    virtual void exportTimedOutline() = 0;
    // Replaces the text of the "Next AutoSave" status panel.
    virtual void showNextAutoSave(const std::string& text) = 0;
};

// Runs on every one-second tick while the feed runs (never while it is stopped), after the
// rate line and the plot redraw.
void RunHousekeeping(Station& station, HousekeepingHost& host);

} // namespace rizuzez
