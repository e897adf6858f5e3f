// The traffic generator: what the real decoder makes of its lines, their format and its
// determinism.
#include "feed/decoder.h"
#include "feed/sbsreplay.h"
#include "feed/trafficgen.h"
#include "geodesy/trigo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace rizuzez;

namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> f;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        f.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) {
            return f;
        }
        start = comma + 1;
    }
}

struct HomeCase {
    const char* name;
    double lat, lon;
};

// Mid-latitudes, the antimeridian, the far north and the equator on the prime meridian.
const HomeCase Homes[] = {
    {"amsterdam", 52.3, 4.76},
    {"antimeridian_south", -41.3, 179.6},
    {"svalbard", 78.2, 15.6},
    {"gulf_of_guinea", 0.2, 0.1},
};

class GeneratedTraffic : public testing::TestWithParam<HomeCase> {};

// Five minutes of traffic through the real decoder: positions in every altitude band, all
// around the station and never beyond 250 NM.
TEST_P(GeneratedTraffic, DecodesIntoCoverageAllAround) {
    const HomeCase& h = GetParam();
    TrafficConfig config;
    config.homeLat = h.lat;
    config.homeLon = h.lon;
    config.seed = 42;
    TrafficGenerator gen(config);
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(h.lat, h.lon);
    std::string line;
    std::int64_t t = 0;
    int positions = 0;
    double furthest = 0;
    while (t < 300'000) {
        t = gen.next(line);
        dec.DecodeMsgLine(line);
        if (line.compare(0, 6, "MSG,3,") != 0) {
            continue;
        }
        const auto f = fields(line);
        if (!f[14].empty()) {
            ++positions;
            const DistCourse dc =
                CalcDistCourse(h.lat, h.lon, std::atof(f[14].c_str()), std::atof(f[15].c_str()));
            ASSERT_LE(dc.distance, TrafficGenerator::MaxRangeNm) << line;
            furthest = std::max(furthest, dc.distance);
        }
    }
    EXPECT_GT(furthest, 200.0);
    EXPECT_LE(cov.MaxDistance.Dist, TrafficGenerator::MaxRangeNm);
    int anyBand = 0;
    for (int i = 0; i < BearingCount; ++i) {
        bool any = false;
        for (int b = 0; b < BandCount; ++b) {
            any |= cov.PlotData[b][i].Dist > 0;
        }
        anyBand += any;
    }
    EXPECT_GE(anyBand, 300) << "bearings with a position in some band";
    for (int b = 0; b < BandCount; ++b) {
        int filled = 0;
        for (const TPlotPoint& c : cov.PlotData[b]) {
            filled += c.Dist > 0;
            EXPECT_LE(c.Dist, TrafficGenerator::MaxRangeNm);
        }
        EXPECT_GE(filled, 90) << "band " << b;
    }
    // Every position line reached the decoder as a position message.
    EXPECT_GE(dec.TotalMsgs, positions);
    EXPECT_EQ(dec.IgnoredMsgs, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, GeneratedTraffic, testing::ValuesIn(Homes),
                         [](const auto& p) { return std::string(p.param.name); });

// The shape of every line, by transmission type, as dump1090 writes BaseStation output.
TEST(GeneratedLines, HaveTheBaseStationFormat) {
    static const std::map<std::string, std::regex> bodies = {
        {"1", std::regex(R"(^[A-Z0-9 ]{8},,,,,,,,,,,0$)")},
        {"3", std::regex(R"(^,-?\d+,,,(-?\d+\.\d{5},-?\d+\.\d{5}|,),,,,,,0$)")},
        {"4", std::regex(R"(^,,\d+,\d+,,,-?\d+,,,,,0$)")},
        {"5", std::regex(R"(^,-?\d+,,,,,,,0,,0,0$)")},
        {"6", std::regex(R"(^,,,,,,,[0-7]{4},0,0,0,0$)")},
        {"7", std::regex(R"(^,-?\d+,,,,,,,,,,0$)")},
        {"8", std::regex(R"(^,,,,,,,,,,,0$)")},
    };
    const std::regex head(
        R"(^MSG,([1345678]),1,1,([0-9A-F]{6}),1,(\d{4}/\d\d/\d\d),(\d\d:\d\d:\d\d\.\d{3}),(\d{4}/\d\d/\d\d),(\d\d:\d\d:\d\d\.\d{3}),(.*)$)");
    TrafficConfig config;
    config.homeLat = 47.0;
    config.homeLon = -1.6;
    config.startMs = 1'714'557'600'000; // 2024/05/01 10:00:00.000
    TrafficGenerator gen(config);
    std::map<std::string, int> perType;
    std::map<std::string, std::string> callsignOf;
    std::string line;
    std::int64_t last = 0;
    for (int i = 0; i < 20'000; ++i) {
        const std::int64_t t = gen.next(line);
        ASSERT_GE(t, last);
        last = t;
        ASSERT_EQ(fields(line).size(), 22u) << line;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, head)) << line;
        ASSERT_TRUE(std::regex_match(m[7].str(), bodies.at(m[1].str()))) << line;
        EXPECT_EQ(parseSbsDateTime(m[3].str(), m[4].str()), config.startMs + t) << line;
        ++perType[m[1].str()];
        const auto f = fields(line);
        if (f[1] == "1") {
            // One Mode-S ID, one aircraft: its callsign never changes.
            const auto [it, added] = callsignOf.emplace(f[4], f[10]);
            EXPECT_EQ(it->second, f[10]) << f[4];
        }
        if (!f[11].empty()) {
            const int alt = std::atoi(f[11].c_str());
            EXPECT_TRUE(alt >= 500 && alt <= 45000 && alt % 25 == 0) << line;
        }
        if (f[1] == "4") {
            const int speed = std::atoi(f[12].c_str()), track = std::atoi(f[13].c_str());
            EXPECT_TRUE(speed >= 90 && speed <= 520 && track >= 0 && track < 360) << line;
            EXPECT_EQ(std::atoi(f[16].c_str()) % 64, 0) << line;
        }
    }
    // A realistic mix: position and velocity squitters lead, every type is present.
    for (const char* t : {"1", "3", "4", "5", "6", "7", "8"}) {
        EXPECT_GT(perType[t], 100) << "MSG," << t;
    }
    EXPECT_GT(perType["3"], perType["5"]);
    EXPECT_GT(perType["4"], perType["1"] * 5);
    // A few hundred lines per second of traffic time.
    const double perSecond = 20'000.0 * 1000.0 / static_cast<double>(last);
    EXPECT_GT(perSecond, 150.0);
    EXPECT_LT(perSecond, 800.0);
}

// Aircraft come and go: new Mode-S IDs appear late, early ones fall silent, the number in
// the air stays at what was asked for.
TEST(GeneratedLines, AircraftEnterAndLeave) {
    TrafficConfig config;
    config.homeLat = 37.5;
    config.homeLon = 15.07;
    config.aircraft = 20;
    TrafficGenerator gen(config);
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> seen; // first, last line
    std::string line;
    std::int64_t t = 0;
    const std::int64_t end = 1'200'000; // 20 minutes
    while (t < end) {
        t = gen.next(line);
        const std::string id = fields(line)[4];
        auto [it, added] = seen.emplace(id, std::make_pair(t, t));
        it->second.second = t;
    }
    int entered = 0, left = 0;
    for (const auto& [id, span] : seen) {
        entered += span.first > 300'000;
        left += span.second < end - 300'000;
    }
    EXPECT_GE(entered, 5);
    EXPECT_GE(left, 5);
    EXPECT_GE(gen.aircraftSeen(), seen.size());
    int airborne = 0;
    for (const auto& [id, span] : seen) {
        airborne += span.second > end - 20'000;
    }
    EXPECT_NEAR(airborne, config.aircraft, config.aircraft / 5);
}

struct SeedCase {
    const char* name;
    std::uint64_t seedA, seedB;
    bool same;
};

const SeedCase SeedCases[] = {
    {"same_seed_same_lines", 7, 7, true},
    {"other_seed_other_lines", 7, 8, false},
};

class Seeds : public testing::TestWithParam<SeedCase> {};

TEST_P(Seeds, DecideTheTraffic) {
    const SeedCase& c = GetParam();
    TrafficConfig a, b;
    a.homeLat = b.homeLat = 52.3;
    a.homeLon = b.homeLon = 4.76;
    a.seed = c.seedA;
    b.seed = c.seedB;
    TrafficGenerator ga(a), gb(b);
    std::string la, lb;
    int equal = 0;
    for (int i = 0; i < 5000; ++i) {
        const std::int64_t ta = ga.next(la), tb = gb.next(lb);
        equal += la == lb && ta == tb;
    }
    if (c.same) {
        EXPECT_EQ(equal, 5000);
    } else {
        EXPECT_LT(equal, 50);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Seeds, testing::ValuesIn(SeedCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
