// The decoder's fast great-circle path (HomeTrig) against the step-by-step formulas, bit for bit.
#include "geodesy/trigo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace rizuzez;

namespace {

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Region {
    const char* name;
    double homeLat, homeLon;
    double latLo, latHi, lonLo, lonHi; // targets drawn uniformly from this box
};

// Stations in every quarter of the globe and at the poles; targets near and far, across the
// antimeridian (where the sign of sin(lambda2 - lambda1) needs the sine), at high latitudes
// (where sincos reduces its argument), and far outside any sane range, which the decoder
// accepts as it is.
const Region Regions[] = {
    {"europe_local", 52.0, 5.0, 48.0, 56.0, -1.0, 11.0},
    {"japan_local", 34.55, 135.79, 31.0, 38.0, 131.0, 140.0},
    {"sydney_local", -33.9, 151.2, -38.0, -30.0, 146.0, 156.0},
    {"new_york_local", 40.7, -74.0, 36.0, 45.0, -80.0, -68.0},
    {"buenos_aires_local", -34.6, -58.4, -39.0, -30.0, -64.0, -53.0},
    {"whole_globe_from_europe", 52.0, 5.0, -90.0, 90.0, -180.0, 180.0},
    {"whole_globe_from_the_south", -41.3, 174.8, -90.0, 90.0, -180.0, 180.0},
    {"across_the_antimeridian", 10.0, 179.95, 5.0, 15.0, 175.0, 185.0},
    {"near_the_antipode", 52.0, 5.0, -53.0, -51.0, -176.0, -174.0},
    {"arctic", 89.9, 20.0, 80.0, 90.0, -180.0, 180.0},
    {"north_pole_station", 90.0, 3.0, 70.0, 90.0, -180.0, 180.0},
    {"south_pole_station", -90.0, 3.0, -90.0, -70.0, -180.0, 180.0},
    {"equator_station", 0.5, 0.5, -5.0, 5.0, -5.0, 5.0},
    {"wild_values", 52.0, 5.0, -1e6, 1e6, -1e6, 1e6},
};

class FastPath : public ::testing::TestWithParam<Region> {};

TEST_P(FastPath, MatchesTheFormulasBitForBit) {
    const Region& r = GetParam();
    const HomeTrig home(r.homeLat, r.homeLon);
    std::mt19937_64 rng(20240501);
    std::uniform_real_distribution<double> lat(r.latLo, r.latHi), lon(r.lonLo, r.lonHi);
    int mismatches = 0;
    for (int i = 0; i < 20000; ++i) {
        const double lat2 = lat(rng), lon2 = lon(rng);
        const DistCourse want = CalcDistCourse(r.homeLat, r.homeLon, lat2, lon2);
        const DistCourse got = home.distCourseTo(lat2, lon2);
        if (!sameBits(want.distance, got.distance) || !sameBits(want.course, got.course)) {
            if (++mismatches <= 3) {
                ADD_FAILURE() << "target " << lat2 << " " << lon2 << ": " << want.distance << " "
                              << want.course << " vs " << got.distance << " " << got.course;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Geodesy, FastPath, ::testing::ValuesIn(Regions),
                         [](const auto& p) { return std::string(p.param.name); });

struct Target {
    const char* name;
    double homeLat, homeLon, lat2, lon2;
};

const Target Targets[] = {
    {"station_itself", 52.0, 5.0, 52.0, 5.0},
    {"one_ulp_east", 10.0, 20.0, 10.0, 20.000000000000004},
    {"due_north", 52.0, 5.0, 53.0, 5.0},
    {"due_south", 52.0, 5.0, 51.0, 5.0},
    {"exact_antipode", 52.0, 5.0, -52.0, -175.0},
    {"antimeridian_east", 10.0, 0.5, 10.0, -179.5},
    {"antimeridian_west", 10.0, -0.5, 10.0, 179.5},
    {"half_turn_of_longitude", 0.0, 90.0, 1.0, -90.0},
    {"not_a_number", 52.0, 5.0, std::nan(""), 5.0},
    {"infinite", 52.0, 5.0, 53.0, HUGE_VAL},
};

class FastPathTargets : public ::testing::TestWithParam<Target> {};

TEST_P(FastPathTargets, MatchesTheFormulasBitForBit) {
    const Target& t = GetParam();
    const DistCourse want = CalcDistCourse(t.homeLat, t.homeLon, t.lat2, t.lon2);
    const DistCourse got = HomeTrig(t.homeLat, t.homeLon).distCourseTo(t.lat2, t.lon2);
    EXPECT_TRUE(sameBits(want.distance, got.distance)) << want.distance << " " << got.distance;
    EXPECT_TRUE(sameBits(want.course, got.course)) << want.course << " " << got.course;
}

INSTANTIATE_TEST_SUITE_P(Geodesy, FastPathTargets, ::testing::ValuesIn(Targets),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(FastPath, CourseIsSkippedOnlyBeyondTheLimit) {
    const HomeTrig home(52.0, 5.0);
    const DistCourse full = home.distCourseTo(53.0, 6.0);
    const DistCourse within = home.distCourseTo(53.0, 6.0, full.distance);
    const DistCourse beyond = home.distCourseTo(53.0, 6.0, full.distance - 0.01);
    EXPECT_TRUE(sameBits(within.distance, full.distance));
    EXPECT_TRUE(sameBits(within.course, full.course));
    EXPECT_TRUE(sameBits(beyond.distance, full.distance));
    EXPECT_TRUE(std::isnan(beyond.course));
}

} // namespace
