// The headless station service: what the window's START, timer and close do, driven by a
// feed connection that looks after itself, and told to the operator as log lines.
#pragma once

#include "app/autosave.h"
#include "app/housekeeping.h"
#include "app/schedule.h"
#include "app/station.h"
#include "display/status.h"
#include "feed/telnet.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace rizuzez {

struct ServiceSettings {
    AutoSaveSettings autoSave;
    DateTimeSeparators separators;
    // The timed outline file of the auto-save; empty: none is written.
    TimedOutlineExport exportOutline;
    // Ticks between two status lines (rate and totals).
    std::int32_t statusEveryTicks = 60;
};

// One line for the operator, without its line break.
using ServiceLog = std::function<void(const std::string& line)>;

// The station as a service. The owner opens and closes the feed connection and reports it
// here; everything the station does with it (decoding, ticks, housekeeping, saves, the
// lines told to the operator) happens in here, on the owner's thread.
class StationService {
public:
    StationService(Station& station, ServiceSettings settings, ServiceLog log);

    // The feed is started (the window's START after its checks): the auto-save schedule
    // begins now, and its first due time is told.
    void start();

    // A connection to the feed is up: partial lines and telnet state of an earlier one are
    // forgotten.
    void connected(const std::string& where);
    // Received bytes; replies owed to the far end (telnet) are appended to `replies`.
    void received(std::string_view bytes, std::string& replies);
    // The connection is gone (or never came up); the next attempt follows in retrySeconds.
    void connectFailed(const std::string& where, const std::string& reason, int retrySeconds);
    void lost(const std::string& where, const std::string& reason, int retrySeconds);

    // One second of the station's timer: the rate line, then the housekeeping (the feed
    // counts as running from start() on, connected or not, as in the window). Every
    // statusEveryTicks ticks the rate line goes to the log with the connection state.
    void tick();

    // The closing sequence without the configuration, which the service never writes (its
    // options override the file, and the window shares it): the default plot files.
    SaveResult stop(const std::string& why);

    const std::string& rateLine() const { return m_rateLine; }
    bool isConnected() const { return m_connected; }
    std::int64_t bytesReceived() const { return m_bytes; }
    std::int64_t linesReceived() const { return m_lines; }

private:
    void logSave(const HousekeepingResult& r);

    Station& m_station;
    ServiceSettings m_settings;
    ServiceLog m_log;
    TelnetFilter m_telnet;
    RateHistory m_rates;
    std::string m_rateLine;
    std::int32_t m_ticksSinceStatus = 0;
    bool m_connected = false;
    bool m_blacklistReadable = true;
    std::int64_t m_bytes = 0;
    std::int64_t m_lines = 0; // line ends received, telnet bytes included
};

// "3 files rizuzez1.2011-06-19.23-05.{dat,max,hex}" style summary of a save for the log:
// the folder and base of the written files and any that failed.
std::string describeSave(const SaveResult& r);

} // namespace rizuzez
