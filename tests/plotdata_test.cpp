// Clearing, clean-up count and furthest-contact rebuild of the coverage table.
#include "coverage/plotdata.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace rizuzez;

namespace {

TEST(PlotData, ByteImageOffsets) {
    PlotTable t{};
    const auto* base = reinterpret_cast<const char*>(&t);
    EXPECT_EQ(reinterpret_cast<const char*>(&t[2][10]) - base, 17520);
    TMaxDistance m{};
    EXPECT_EQ(reinterpret_cast<const char*>(&m.Alt) - reinterpret_cast<const char*>(&m), 32);
}

TEST(PlotData, ClearKeepsCellPositionsAndOtherTexts) {
    Coverage c;
    for (int b = 0; b < BandCount; ++b)
        for (int i = 0; i < BearingCount; ++i) c.PlotData[b][i] = {100.0 + i, 50.0 + b, 4.0 + i};
    c.MaxDistance = {459.0, 10.0, 51.0, 3.0, 35000.0};
    c.texts = {"51.0000", "3.0000", "35000", "459.0", "10.0", "ABC123"};
    ClearCoverage(c);
    for (int b = 0; b < BandCount; ++b)
        for (int i = 0; i < BearingCount; ++i) {
            EXPECT_EQ(c.PlotData[b][i].Dist, 0.0);
            EXPECT_EQ(c.PlotData[b][i].Lat, 50.0 + b);
            EXPECT_EQ(c.PlotData[b][i].Lon, 4.0 + i);
        }
    const TMaxDistance zero{};
    EXPECT_EQ(std::memcmp(&c.MaxDistance, &zero, sizeof zero), 0);
    EXPECT_EQ(c.texts.Edit10, "");
    EXPECT_EQ(c.texts.Edit5, "51.0000");
    EXPECT_EQ(c.texts.Edit9, "10.0");
}

TEST(PlotData, CountExceedingBoundaryIsStrict) {
    PlotTable t{};
    t[0][0] = {250.0, 1, 1};
    t[1][5] = {250.1, 2, 2};
    t[3][359] = {999.5, 3, 3};
    EXPECT_EQ(CountExceeding(t, 250.0, 52.0, 5.0), 2);
    EXPECT_EQ(t[0][0].Dist, 250.0);
    EXPECT_EQ(t[1][5].Dist, 0.0);
    EXPECT_EQ(t[1][5].Lat, 52.0);
    EXPECT_EQ(t[1][5].Lon, 5.0);
    EXPECT_EQ(t[3][359].Lat, 52.0);
    const PlotTable before = t;
    EXPECT_EQ(CountExceeding(t, 999.0, 1.0, 1.0), 0);
    EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
}

TEST(PlotData, CountExceedingCanClearEveryCell) {
    PlotTable t{};
    for (auto& band : t)
        for (auto& c : band) c.Dist = 1000.0;
    EXPECT_EQ(CountExceeding(t, 999.0, 0, 0), 1440);
}

struct MaxCase {
    const char* name;
    std::vector<std::tuple<int, int, double>> cells; // band, bearing, dist
    TMaxDistance expected;
};

TEST(PlotData, RecomputeMax) {
    const MaxCase cases[] = {
        {"empty_table_gives_home", {}, {0.0, 0.0, 52.0, 5.0, 0.0}},
        {"tie_lowest_band_wins", {{1, 20, 300.0}, {0, 250, 300.0}}, {300.0, 250.0, 10.0, 250.0, 0.0}},
        {"single_cell_bearing_zero", {{3, 0, 12.5}}, {12.5, 0.0, 13.0, 0.0, 0.0}},
    };
    for (const MaxCase& c : cases) {
        PlotTable t{};
        for (auto [b, i, d] : c.cells) t[b][i] = {d, 10.0 + b, static_cast<double>(i)};
        TMaxDistance m{1, 2, 3, 4, 5};
        RecomputeMax(t, m, 52.0, 5.0);
        EXPECT_EQ(std::memcmp(&m, &c.expected, sizeof m), 0) << c.name;
    }
}

} // namespace
