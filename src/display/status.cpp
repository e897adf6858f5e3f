// Status-bar texts.
#include "display/status.h"

namespace rizuzez {

std::string AbbreviateCount(std::int32_t n) {
    const std::uint32_t v = static_cast<std::uint32_t>(n);
    if (v < 1000u) {
        return std::to_string(v);
    }
    if (v < 1000000u) {
        return std::to_string(v / 1000u) + "k";
    }
    if (v < 1000000000u) {
        return std::to_string(v / 1000000u) + "M";
    }
    return std::to_string(v / 1000000000u) + "G";
}

std::string RateHistory::UpdateRateStatus(std::int32_t& msgsThisSecond, std::int32_t totalMsgs,
                                          std::int32_t ignoredMsgs) {
    for (int i = 1; i < Ticks; ++i) {
        m_entries[i - 1] = m_entries[i];
    }
    m_entries[Ticks - 1] = msgsThisSecond;
    std::string text = "Msg rate: " + std::to_string(rate()) +
                       " msgs/sec - Total msgs: " + AbbreviateCount(totalMsgs) +
                       " - Ignored msgs: " + AbbreviateCount(ignoredMsgs);
    msgsThisSecond = 0;
    return text;
}

std::int64_t RateHistory::rate() const {
    // Entries are read as unsigned like the counters (a per-tick count never gets near 2^31,
    // but a wrapped one must not make the rate negative); the 64-bit sum cannot overflow.
    std::int64_t sum = 0;
    for (const std::int32_t e : m_entries) {
        sum += static_cast<std::uint32_t>(e);
    }
    return sum / Ticks;
}

AutoSavePanels SaveOUTfile2Click(const AutoSaveSettings& s) {
    AutoSavePanels p;
    if (s.Noautosave1) {
        p.panel0 = "AUTO OFF";
    } else if (s.Saveevery1hour1) {
        p.panel0 = "AUTO 1HR";
    } else if (s.Saveevery6hours1) {
        p.panel0 = "AUTO 6HRS";
    } else if (s.Saveevery12hours1) {
        p.panel0 = "AUTO 12HRS";
    } else if (s.Saveevery24hours1) {
        p.panel0 = "AUTO 24HRS";
    }
    p.panel1 = s.Saveplotfile1 ? "PLOT" : "";
    p.panel3 = s.clear2 ? "CLR" : "";
    p.panel2 = s.SaveOUTfile2 ? "OUT" : "";
    return p;
}

std::string tbrangeChange(int position) {
    return "Range: " + std::to_string(position) + " NM";
}

} // namespace rizuzez
