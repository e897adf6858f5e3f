// Rate line, count abbreviations, auto-save indicator panels and the range label.
#include "display/status.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace rizuzez;

namespace {

struct CountCase {
    std::int32_t n;
    const char* text;
};

TEST(Status, AbbreviateCount) {
    const CountCase cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1k"},
        {1999, "1k"},
        {45678, "45k"},
        {999999, "999k"},
        {1000000, "1M"},
        {999999999, "999M"},
        {1000000000, "1G"},
        {std::numeric_limits<std::int32_t>::max(), "2G"},
        // Wrapped past 2^31 - 1: read as the unsigned count it stands for.
        {std::numeric_limits<std::int32_t>::min(), "2G"},
        {-1, "4G"},
    };
    for (const CountCase& c : cases) {
        EXPECT_EQ(AbbreviateCount(c.n), c.text) << c.n;
    }
}

struct RateCase {
    const char* name;
    std::vector<std::int32_t> perTick; // messages counted before each tick
    std::vector<std::int64_t> rates;   // the rate shown after each tick
};

TEST(Status, RateHistory) {
    const RateCase cases[] = {
        {"first_tick_fifty", {50}, {5}},
        {"steady_twelve",
         {12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
         {1, 2, 3, 4, 6, 7, 8, 9, 10, 12}},
        {"nineteen_once", {19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
        {"nine_once", {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"ten_largest_counts_do_not_overflow",
         std::vector<std::int32_t>(10, std::numeric_limits<std::int32_t>::max()),
         {214748364, 429496729, 644245094, 858993458, 1073741823, 1288490188, 1503238552,
          1717986917, 1932735282, 2147483647}},
    };
    for (const RateCase& c : cases) {
        RateHistory h;
        for (std::size_t i = 0; i < c.perTick.size(); ++i) {
            std::int32_t thisSecond = c.perTick[i];
            const std::string line = h.UpdateRateStatus(thisSecond, 0, 0);
            EXPECT_EQ(thisSecond, 0) << c.name;
            EXPECT_EQ(h.rate(), c.rates[i]) << c.name << " tick " << i + 1;
            EXPECT_EQ(line, "Msg rate: " + std::to_string(c.rates[i]) +
                                " msgs/sec - Total msgs: 0 - Ignored msgs: 0")
                << c.name;
        }
    }
}

TEST(Status, RateLineText) {
    RateHistory h;
    std::int32_t thisSecond = 0;
    for (int i = 0; i < 9; ++i) {
        thisSecond = 12;
        h.UpdateRateStatus(thisSecond, 0, 0);
    }
    thisSecond = 12;
    EXPECT_EQ(h.UpdateRateStatus(thisSecond, 45678, 3),
              "Msg rate: 12 msgs/sec - Total msgs: 45k - Ignored msgs: 3");
    thisSecond = 0;
    EXPECT_EQ(h.UpdateRateStatus(thisSecond, -2, 2147483647),
              "Msg rate: 10 msgs/sec - Total msgs: 4G - Ignored msgs: 2G");
}

struct PanelCase {
    const char* name;
    AutoSaveSettings settings;
    AutoSavePanels panels;
};

AutoSaveSettings interval(int which, bool plot, bool out, bool clear) {
    AutoSaveSettings s;
    s.Noautosave1 = which == 0;
    s.Saveevery1hour1 = which == 1;
    s.Saveevery6hours1 = which == 6;
    s.Saveevery12hours1 = which == 12;
    s.Saveevery24hours1 = which == 24;
    s.Saveplotfile1 = plot;
    s.SaveOUTfile2 = out;
    s.clear2 = clear;
    return s;
}

TEST(Status, AutoSavePanels) {
    AutoSaveSettings twoChecked = interval(6, false, false, false);
    twoChecked.Saveevery24hours1 = true;
    const PanelCase cases[] = {
        {"defaults", AutoSaveSettings{}, {"AUTO OFF", "PLOT", "OUT", ""}},
        {"one_hour_clear", interval(1, true, true, true), {"AUTO 1HR", "PLOT", "OUT", "CLR"}},
        {"six_hours_nothing", interval(6, false, false, false), {"AUTO 6HRS", "", "", ""}},
        {"twelve_hours_out", interval(12, false, true, false), {"AUTO 12HRS", "", "OUT", ""}},
        {"twenty_four_plot", interval(24, true, false, true), {"AUTO 24HRS", "PLOT", "", "CLR"}},
        {"first_checked_wins", twoChecked, {"AUTO 6HRS", "", "", ""}},
        {"none_checked_keeps_panel0",
         interval(-1, true, true, false),
         {std::nullopt, "PLOT", "OUT", ""}},
    };
    for (const PanelCase& c : cases) {
        EXPECT_EQ(SaveOUTfile2Click(c.settings), c.panels) << c.name;
    }
}

TEST(Status, RangeLabel) {
    EXPECT_EQ(tbrangeChange(300), "Range: 300 NM");
    EXPECT_EQ(tbrangeChange(75), "Range: 75 NM");
    EXPECT_EQ(tbrangeChange(240), "Range: 240 NM");
}

} // namespace
