// The configuration file "rizuzez.ini" and the fallback "basestation.ini": reading rules,
// the settings they hold, and the atomic write-back at close.
#pragma once

#include "app/autosave.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rizuzez {

// What the window's controls and menu check marks hold, as stored in the configuration.
struct Settings {
    std::string ip = "127.0.0.1";    // "telnet"/"ip": the feed host box
    std::int32_t TelnetPort = 30003; // "telnet"/"port" as read: the port START uses
    std::string port = "30003";      // the port box as typed; written back unchecked
    int top = 100;                   // "window": top and left edge in pixels
    int left = 100;
    std::string latitude; // "homestation": the station position boxes, as typed
    std::string longitude;
    int filterIndex = 0;    // "filter"/"range": 0 "NEVER", 1 "180" ... 28 "450"
    bool logfile = false;   // "filter"/"logfile": log ignored messages
    int displayRange = 240; // "display"/"range": range bar, NM, 60..360
    int band = 4;           // "display"/"band": band bar, 0..3 one band, 4 all
    AutoSaveSettings autoSave;
    // "feed"/"reconnect": reconnect by itself when the base station drops the feed while
    // running. Written after the table; a program that does not know the key ignores it.
    bool reconnect = false;
    bool operator==(const Settings&) const = default;
};

// The filter list: 29 entries, "NEVER" then "180" to "450" in steps of 10.
inline constexpr int FilterEntryCount = 29;
std::string filterEntryText(int index);
// FilterRange in NM for a list index: 999 for "NEVER" (and for an index outside the list,
// which the configuration reader never produces).
double filterRangeFromIndex(int index);

// Reading rules shared by both files. Integers: optional sign, then decimal digits, or hex
// digits after "$" or "0x"; the whole value must be consumed and fit 32 signed bits.
std::optional<std::int32_t> parseIniInteger(std::string_view text);
// Booleans are integers: 0 false, any other integer true.
std::optional<bool> parseIniBool(std::string_view text);
// Longest text value taken from a file, in bytes.
inline constexpr std::size_t MaxIniText = 2047;

enum class IniFileState {
    Missing,    // no such file: every key takes its default
    Read,       // read (keys absent from it take their defaults)
    Unreadable, // present but not a readable regular file: defaults
};

struct SettingsRead {
    Settings settings;
    IniFileState file = IniFileState::Missing;
};

// Reads the key table in its order. The radio group "auto": "noauto" first, then the four
// intervals, each stored 1 checking its item and unchecking the rest, each stored 0
// unchecking only itself; so several intervals stored as 1 leave the last checked, and
// "noauto" stored 0 with no interval set leaves none checked. The range bar is kept within
// 60..360, the band bar within 0..4, and a filter index outside the list selects "NEVER".
// The port box text becomes TelnetPort in decimal.
SettingsRead readSettings(const std::string& path);

// The station position of "basestation.ini" (section "homestation"); empty texts when
// absent.
struct HomePosition {
    std::string latitude, longitude;
    IniFileState file = IniFileState::Missing;
};
HomePosition readHomeFallback(const std::string& path);

// When the latitude box is empty, both position boxes take the fallback file's values
// (empty when absent), even if a longitude was configured. True when the fallback applied.
bool applyHomeFallback(Settings& settings, const std::string& fallbackPath);

struct ConfigWriteResult {
    bool ok = false;
    std::string error; // why the file was left as it was, for the operator
};

// Writes the key table in its order ("noauto" is never written), then "feed"/"reconnect", into the
// file's current content, so unknown sections, keys and comments survive; the file is replaced
// through a temporary file and a rename, so a failure leaves the old file whole. A file that exists
// but cannot be read, or is write-protected, is left alone and reported.
ConfigWriteResult writeSettings(const std::string& path, const Settings& settings);

std::string configPath(const std::string& dataDir);       // DataDir + "rizuzez.ini"
std::string homeFallbackPath(const std::string& dataDir); // DataDir + "basestation.ini"

} // namespace rizuzez
