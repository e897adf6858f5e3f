// The headless service's core with a hand-moved clock and real files: what it tells the
// operator, connection changes, telnet bytes, the timed saves and the closing save.
#include "app/service.h"

#include "app/blacklist.h"
#include "app_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

// A position 60 NM north-east of the station at 51.0, 0.0, at 35,000 ft.
std::string position(const std::string& id) {
    return "MSG,3,1,1," + id +
           ",1,2011/06/19,10:00:00.000,2011/06/19,10:00:00.000,,35000,,,51.6,"
           "0.9,,,,,,\r\n";
}

class Service : public ::testing::Test {
protected:
    void SetUp() override {
        station.DataDir = dir.str() + "/rizuzez1/";
        fs::create_directories(station.DataDir);
        writeFile(station.blacklistFile(), std::string(DefaultBlacklistText));
        station.decoder.setHome(51.0, 0.0);
    }
    StationService make(ServiceSettings settings) {
        return StationService(station, std::move(settings),
                              [this](const std::string& line) { lines.push_back(line); });
    }
    std::size_t count(const std::string& needle) const {
        std::size_t n = 0;
        for (const std::string& l : lines) {
            n += l.find(needle) != std::string::npos;
        }
        return n;
    }

    TempDir dir;
    HandClock clock{{2011, 6, 19, 10, 0, 0, 0}};
    Station station{clock};
    std::vector<std::string> lines;
};

TEST_F(Service, StatusLineCarriesTheRateLineAndTheConnection) {
    ServiceSettings settings;
    settings.statusEveryTicks = 3;
    StationService service = make(settings);
    service.connected("127.0.0.1:30003");
    std::string replies;
    for (int i = 0; i < 30; ++i) {
        service.received(position("4CA1D5"), replies);
    }
    service.tick();
    service.tick();
    EXPECT_EQ(count("Msg rate"), 0u);
    service.tick();
    ASSERT_EQ(count("Msg rate: 3 msgs/sec - Total msgs: 30 - Ignored msgs: 0 - feed connected"), 1u)
        << lines.back();
    service.lost("127.0.0.1:30003", "closed by the far end", 1);
    EXPECT_EQ(lines.back(),
              "feed lost (127.0.0.1:30003): closed by the far end; reconnecting in 1 s");
    for (int i = 0; i < 3; ++i) {
        service.tick();
    }
    EXPECT_EQ(count("- feed NOT connected"), 1u);
    EXPECT_EQ(service.rateLine(), "Msg rate: 3 msgs/sec - Total msgs: 30 - Ignored msgs: 0");
}

TEST_F(Service, ALineCutByALossIsNotJoinedToTheNextConnection) {
    StationService service = make({});
    std::string replies;
    service.connected("feed");
    const std::string line = position("4CA1D5");
    service.received(line.substr(0, 60), replies);
    service.lost("feed", "reset", 1);
    service.connected("feed");
    service.received(line.substr(60), replies);
    EXPECT_EQ(station.decoder.TotalMsgs, 0);
    service.received(line, replies);
    EXPECT_EQ(station.decoder.TotalMsgs, 1);
    EXPECT_GT(station.coverage.MaxDistance.Dist, 0.0);
    EXPECT_EQ(station.coverage.texts.Edit10, "4CA1D5");
}

TEST_F(Service, TelnetBytesAreStrippedAndAnswered) {
    StationService service = make({});
    service.connected("feed");
    std::string replies;
    const std::string line = position("4CA1D5");
    service.received("\xff\xfd\x18" + line.substr(0, 20) + "\xff\xf1" + line.substr(20), replies);
    EXPECT_EQ(replies, "\xff\xfb\x18");
    EXPECT_EQ(station.decoder.TotalMsgs, 1);
    EXPECT_EQ(station.coverage.texts.Edit10, "4CA1D5");
}

TEST_F(Service, HourlySaveWritesAndClearsAndTellsIt) {
    ServiceSettings settings;
    settings.autoSave.Noautosave1 = false;
    settings.autoSave.Saveevery1hour1 = true;
    settings.autoSave.clear2 = true;
    int outlines = 0;
    settings.exportOutline = [&outlines] { return ++outlines > 0; };
    StationService service = make(settings);
    service.start();
    EXPECT_EQ(lines.back(), "Next AutoSave: 19/06/11 11:00 LT");
    std::string replies;
    service.connected("feed");
    service.received(position("4CA1D5"), replies);

    clock.advanceSeconds(3600 + 30);
    for (int i = 0; i < HousekeepingPeriod; ++i) {
        service.tick();
    }
    EXPECT_EQ(outlines, 1);
    EXPECT_EQ(lines.back(), "auto-save: plot files: wrote rizuzez1.2011-06-19.11-00.dat, .max, "
                            ".hex in " +
                                dir.str() +
                                "/rizuzez1; outline written; coverage cleared; "
                                "Next AutoSave: 19/06/11 12:00 LT");
    EXPECT_TRUE(fs::exists(dir.path() / "rizuzez1" / "rizuzez1.2011-06-19.11-00.dat"));
    EXPECT_EQ(station.coverage.MaxDistance.Dist, 0.0);
}

TEST_F(Service, UnreadableBlacklistIsToldOnceAndItsReturnToo) {
    StationService service = make({});
    station.decoder.Blacklist = "4CA1D5\r\n";
    fs::remove(station.blacklistFile());
    for (int i = 0; i < 3 * HousekeepingPeriod; ++i) {
        service.tick();
    }
    EXPECT_EQ(count("cannot read the blacklist"), 1u);
    EXPECT_EQ(station.decoder.Blacklist, "4CA1D5\r\n"); // the old one stays in force
    writeFile(station.blacklistFile(), std::string(DefaultBlacklistText));
    for (int i = 0; i < HousekeepingPeriod; ++i) {
        service.tick();
    }
    EXPECT_EQ(count("readable again"), 1u);
}

TEST_F(Service, StopWritesTheDefaultPlot) {
    StationService service = make({});
    std::string replies;
    service.received(position("4CA1D5"), replies);
    const SaveResult r = service.stop("SIGTERM");
    EXPECT_TRUE(r.failed.empty());
    EXPECT_EQ(lines.back(), "stopping (SIGTERM): default plot files: wrote rizuzez1.dat, .max, "
                            ".hex in " +
                                dir.str() + "/rizuzez1; received " +
                                std::to_string(position("4CA1D5").size()) +
                                " bytes in 1 lines, 1 position messages (0 ignored)");
    EXPECT_EQ(readFile(dir.path() / "rizuzez1" / "rizuzez1.hex"), "4CA1D5\r\n");
}

} // namespace
