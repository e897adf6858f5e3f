// The headless station service.
#include "app/service.h"

#include <algorithm>
#include <filesystem>

namespace rizuzez {
namespace fs = std::filesystem;

namespace {

// "rizuzez1.dat, .max, .hex": the names of one save, the extensions after the first.
std::string joinNames(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& p : paths) {
        const fs::path path(p);
        out += out.empty() ? path.filename().string() : ", " + path.extension().string();
    }
    return out;
}

} // namespace

std::string describeSave(const SaveResult& r) {
    const std::vector<std::string>& any = r.written.empty() ? r.failed : r.written;
    if (any.empty()) {
        return "nothing to write";
    }
    std::string folder = fs::path(any.front()).parent_path().string();
    std::string text;
    if (!r.written.empty()) {
        text = "wrote " + joinNames(r.written);
    }
    if (!r.failed.empty()) {
        text += (text.empty() ? "" : "; ") + std::string("FAILED to write ") + joinNames(r.failed);
    }
    return text + " in " + folder;
}

StationService::StationService(Station& station, ServiceSettings settings, ServiceLog log)
    : m_station(station), m_settings(std::move(settings)), m_log(std::move(log)) {}

void StationService::start() {
    const std::optional<std::string> panel4 =
        startAutoSaveSchedule(m_station, m_settings.autoSave, m_settings.separators);
    if (panel4) {
        m_log(*panel4);
    }
}

void StationService::connected(const std::string& where) {
    m_connected = true;
    m_telnet.reset();
    m_station.decoder.ResetPendingLine();
    m_log("connected to " + where);
}

void StationService::received(std::string_view bytes, std::string& replies) {
    m_bytes += static_cast<std::int64_t>(bytes.size());
    m_lines += std::count(bytes.begin(), bytes.end(), '\n');
    const std::string_view text = m_telnet.filter(bytes, replies);
    if (!text.empty()) {
        m_station.IdTelnet1DataAvailable(text);
    }
}

void StationService::connectFailed(const std::string& where, const std::string& reason,
                                   int retrySeconds) {
    m_connected = false;
    m_log("cannot connect to " + where + ": " + reason + "; next attempt in " +
          std::to_string(retrySeconds) + " s");
}

void StationService::lost(const std::string& where, const std::string& reason, int retrySeconds) {
    m_connected = false;
    // A line cut by the loss is not completed by the next connection's first bytes.
    m_station.decoder.ResetPendingLine();
    m_log("feed lost (" + where + "): " + reason + "; reconnecting in " +
          std::to_string(retrySeconds) + " s");
}

void StationService::tick() {
    Decoder& d = m_station.decoder;
    m_rateLine = m_rates.UpdateRateStatus(d.MsgsThisSecond, d.TotalMsgs, d.IgnoredMsgs);
    if (++m_ticksSinceStatus >= m_settings.statusEveryTicks) {
        m_ticksSinceStatus = 0;
        m_log(m_rateLine + (m_connected ? " - feed connected" : " - feed NOT connected"));
    }

    HousekeepingInputs in;
    in.autoSave = m_settings.autoSave;
    in.separators = m_settings.separators;
    in.exportOutline = m_settings.exportOutline;
    const HousekeepingResult r = RunHousekeeping(m_station, in);
    if (r.passed && r.blacklistReloaded != m_blacklistReadable) {
        m_blacklistReadable = r.blacklistReloaded;
        m_log(r.blacklistReloaded ? "blacklist " + m_station.blacklistFile() + " readable again"
                                  : "cannot read the blacklist " + m_station.blacklistFile() +
                                        "; keeping the one loaded before");
    }
    if (r.saved) {
        logSave(r);
    }
}

void StationService::logSave(const HousekeepingResult& r) {
    std::string text = "auto-save:";
    if (r.plotFiles) {
        text += " plot files: " + describeSave(*r.plotFiles) + ";";
    }
    if (r.outlineWritten) {
        text += *r.outlineWritten ? " outline written;" : " outline FAILED;";
    }
    if (r.cleared) {
        text += " coverage cleared;";
    }
    if (r.panel4) {
        text += " " + *r.panel4;
    }
    m_log(text);
}

SaveResult StationService::stop(const std::string& why) {
    m_connected = false;
    const SaveResult r = m_station.savePlotFiles("");
    const Decoder& d = m_station.decoder;
    m_log("stopping (" + why + "): default plot files: " + describeSave(r) + "; received " +
          std::to_string(m_bytes) + " bytes in " + std::to_string(m_lines) + " lines, " +
          std::to_string(static_cast<std::uint32_t>(d.TotalMsgs)) + " position messages (" +
          std::to_string(static_cast<std::uint32_t>(d.IgnoredMsgs)) + " ignored)");
    return r;
}

} // namespace rizuzez
