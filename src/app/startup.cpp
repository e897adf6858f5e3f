// Start-up and closing sequences.
#include "app/startup.h"

#include <cstdio>
#include <exception>
#include <memory>

namespace rizuzez {

std::string cleanUpMessage(std::int32_t count, double filterRange) {
    char range[400];
    std::snprintf(range, sizeof range, "%3.0f", filterRange);
    return std::to_string(count) + " values exceeding " + range + " NM range. Clean up?";
}

StartupResult runStartup(Station& station, const StartupInputs& inputs,
                         StartupQuestions& questions) {
    return runStartupIn(station, setUpDataDir(inputs.exeDir, inputs.userDataDir), questions);
}

StartupResult runStartupIn(Station& station, const DataFolders& folders,
                         StartupQuestions& questions) {
    StartupResult r;
    r.folders = folders;
    station.DataDir = r.folders.DataDir;

    r.blacklistFile = ensureBlacklistFile(station.blacklistFile());
    if (std::optional<std::string> text = LoadBlacklist(station.blacklistFile())) {
        station.decoder.Blacklist = std::move(*text);
        r.blacklistLoaded = true;
    }

    const SettingsRead read = readSettings(configPath(station.DataDir));
    r.config = read.file;
    r.settings = read.settings;
    r.homeFromFallback = applyHomeFallback(r.settings, homeFallbackPath(station.DataDir));

    r.reload = station.loadPlotFiles("", questions);

    station.decoder.FilterRange = filterRangeFromIndex(r.settings.filterIndex);

    // Counted on a copy so that No leaves the table as it is. The station position is
    // still 0, 0 here: START sets it.
    auto cleaned = std::make_unique<PlotTable>(station.coverage.PlotData);
    r.exceeding = CountExceeding(*cleaned, station.decoder.FilterRange, station.decoder.homeLat(),
                                 station.decoder.homeLon());
    if (r.exceeding > 0) {
        questions.bringToFront();
        if (questions.confirmCleanUp(r.exceeding,
                                     cleanUpMessage(r.exceeding, station.decoder.FilterRange))) {
            station.coverage.PlotData = *cleaned;
            RecomputeMax(station.coverage.PlotData, station.coverage.MaxDistance,
                         station.decoder.homeLat(), station.decoder.homeLon());
            r.cleanedUp = true;
        }
    }
    questions.bringToFront();
    return r;
}

ShutdownResult runShutdown(Station& station, const Settings& settings) {
    ShutdownResult r;
    try {
        r.config = writeSettings(configPath(station.DataDir), settings);
    } catch (const std::exception& e) {
        r.config = {false, e.what()};
    }
    r.plotFiles = station.savePlotFiles("");
    return r;
}

} // namespace rizuzez
