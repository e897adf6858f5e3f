// The status-bar texts: message-rate line, auto-save indicator panels and range label.
#pragma once

#include "app/autosave.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace rizuzez {

// A message count for the rate line: below 1,000 in full, then whole thousands "k", millions
// "M" or milliards "G", truncated. The decoder's counters are 32-bit and wrap; a count that
// has wrapped into the negative range is read as the unsigned number it stands for (so the
// line goes on growing to "4G" instead of showing a minus sign).
std::string AbbreviateCount(std::int32_t n);

// Position messages per second, averaged over the last ten timer ticks.
class RateHistory {
public:
    static constexpr int Ticks = 10;

    // One timer tick: shifts the history, stores msgsThisSecond as the newest entry, resets
    // msgsThisSecond to 0 and returns the rate line, e.g.
    // "Msg rate: 12 msgs/sec - Total msgs: 45k - Ignored msgs: 3".
    std::string UpdateRateStatus(std::int32_t& msgsThisSecond, std::int32_t totalMsgs,
                                 std::int32_t ignoredMsgs);

    // Sum of the ten entries divided by ten, truncated (also during the first ten ticks).
    std::int64_t rate() const;
    const std::array<std::int32_t, Ticks>& entries() const { return m_entries; }

private:
    std::array<std::int32_t, Ticks> m_entries{}; // [0] oldest, [9] newest
};

// Panels 0 to 3 of the lower status bar. panel0 is empty (nullopt) when no interval item is
// checked: the panel then keeps whatever it showed.
struct AutoSavePanels {
    std::optional<std::string> panel0;
    std::string panel1, panel2, panel3;
    bool operator==(const AutoSavePanels&) const = default;
};

// The indicator texts for the AutoSave menu's check marks ("AUTO 6HRS", "PLOT", "OUT", "CLR").
AutoSavePanels SaveOUTfile2Click(const AutoSaveSettings& settings);

// The range label under the range track bar: "Range: 300 NM".
std::string tbrangeChange(int position);

} // namespace rizuzez
