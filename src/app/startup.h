// Start-up and closing sequences of the station, shared by the window and a headless service.
#pragma once

#include "app/blacklist.h"
#include "app/config.h"
#include "app/datadir.h"
#include "app/station.h"
#include "coverage/plotfiles.h"

#include <cstdint>
#include <string>

namespace rizuzez {

// The questions start-up may ask. The window answers with message boxes; a service answers
// from its options; tests from a table. confirmReload and choosePlotFile are those of the
// plot files (start-up asks only confirmReload).
class StartupQuestions : public PlotFileQuestions {
public:
    // Bring the application to the foreground: before the clean-up question and as the last
    // step of start-up. Nothing to do without a window.
    virtual void bringToFront() {}
    // The clean-up offer, asked when count > 0 cells lie beyond the filter range: message is
    // the full text ("12 values exceeding 300 NM range. Clean up?"); caption "Rizuzez-1",
    // Yes/No, exclamation icon. True cleans up.
    virtual bool confirmCleanUp(std::int32_t count, const std::string& message) = 0;
};

// "N values exceeding RRR NM range. Clean up?" with the range as "%3.0f".
std::string cleanUpMessage(std::int32_t count, double filterRange);

struct StartupInputs {
    std::string exeDir; // folder of the executable
    std::string
        userDataDir; // base folder when the executable's folder takes no files; may be empty
};

struct StartupResult {
    DataFolders folders;
    BlacklistFileState blacklistFile = BlacklistFileState::Failed;
    bool blacklistLoaded = false;
    IniFileState config = IniFileState::Missing;
    bool homeFromFallback = false; // the position boxes came from "basestation.ini"
    // What the controls show: the configuration, the fallback position, and the port box
    // holding TelnetPort in decimal.
    Settings settings;
    LoadResult reload;
    std::int32_t exceeding = 0; // cells beyond the filter range after the reload
    bool cleanedUp = false;
};

// The start-up sequence, before the window shows. Sets the station's DataDir, its blacklist
// text, FilterRange from the filter index and, on the answers given, its coverage. The
// station's decimal separator must already be set (it formats the reloaded contact). The
// window then applies result.settings to its controls, runs its range-label and auto-save
// indicator updates, hooks its minimise event, and leaves the feed stopped.
StartupResult runStartup(Station& station, const StartupInputs& inputs,
                         StartupQuestions& questions);
// The same with the data folders already set up (the headless service's --data-dir).
StartupResult runStartupIn(Station& station, const DataFolders& folders,
                         StartupQuestions& questions);

struct ShutdownResult {
    ConfigWriteResult config;
    SaveResult plotFiles;
};

// The closing sequence after the feed is disconnected: write the configuration from the
// controls' settings, then save the default plot files with SavingInProgress set. The plot
// is saved whatever became of the configuration. Never refuses the close.
ShutdownResult runShutdown(Station& station, const Settings& settings);

} // namespace rizuzez
