// The station's core: coverage, decoder, counters and file routines, driven alike by the
// window and the headless tool, which hold no logic of their own.
#pragma once

#include "app/clock.h"
#include "app/schedule.h"
#include "coverage/plotdata.h"
#include "coverage/plotfiles.h"
#include "feed/decoder.h"

#include <string>
#include <string_view>

namespace rizuzez {

class Station {
public:
    explicit Station(const Clock& clock);
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    const Clock& clock() const { return *m_clock; }

    // The data folder (plot files, configuration, blacklist, log), with or without its
    // trailing separator.
    std::string DataDir;

    // The locale's decimal separator: numbers typed or received may use it, and the
    // ignored-message log writes it.
    void setDecimalSeparator(char sep);
    char decimalSeparator() const { return m_decimalSeparator; }

    Coverage coverage;
    Decoder decoder{coverage};

    // Set while plot or outline files are written or read: chunks arriving meanwhile are
    // dropped unread, counters included.
    bool SavingInProgress = false;

    // Housekeeping counter and the automatic-save times.
    AutoSaveSchedule schedule;

    // A received chunk of feed text.
    void IdTelnet1DataAvailable(std::string_view chunk);

    // Plot file routines with SavingInProgress set around them, as the menu commands run them.
    SaveResult savePlotFiles(std::string_view mode);
    LoadResult loadPlotFiles(std::string_view mode, PlotFileQuestions& questions);

    std::string blacklistFile() const { return dataPath(DataDir, "rizuzez1.blacklist.txt"); }
    std::string ignoredLogFile() const { return dataPath(DataDir, "rizuzez1.log"); }

private:
    const Clock* m_clock;
    char m_decimalSeparator = '.';
};

// Sets a flag for the lifetime of the guard and restores its previous value.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = m_old; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace rizuzez
