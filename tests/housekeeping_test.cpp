// Housekeeping with a hand-moved clock and real files: the 61-tick pass, the blacklist
// reload, the automatic saves and their schedule, the clearing and the status text.
#include "app/housekeeping.h"

#include "app/blacklist.h"
#include "app_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include <stdexcept>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

AutoSaveSettings every(int hours, bool plot = true, bool out = true, bool clear = false) {
    AutoSaveSettings a;
    a.Noautosave1 = hours < 0;
    a.Saveevery1hour1 = hours == 1;
    a.Saveevery6hours1 = hours == 6;
    a.Saveevery12hours1 = hours == 12;
    a.Saveevery24hours1 = hours == 24;
    a.Saveplotfile1 = plot;
    a.SaveOUTfile2 = out;
    a.clear2 = clear;
    return a;
}
constexpr int NoAutoSave = -1;
constexpr int NoInterval = 0; // neither "No auto save" nor an interval checked

class Housekeeping : public ::testing::Test {
protected:
    void SetUp() override {
        station.DataDir = dir.str() + "/rizuzez1/";
        fs::create_directories(station.DataDir);
        writeFile(station.blacklistFile(), std::string(DefaultBlacklistText));
        inputs.exportOutline = [this] {
            exports.push_back(clock.now());
            EXPECT_TRUE(station.SavingInProgress);
            clock.advanceSeconds(exportSeconds); // a slow export
            const fs::path out = dir.path() / "outlines" /
                                 ("rizuzez." + formatDateTimeStamp(exports.back()) + ".out");
            writeFile(out, "outline\r\n");
            return true;
        };
        station.coverage.PlotData[0][45] = {150.0, 51.0, 1.0};
        station.coverage.MaxDistance = {150.0, 45.2, 51.0, 1.0, 8000};
        station.coverage.texts = {"51.00", "1.00", "8000", "150.0", "45.2", "4CA1D5"};
    }
    // Runs ticks until a pass; returns how many it took.
    int untilPass(HousekeepingResult* last = nullptr) {
        for (int n = 1; n <= 200; ++n) {
            const HousekeepingResult r = RunHousekeeping(station, inputs);
            if (r.passed) {
                if (last) {
                    *last = r;
                }
                return n;
            }
            EXPECT_FALSE(r.saved);
            EXPECT_FALSE(r.panel4);
        }
        ADD_FAILURE() << "no pass in 200 ticks";
        return -1;
    }
    // START at the given time with the given menu.
    std::optional<std::string> start(LocalDateTime t, AutoSaveSettings a) {
        clock.set(t);
        inputs.autoSave = a;
        return startAutoSaveSchedule(station, a, inputs.separators);
    }
    bool exists(const std::string& name) const {
        return fs::exists(fs::path(station.DataDir) / name);
    }
    // Dated and timed plot files in the data folder ("rizuzez1.yyyy-...").
    std::vector<std::string> timedFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(station.DataDir)) {
            if (e.path().filename().string().rfind("rizuzez1.2", 0) == 0) {
                names.push_back(e.path().filename().string());
            }
        }
        return names;
    }

    TempDir dir;
    HandClock clock{{2011, 6, 19, 10, 0, 0, 0}};
    Station station{clock};
    HousekeepingInputs inputs;
    std::vector<LocalDateTime> exports;
    double exportSeconds = 0;
};

TEST_F(Housekeeping, PassesOnEvery61stRunningTick) {
    std::vector<int> passes;
    for (int tick = 1; tick <= 183; ++tick) {
        if (RunHousekeeping(station, inputs).passed) {
            passes.push_back(tick);
        }
        EXPECT_EQ(station.schedule.HousekeepingTicks, tick % 61);
    }
    EXPECT_EQ(passes, (std::vector<int>{61, 122, 183}));
}

TEST_F(Housekeeping, StartingTheFeedKeepsTheCount) {
    for (int i = 0; i < 40; ++i) {
        RunHousekeeping(station, inputs);
    }
    // Stopped: the window calls nothing. Started again:
    start({2011, 6, 19, 12, 0, 0, 0}, every(1));
    EXPECT_EQ(station.schedule.HousekeepingTicks, 40);
    EXPECT_EQ(untilPass(), 21);
    EXPECT_EQ(untilPass(), 61);
}

TEST_F(Housekeeping, ReloadsTheBlacklistAndKeepsItWhenUnreadable) {
    untilPass();
    EXPECT_EQ(station.decoder.Blacklist,
              "400C7D  //THE FAMOUS G-STRI, THE MOTHER OF ALL SPIKES\r\n");

    writeFile(station.blacklistFile(), "1\r\n2\r\n3\r\n4\r\n\r\n3c65a1\r\nabcdef bad one\r\n");
    HousekeepingResult r;
    untilPass(&r);
    EXPECT_TRUE(r.blacklistReloaded);
    EXPECT_EQ(station.decoder.Blacklist, "3C65A1\r\nABCDEF BAD ONE\r\n");

    for (const bool folder : {false, true}) {
        fs::remove(station.blacklistFile());
        if (folder) {
            fs::create_directories(station.blacklistFile());
        }
        // Still due: the auto-save test runs after a failed reload.
        start({2011, 6, 19, 10, 0, 0, 0}, every(1, true, false));
        clock.set({2011, 6, 19, 11, 30, 0, 0});
        untilPass(&r);
        EXPECT_FALSE(r.blacklistReloaded);
        EXPECT_EQ(station.schedule.HousekeepingTicks, 0);
        EXPECT_EQ(station.decoder.Blacklist, "3C65A1\r\nABCDEF BAD ONE\r\n");
        EXPECT_TRUE(r.saved);
    }
}

TEST_F(Housekeeping, StartSchedulesTheFirstSave) {
    inputs.separators = {'.', '-'};
    EXPECT_EQ(start({2009, 6, 21, 14, 5, 0, 0}, every(6)), "Next AutoSave: 21.06.09 20-05 LT");
    EXPECT_EQ(station.schedule.AutoSaveStart, toDays({2009, 6, 21, 14, 5, 0, 0}));
    inputs.separators = {};
    EXPECT_EQ(start({2011, 6, 19, 23, 30, 0, 0}, every(1)), "Next AutoSave: 20/06/11 00:30 LT");
    EXPECT_EQ(start({2011, 6, 19, 8, 0, 0, 0}, every(24)), "Next AutoSave: 20/06/11 08:00 LT");
    EXPECT_EQ(start({2011, 6, 19, 8, 0, 0, 0}, every(12)), "Next AutoSave: 19/06/11 20:00 LT");
    EXPECT_EQ(start({2011, 6, 19, 8, 0, 0, 0}, every(NoInterval)),
              "Next AutoSave: 19/06/11 08:00 LT");
    const double before = station.schedule.NextAutoSave;
    EXPECT_EQ(start({2011, 6, 19, 9, 0, 0, 0}, every(NoAutoSave)), std::nullopt);
    EXPECT_EQ(station.schedule.NextAutoSave, before);
}

struct DueCase {
    const char* name;
    LocalDateTime startAt;
    int hours;
    LocalDateTime passAt;
    bool saves;
    const char* stamp;  // the timed files' date-time
    const char* panel4; // after the save
};

const DueCase DueCases[] = {
    {"NotYetDue", {2011, 6, 19, 10, 0, 0, 0}, 1, {2011, 6, 19, 10, 59, 59, 0}, false, "", ""},
    {"ExactlyDue", {2011, 6, 19, 10, 0, 0, 0}, 1, {2011, 6, 19, 11, 0, 0, 0}, false, "", ""},
    {"JustPastDue",
     {2011, 6, 19, 10, 0, 0, 0},
     1,
     {2011, 6, 19, 11, 0, 0, 1},
     true,
     "2011-06-19.11-00",
     "Next AutoSave: 19/06/11 12:01 LT"},
    {"AcrossMidnight",
     {2011, 6, 19, 23, 30, 0, 0},
     1,
     {2011, 6, 20, 0, 30, 30, 0},
     true,
     "2011-06-20.00-30",
     "Next AutoSave: 20/06/11 01:32 LT"},
    {"SixHoursNotDue", {2011, 6, 19, 14, 5, 0, 0}, 6, {2011, 6, 19, 20, 4, 0, 0}, false, "", ""},
    {"TwentyFourHoursAcrossMonth",
     {2011, 6, 30, 8, 0, 0, 0},
     24,
     {2011, 7, 1, 8, 0, 10, 0},
     true,
     "2011-07-01.08-00",
     "Next AutoSave: 02/07/11 08:01 LT"},
};

class HousekeepingDue : public Housekeeping, public ::testing::WithParamInterface<DueCase> {};

TEST_P(HousekeepingDue, SavesOnlyWhenStrictlyLaterThanNextAutoSave) {
    const DueCase& c = GetParam();
    start(c.startAt, every(c.hours));
    const double due = station.schedule.NextAutoSave;
    clock.set(c.passAt);
    exportSeconds = 90; // the outline takes a minute and a half
    HousekeepingResult r;
    untilPass(&r);
    EXPECT_EQ(r.saved, c.saves);
    EXPECT_FALSE(station.SavingInProgress);
    if (!c.saves) {
        EXPECT_FALSE(r.plotFiles);
        EXPECT_FALSE(r.panel4);
        EXPECT_TRUE(exports.empty());
        EXPECT_EQ(station.schedule.NextAutoSave, due);
        EXPECT_TRUE(timedFiles().empty());
        return;
    }
    const std::string stamp = c.stamp;
    ASSERT_TRUE(r.plotFiles);
    EXPECT_EQ(r.plotFiles->written.size(), 3u);
    EXPECT_TRUE(exists("rizuzez1." + stamp + ".dat"));
    EXPECT_TRUE(exists("rizuzez1." + stamp + ".max"));
    EXPECT_EQ(readFile(fs::path(station.DataDir) / ("rizuzez1." + stamp + ".hex")), "4CA1D5\r\n");
    EXPECT_EQ(r.outlineWritten, true);
    EXPECT_TRUE(fs::exists(dir.path() / "outlines" / ("rizuzez." + stamp + ".out")));
    // The next save falls one interval after the end of this one.
    LocalDateTime after = c.passAt;
    after = fromDays(toDays(after) + 90.0 / 86400.0);
    EXPECT_EQ(fromDays(station.schedule.NextAutoSave),
              fromDays(toDays(after) + autoSaveIntervalDays(every(c.hours))));
    EXPECT_EQ(r.panel4, c.panel4);
    EXPECT_FALSE(r.cleared);
    EXPECT_EQ(station.coverage.PlotData[0][45].Dist, 150.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, HousekeepingDue, ::testing::ValuesIn(DueCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Housekeeping, NoAutoSaveNeverSaves) {
    start({2011, 6, 19, 10, 0, 0, 0}, every(1));
    inputs.autoSave = every(NoAutoSave); // as the menu reads at the tick
    clock.set({2011, 6, 25, 0, 0, 0, 0});
    HousekeepingResult r;
    untilPass(&r);
    EXPECT_TRUE(r.passed);
    EXPECT_FALSE(r.saved);
    EXPECT_TRUE(exports.empty());
}

TEST_F(Housekeeping, NoIntervalCheckedSavesOnEveryPass) {
    start({2011, 6, 19, 10, 0, 0, 0}, every(NoInterval));
    HousekeepingResult r;
    untilPass(&r); // the clock has not moved: not strictly later
    EXPECT_FALSE(r.saved);
    for (int pass = 0; pass < 2; ++pass) {
        clock.advanceSeconds(61);
        untilPass(&r);
        EXPECT_TRUE(r.saved);
        EXPECT_EQ(station.schedule.NextAutoSave, toDays(clock.now()));
    }
    EXPECT_EQ(exports.size(), 2u);
    EXPECT_TRUE(exists("rizuzez1.2011-06-19.10-01.dat"));
    EXPECT_TRUE(exists("rizuzez1.2011-06-19.10-02.dat"));
}

TEST_F(Housekeeping, ClearsAfterSavingTheCoverageAsItWas) {
    start({2011, 6, 19, 10, 0, 0, 0}, every(1, true, true, true));
    clock.set({2011, 6, 19, 11, 5, 0, 0});
    const PlotTable before = station.coverage.PlotData;
    HousekeepingResult r;
    untilPass(&r);
    ASSERT_TRUE(r.saved);
    EXPECT_TRUE(r.cleared);
    PlotTable saved;
    ASSERT_EQ(readPlotTable((fs::path(station.DataDir) / "rizuzez1.2011-06-19.11-05.dat").string(),
                            saved),
              PlotFileStatus::Ok);
    EXPECT_EQ(std::memcmp(&saved, &before, sizeof saved), 0);
    // Cleared: distances and the record to 0, the ID box emptied, the rest kept.
    EXPECT_EQ(station.coverage.PlotData[0][45].Dist, 0.0);
    EXPECT_EQ(station.coverage.PlotData[0][45].Lat, 51.0);
    EXPECT_EQ(station.coverage.MaxDistance.Dist, 0.0);
    EXPECT_EQ(station.coverage.MaxDistance.Alt, 0.0);
    EXPECT_EQ(station.coverage.texts.Edit10, "");
    EXPECT_EQ(station.coverage.texts.Edit8, "150.0");
}

TEST_F(Housekeeping, ClearWithoutSavesWritesNothing) {
    start({2011, 6, 19, 10, 0, 0, 0}, every(6, false, false, true));
    clock.set({2011, 6, 19, 16, 0, 1, 0});
    HousekeepingResult r;
    untilPass(&r);
    EXPECT_TRUE(r.saved);
    EXPECT_FALSE(r.plotFiles);
    EXPECT_FALSE(r.outlineWritten);
    EXPECT_TRUE(exports.empty());
    EXPECT_TRUE(r.cleared);
    EXPECT_EQ(station.coverage.MaxDistance.Dist, 0.0);
    EXPECT_EQ(r.panel4, "Next AutoSave: 19/06/11 22:00 LT");
    EXPECT_TRUE(timedFiles().empty());
}

TEST_F(Housekeeping, FailingOutlineExportDoesNotStopTheSchedule) {
    inputs.exportOutline = [this]() -> bool {
        EXPECT_TRUE(station.SavingInProgress);
        throw std::runtime_error("disk full");
    };
    start({2011, 6, 19, 10, 0, 0, 0}, every(1, true, true, true));
    clock.set({2011, 6, 19, 11, 0, 30, 0});
    HousekeepingResult r;
    untilPass(&r);
    EXPECT_TRUE(r.saved);
    EXPECT_EQ(r.outlineWritten, false);
    EXPECT_TRUE(exists("rizuzez1.2011-06-19.11-00.dat"));
    EXPECT_FALSE(station.SavingInProgress);
    EXPECT_TRUE(r.cleared);
    EXPECT_EQ(r.panel4, "Next AutoSave: 19/06/11 12:00 LT");

    inputs.exportOutline = nullptr; // no outline writer at all
    clock.set({2011, 6, 19, 12, 1, 0, 0});
    untilPass(&r);
    EXPECT_TRUE(r.saved);
    EXPECT_EQ(r.outlineWritten, false);
}

} // namespace
