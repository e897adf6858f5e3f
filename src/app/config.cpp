// Configuration reading and writing on top of SimpleIni.
#include "app/config.h"

#include "coverage/plotfiles.h"

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace rizuzez {
namespace fs = std::filesystem;

namespace {

// A configuration file larger than this is not a configuration file.
constexpr std::uintmax_t MaxIniFileBytes = 4u << 20;

IniFileState readWholeFile(const std::string& path, std::string& out) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) {
        return IniFileState::Missing;
    }
    if (!fs::is_regular_file(st) || fs::file_size(path, ec) > MaxIniFileBytes || ec) {
        return IniFileState::Unreadable;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return IniFileState::Unreadable;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        return IniFileState::Unreadable;
    }
    out = ss.str();
    return IniFileState::Read;
}

// One opened ini file with the reading rules of the program.
class IniReader {
public:
    explicit IniReader(const std::string& path) {
        std::string data;
        m_state = readWholeFile(path, data);
        if (m_state == IniFileState::Read && m_ini.LoadData(data.data(), data.size()) < 0) {
            m_ini.Reset();
            m_state = IniFileState::Unreadable;
        }
    }
    IniFileState state() const { return m_state; }

    std::optional<std::string> raw(const char* section, const char* key) const {
        const char* v = m_ini.GetValue(section, key, nullptr);
        if (v == nullptr) {
            return std::nullopt;
        }
        return std::string(v);
    }
    std::string text(const char* section, const char* key, const std::string& def) const {
        std::string v = raw(section, key).value_or(def);
        if (v.size() > MaxIniText) {
            v.resize(MaxIniText);
        }
        return v;
    }
    std::int32_t integer(const char* section, const char* key, std::int32_t def) const {
        const auto v = raw(section, key);
        return v ? parseIniInteger(*v).value_or(def) : def;
    }
    bool boolean(const char* section, const char* key, bool def) const {
        const auto v = raw(section, key);
        return v ? parseIniBool(*v).value_or(def) : def;
    }

private:
    CSimpleIniA m_ini; // section and key names match without regard to case
    IniFileState m_state = IniFileState::Missing;
};

// The radio group: checking one item unchecks the other four; unchecking touches none.
void setRadio(AutoSaveSettings& a, bool AutoSaveSettings::*item, bool checked) {
    if (checked) {
        a.Noautosave1 = a.Saveevery1hour1 = a.Saveevery6hours1 = a.Saveevery12hours1 =
            a.Saveevery24hours1 = false;
    }
    a.*item = checked;
}

bool isBlankOrComment(std::string_view line) {
    const auto b = line.find_first_not_of(" \t\r\n");
    return b == std::string_view::npos || line[b] == ';' || line[b] == '#';
}

// SimpleIni keeps comments only in front of a section or key; comment lines after the last
// entry would be lost. Splits them off so they can be put back.
std::size_t trailingCommentStart(const std::string& data) {
    std::size_t start = data.size();
    bool sawComment = false;
    std::size_t end = data.size(); // one past the current line's last character
    while (end > 0) {
        const std::size_t nl = end >= 2 ? data.rfind('\n', end - 2) : std::string::npos;
        const std::size_t lineStart = nl == std::string::npos ? 0 : nl + 1;
        const std::string_view line(data.data() + lineStart, end - lineStart);
        if (!isBlankOrComment(line)) {
            break;
        }
        sawComment = sawComment || line.find_first_not_of(" \t\r\n") != std::string_view::npos;
        start = lineStart;
        end = lineStart;
    }
    return sawComment ? start : data.size();
}

std::string oneLine(const std::string& v) {
    const auto cut = v.find_first_of("\r\n");
    return cut == std::string::npos ? v : v.substr(0, cut);
}

std::string decimal(long long v) {
    return std::to_string(v);
}

} // namespace

std::string filterEntryText(int index) {
    if (index <= 0 || index >= FilterEntryCount) {
        return "NEVER";
    }
    return std::to_string(180 + 10 * (index - 1));
}

double filterRangeFromIndex(int index) {
    if (index <= 0 || index >= FilterEntryCount) {
        return 999.0;
    }
    return 180.0 + 10.0 * (index - 1);
}

std::optional<std::int32_t> parseIniInteger(std::string_view t) {
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (!t.empty() && t.front() == '$') {
        base = 16;
        t.remove_prefix(1);
    } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    // from_chars takes no sign, prefix or blanks of its own here: digits only.
    if (t.empty() || !std::isxdigit(static_cast<unsigned char>(t.front()))) {
        return std::nullopt;
    }
    long long v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (ec != std::errc() || end != t.data() + t.size()) {
        return std::nullopt;
    }
    v = negative ? -v : v;
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(v);
}

std::optional<bool> parseIniBool(std::string_view text) {
    const auto v = parseIniInteger(text);
    if (!v) {
        return std::nullopt;
    }
    return *v != 0;
}

std::string configPath(const std::string& dataDir) {
    return dataPath(dataDir, "rizuzez.ini");
}

std::string homeFallbackPath(const std::string& dataDir) {
    return dataPath(dataDir, "basestation.ini");
}

SettingsRead readSettings(const std::string& path) {
    const IniReader ini(path);
    SettingsRead r;
    r.file = ini.state();
    Settings& s = r.settings;
    const Settings d;
    s.ip = ini.text("telnet", "ip", d.ip);
    s.TelnetPort = ini.integer("telnet", "port", d.TelnetPort);
    s.port = decimal(s.TelnetPort);
    s.top = ini.integer("window", "top", d.top);
    s.left = ini.integer("window", "left", d.left);
    s.latitude = ini.text("homestation", "latitude", d.latitude);
    s.longitude = ini.text("homestation", "longitude", d.longitude);
    s.filterIndex = ini.integer("filter", "range", d.filterIndex);
    if (s.filterIndex < 0 || s.filterIndex >= FilterEntryCount) {
        s.filterIndex = 0; // an empty selection would read as a range of -999 NM
    }
    s.logfile = ini.boolean("filter", "logfile", d.logfile);
    s.displayRange = std::clamp(ini.integer("display", "range", d.displayRange), 60, 360);
    s.band = std::clamp(ini.integer("display", "band", d.band), 0, 4);

    AutoSaveSettings& a = s.autoSave;
    const AutoSaveSettings da;
    setRadio(a, &AutoSaveSettings::Noautosave1, ini.boolean("auto", "noauto", da.Noautosave1));
    setRadio(a, &AutoSaveSettings::Saveevery1hour1,
             ini.boolean("auto", "every1hr", da.Saveevery1hour1));
    setRadio(a, &AutoSaveSettings::Saveevery6hours1,
             ini.boolean("auto", "every6hrs", da.Saveevery6hours1));
    setRadio(a, &AutoSaveSettings::Saveevery12hours1,
             ini.boolean("auto", "every12hrs", da.Saveevery12hours1));
    setRadio(a, &AutoSaveSettings::Saveevery24hours1,
             ini.boolean("auto", "every24hrs", da.Saveevery24hours1));
    a.Saveplotfile1 = ini.boolean("auto", "saveplotfile", da.Saveplotfile1);
    a.SaveOUTfile2 = ini.boolean("auto", "saveoutfile", da.SaveOUTfile2);
    a.clear2 = ini.boolean("auto", "clearonsave", da.clear2);
    s.reconnect = ini.boolean("feed", "reconnect", d.reconnect);
    return r;
}

HomePosition readHomeFallback(const std::string& path) {
    const IniReader ini(path);
    HomePosition h;
    h.file = ini.state();
    h.latitude = ini.text("homestation", "latitude", "");
    h.longitude = ini.text("homestation", "longitude", "");
    return h;
}

bool applyHomeFallback(Settings& settings, const std::string& fallbackPath) {
    if (!settings.latitude.empty()) {
        return false;
    }
    const HomePosition h = readHomeFallback(fallbackPath);
    settings.latitude = h.latitude;
    settings.longitude = h.longitude;
    return true;
}

ConfigWriteResult writeSettings(const std::string& path, const Settings& s) {
    ConfigWriteResult result;
    // Write through a symbolic link to the file it names rather than replacing the link.
    std::error_code ec;
    std::string target = path;
    if (fs::is_symlink(path, ec)) {
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) {
            target = resolved.string();
        }
    }

    std::string data;
    switch (readWholeFile(target, data)) {
    case IniFileState::Missing:
        break;
    case IniFileState::Unreadable:
        result.error = "cannot read " + target + " to keep its other entries";
        return result;
    case IniFileState::Read:
        if (::access(target.c_str(), W_OK) != 0) {
            result.error = target + " is write-protected (" + std::strerror(errno) + ")";
            return result;
        }
        break;
    }

    const bool hadSignature = data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const std::size_t tailAt = trailingCommentStart(data);
    std::string tail = data.substr(tailAt);
    std::erase(tail, '\r'); // SimpleIni writes the file with LF line ends
    data.resize(tailAt);

    CSimpleIniA ini;
    ini.SetSpaces(false); // "key=value", as the platform's own ini writer does
    if (ini.LoadData(data.data(), data.size()) < 0) {
        result.error = "cannot parse " + target;
        return result;
    }
    const AutoSaveSettings& a = s.autoSave;
    const std::pair<const char*, std::pair<const char*, std::string>> keys[] = {
        {"telnet", {"ip", oneLine(s.ip)}},
        {"telnet", {"port", oneLine(s.port)}},
        {"window", {"top", decimal(s.top)}},
        {"window", {"left", decimal(s.left)}},
        {"homestation", {"latitude", oneLine(s.latitude)}},
        {"homestation", {"longitude", oneLine(s.longitude)}},
        {"filter", {"range", decimal(s.filterIndex)}},
        {"filter", {"logfile", decimal(s.logfile)}},
        {"display", {"range", decimal(s.displayRange)}},
        {"display", {"band", decimal(s.band)}},
        {"auto", {"every1hr", decimal(a.Saveevery1hour1)}},
        {"auto", {"every6hrs", decimal(a.Saveevery6hours1)}},
        {"auto", {"every12hrs", decimal(a.Saveevery12hours1)}},
        {"auto", {"every24hrs", decimal(a.Saveevery24hours1)}},
        {"auto", {"saveplotfile", decimal(a.Saveplotfile1)}},
        {"auto", {"saveoutfile", decimal(a.SaveOUTfile2)}},
        {"auto", {"clearonsave", decimal(a.clear2)}},
        {"feed", {"reconnect", decimal(s.reconnect)}},
    };
    for (const auto& [section, kv] : keys) {
        if (ini.SetValue(section, kv.first, kv.second.c_str()) < 0) {
            result.error = "out of memory while writing " + target;
            return result;
        }
    }

    std::string out;
    if (ini.Save(out, hadSignature) < 0) {
        result.error = "cannot format " + target;
        return result;
    }
    if (!tail.empty()) {
        if (data.find_first_not_of(" \t\r\n") == std::string::npos) {
            // Nothing but comments before: they stay in front of the settings.
            out = tail + (tail.back() == '\n' ? "" : "\n") + out;
        } else {
            out += tail;
        }
    }
    if (!writeFileAtomically(target, out)) {
        result.error = "cannot write " + target + " (" + std::strerror(errno) + ")";
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace rizuzez
