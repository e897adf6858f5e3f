// Start-up and closing in real folders: the data folder and its one-time move, the
// blacklist file, the reload and clean-up questions, and closing with a configuration that
// cannot be written.
#include "app/startup.h"

#include "app_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include <unistd.h>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

struct Answers final : StartupQuestions {
    bool reload = true;
    bool cleanUp = true;
    int reloadAsked = 0;
    std::vector<std::string> cleanUpAsked;
    int broughtToFront = 0;
    bool confirmReload() override {
        ++reloadAsked;
        return reload;
    }
    std::optional<std::string> choosePlotFile(const std::string&) override {
        ADD_FAILURE() << "start-up never opens the file dialog";
        return std::nullopt;
    }
    void bringToFront() override { ++broughtToFront; }
    bool confirmCleanUp(std::int32_t count, const std::string& message) override {
        EXPECT_GT(count, 0);
        cleanUpAsked.push_back(message);
        return cleanUp;
    }
};

class Startup : public ::testing::Test {
protected:
    fs::path exe() const { return dir.path() / "bin"; }
    fs::path data() const { return exe() / "rizuzez1"; }
    StartupResult start(Answers& answers) {
        return runStartup(station, {exe().string(), (dir.path() / "user").string()}, answers);
    }
    void SetUp() override { fs::create_directories(exe()); }

    TempDir dir;
    HandClock clock{{2011, 6, 19, 10, 0, 0, 0}};
    Station station{clock};
};

TEST_F(Startup, FirstStartMovesTheOldLayoutOnce) {
    writeFile(exe() / "rizuzez.ini", "[telnet]\nport=30123\n[display]\nrange=500\n");
    writeFile(exe() / "rizuzez1.log", "old log\n");
    writeFile(exe() / "rizuzez1.hex", "4CA1D5\r\n"); // not part of the move
    Answers answers;
    StartupResult r = start(answers);

    EXPECT_TRUE(r.folders.created);
    EXPECT_TRUE(r.folders.besideExecutable);
    EXPECT_EQ(r.folders.DataDir, data().string() + "/");
    EXPECT_EQ(r.folders.outlinesDir, (exe() / "outlines").string() + "/");
    EXPECT_EQ(station.DataDir, r.folders.DataDir);
    EXPECT_EQ(r.folders.moved, (std::vector<std::string>{"rizuzez.ini", "rizuzez1.log"}));
    EXPECT_FALSE(fs::exists(exe() / "rizuzez.ini"));
    EXPECT_EQ(readFile(data() / "rizuzez1.log"), "old log\n");
    EXPECT_TRUE(fs::exists(exe() / "rizuzez1.hex"));
    EXPECT_FALSE(fs::exists(data() / "rizuzez1.hex"));
    // Its settings take effect in the same start.
    EXPECT_EQ(r.config, IniFileState::Read);
    EXPECT_EQ(r.settings.TelnetPort, 30123);
    EXPECT_EQ(r.settings.port, "30123");
    EXPECT_EQ(r.settings.displayRange, 360);

    // Later starts move nothing, whatever lies beside the executable.
    writeFile(exe() / "rizuzez1.dat", std::string(PlotTableBytes, '\0'));
    Station again{clock};
    r = runStartup(again, {exe().string(), ""}, answers);
    EXPECT_FALSE(r.folders.created);
    EXPECT_TRUE(r.folders.moved.empty());
    EXPECT_TRUE(fs::exists(exe() / "rizuzez1.dat"));
    EXPECT_FALSE(fs::exists(data() / "rizuzez1.dat"));
    EXPECT_EQ(answers.reloadAsked, 0);
}

TEST_F(Startup, FolderBesideTheProgramUnusableFallsBackToUserFolder) {
    writeFile(exe() / "rizuzez1", "a file in the way");
    writeFile(exe() / "rizuzez.ini", "[telnet]\nport=30124\n");
    Answers answers;
    const StartupResult r = start(answers);
    EXPECT_FALSE(r.folders.besideExecutable);
    EXPECT_TRUE(r.folders.usable);
    EXPECT_EQ(r.folders.DataDir, (dir.path() / "user" / "rizuzez1").string() + "/");
    EXPECT_EQ(r.folders.outlinesDir, (dir.path() / "user" / "outlines").string() + "/");
    EXPECT_EQ(r.settings.TelnetPort, 30124);
    EXPECT_TRUE(fs::exists(dir.path() / "user" / "rizuzez1" / "rizuzez1.blacklist.txt"));
    EXPECT_EQ(readFile(exe() / "rizuzez1"), "a file in the way");
}

TEST_F(Startup, NoUsableFolderStartsWithDefaults) {
    writeFile(exe() / "rizuzez1", "a file in the way");
    Answers answers;
    const StartupResult r = runStartup(station, {exe().string(), ""}, answers);
    EXPECT_FALSE(r.folders.usable);
    EXPECT_EQ(r.blacklistFile, BlacklistFileState::Failed);
    EXPECT_FALSE(r.blacklistLoaded);
    EXPECT_EQ(station.decoder.Blacklist, "");
    EXPECT_EQ(r.settings, Settings{});
    EXPECT_EQ(station.decoder.FilterRange, 999.0);
}

struct BlacklistCase {
    const char* name;
    const char* file; // nullptr: none, the default is written
    const char* text; // the decoder's blacklist afterwards
};

const BlacklistCase BlacklistCases[] = {
    {"DefaultWritten", nullptr, "400C7D  //THE FAMOUS G-STRI, THE MOTHER OF ALL SPIKES\r\n"},
    {"ThreeLines", "//a\r\n//b\r\n//c\r\n", ""},
    {"EmptyFifthLineDeleted", "//1\r\n//2\r\n//3\r\n//4\r\n4ca1d5 first\r\n3c65a1 second\r\n",
     "3C65A1 SECOND\r\n"},
    {"UmlautsKept", "1\n2\n3\n4\n\nabcdef  //Zürich\n", "ABCDEF  //ZüRICH\r\n"},
};

class StartupBlacklist : public Startup, public ::testing::WithParamInterface<BlacklistCase> {};

TEST_P(StartupBlacklist, LoadsWithoutTheHeader) {
    const BlacklistCase& c = GetParam();
    if (c.file) {
        writeFile(data() / "rizuzez1.blacklist.txt", c.file);
    }
    Answers answers;
    const StartupResult r = start(answers);
    EXPECT_EQ(r.blacklistFile, c.file ? BlacklistFileState::Existed : BlacklistFileState::Created);
    EXPECT_TRUE(r.blacklistLoaded);
    EXPECT_EQ(station.decoder.Blacklist, c.text);
    EXPECT_EQ(readFile(data() / "rizuzez1.blacklist.txt"),
              c.file ? std::string(c.file) : std::string(DefaultBlacklistText));
}

INSTANTIATE_TEST_SUITE_P(Files, StartupBlacklist, ::testing::ValuesIn(BlacklistCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Blacklist, DefaultFileHasItsSixLines) {
    EXPECT_EQ(DefaultBlacklistText,
              "//Rizuzez Blacklist - just add blacklisted airplane mode-s ids below, one per "
              "line\r\n"
              "//comments may be added behind the mode-s id freely (no re-use of mode-s id).\r\n"
              "//use upper or lower case as you like\r\n"
              "//Do not change these first 4 lines\r\n"
              "\r\n"
              "400c7d  //the famous G-STRI, the mother of all spikes\r\n");
}

// A saved plot: cells of band 1 at given distances, the rest empty.
Coverage plotWith(const std::vector<std::pair<int, double>>& cells, TMaxDistance max) {
    Coverage c;
    for (const auto& [bearing, dist] : cells) {
        c.PlotData[1][bearing] = {dist, 40.0 + bearing * 0.01, 10.0};
    }
    c.MaxDistance = max;
    c.texts.Edit10 = "4CA1D5";
    return c;
}

TEST_F(Startup, ReloadYesAndNo) {
    const Coverage saved = plotWith({{10, 120.0}, {200, 250.5}}, {250.5, 200.0, 42.0, 10.0, 31000});
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        fs::create_directories(data());
        SavePlotFiles(saved, data().string(), "", clock.now());
        Station fresh{clock};
        Answers answers;
        answers.reload = yes;
        const StartupResult r = runStartup(fresh, {exe().string(), ""}, answers);
        EXPECT_EQ(answers.reloadAsked, 1);
        EXPECT_EQ(r.reload.declined, !yes);
        EXPECT_EQ(fresh.coverage.PlotData[1][200].Dist, yes ? 250.5 : 0.0);
        EXPECT_EQ(fresh.coverage.MaxDistance.Dist, yes ? 250.5 : 0.0);
        EXPECT_EQ(fresh.coverage.texts.Edit10, yes ? "4CA1D5" : "");
        EXPECT_EQ(fresh.coverage.texts.Edit8, yes ? "250.5" : "");
        EXPECT_TRUE(answers.cleanUpAsked.empty()); // nothing beyond "NEVER"
        EXPECT_FALSE(fresh.SavingInProgress);
    }
}

struct CleanUpCase {
    const char* name;
    int filterIndex;
    std::vector<std::pair<int, double>> cells;
    bool yes;
    const char* question; // nullptr: not asked
    double maxAfter;
};

std::vector<std::pair<int, double>> twelveBeyond300() {
    std::vector<std::pair<int, double>> cells;
    for (int i = 0; i < 12; ++i) {
        cells.push_back({i * 10, 300.5 + i});
    }
    cells.push_back({200, 300.0}); // exactly at the range: kept
    cells.push_back({201, 150.0});
    return cells;
}

const CleanUpCase CleanUpCases[] = {
    {"TwelveBeyond300Yes", 13, twelveBeyond300(), true,
     "12 values exceeding 300 NM range. Clean up?", 300.0},
    {"TwelveBeyond300No", 13, twelveBeyond300(), false,
     "12 values exceeding 300 NM range. Clean up?", 400.0},
    {"NeverCountsBeyond999",
     0,
     {{5, 1200.0}, {6, 998.0}},
     true,
     "1 values exceeding 999 NM range. Clean up?",
     998.0},
    {"NeverWithNothingBeyond", 0, twelveBeyond300(), true, nullptr, 400.0},
};

class StartupCleanUp : public Startup, public ::testing::WithParamInterface<CleanUpCase> {};

TEST_P(StartupCleanUp, OffersToCleanValuesBeyondTheFilter) {
    const CleanUpCase& c = GetParam();
    fs::create_directories(data());
    writeFile(data() / "rizuzez.ini", "[filter]\nrange=" + std::to_string(c.filterIndex) + "\n");
    const TMaxDistance savedMax{400.0, 123.4, 44.0, 11.0, 25000};
    const Coverage saved = plotWith(c.cells, savedMax);
    SavePlotFiles(saved, data().string(), "", clock.now());

    Answers answers;
    answers.cleanUp = c.yes;
    const StartupResult r = start(answers);
    EXPECT_EQ(station.decoder.FilterRange, filterRangeFromIndex(c.filterIndex));
    if (!c.question) {
        EXPECT_TRUE(answers.cleanUpAsked.empty());
        EXPECT_EQ(r.exceeding, 0);
        EXPECT_EQ(station.coverage.MaxDistance.Dist, c.maxAfter);
        return;
    }
    ASSERT_EQ(answers.cleanUpAsked.size(), 1u);
    EXPECT_EQ(answers.cleanUpAsked[0], c.question);
    EXPECT_EQ(answers.broughtToFront, 2); // before the question and at the end
    EXPECT_EQ(r.cleanedUp, c.yes);
    const double range = station.decoder.FilterRange;
    for (const auto& [bearing, dist] : c.cells) {
        const TPlotPoint& cell = station.coverage.PlotData[1][bearing];
        if (c.yes && dist > range) {
            EXPECT_EQ(cell.Dist, 0.0) << bearing;
            EXPECT_EQ(cell.Lat, 0.0) << bearing; // the station position, 0 before START
        } else {
            EXPECT_EQ(cell.Dist, dist) << bearing;
        }
    }
    if (c.yes) { // the furthest contact rebuilt from what is left
        EXPECT_EQ(station.coverage.MaxDistance.Dist, c.maxAfter);
        EXPECT_EQ(station.coverage.MaxDistance.Alt, 0.0);
    } else {
        EXPECT_EQ(std::memcmp(&station.coverage.MaxDistance, &savedMax, sizeof savedMax), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupCleanUp, ::testing::ValuesIn(CleanUpCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(StartupMessage, RangeIsPaddedToThreeCharacters) {
    EXPECT_EQ(cleanUpMessage(12, 300.0), "12 values exceeding 300 NM range. Clean up?");
    EXPECT_EQ(cleanUpMessage(3, 99.0), "3 values exceeding  99 NM range. Clean up?");
    EXPECT_EQ(cleanUpMessage(1, 1000.0), "1 values exceeding 1000 NM range. Clean up?");
}

// What closing leaves on disk when the configuration can or cannot be written.
struct ShutdownCase {
    const char* name;
    const char* obstacle; // "", "readonly" or "folder"
    bool configWritten;   // as any user; root ignores the read-only mode
};

const ShutdownCase ShutdownCases[] = {
    {"Writable", "", true},
    {"ReadOnlyFile", "readonly", false},
    {"FolderInTheWay", "folder", false},
};

class Shutdown : public Startup, public ::testing::WithParamInterface<ShutdownCase> {};

TEST_P(Shutdown, PlotIsSavedWhateverBecomesOfTheConfiguration) {
    const ShutdownCase& c = GetParam();
    Answers answers;
    StartupResult r = start(answers);
    const fs::path ini = data() / "rizuzez.ini";
    if (std::string(c.obstacle) == "readonly") {
        writeFile(ini, "[telnet]\nport=30001\n");
        fs::permissions(ini, fs::perms::owner_read);
    } else if (std::string(c.obstacle) == "folder") {
        fs::create_directories(ini);
    }
    station.coverage.PlotData[2][90] = {212.0, 45.0, 12.0};
    station.coverage.texts.Edit10 = "3C65A1";
    r.settings.port = "30999";
    r.settings.displayRange = 180;

    const ShutdownResult s = runShutdown(station, r.settings);

    const bool expectWritten =
        c.configWritten || (std::string(c.obstacle) == "readonly" && ::geteuid() == 0);
    EXPECT_EQ(s.config.ok, expectWritten) << s.config.error;
    EXPECT_EQ(s.config.error.empty(), expectWritten);
    EXPECT_EQ(s.plotFiles.written.size(), 3u);
    EXPECT_TRUE(s.plotFiles.failed.empty());
    EXPECT_FALSE(station.SavingInProgress);
    PlotTable back;
    ASSERT_EQ(readPlotTable((data() / "rizuzez1.dat").string(), back), PlotFileStatus::Ok);
    EXPECT_EQ(back[2][90].Dist, 212.0);
    EXPECT_EQ(readFile(data() / "rizuzez1.hex"), "3C65A1\r\n");
    if (expectWritten) {
        const Settings next = readSettings(ini.string()).settings;
        EXPECT_EQ(next.TelnetPort, 30999);
        EXPECT_EQ(next.displayRange, 180);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Shutdown, ::testing::ValuesIn(ShutdownCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
