// Great-circle distance and course against worked examples and the failure rules.
#include "geodesy/trigo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace rizuzez;

static_assert(std::numeric_limits<long double>::digits == 64,
              "the distance formulas need an x87 64-bit mantissa");

namespace {

struct Case {
    const char* name;
    double lat1, lon1, lat2, lon2;
    double distance, course; // NM, degrees; checked to 0.005
};

const Case Cases[] = {
    {"northeast", 52.0, 5.0, 53.0, 6.0, 70.24, 30.94},
    {"southwest", 52.0, 5.0, 51.0, 4.0, 70.67, 212.30},
    {"longer_leg", 52.3, 4.8, 54.1, 9.9, 212.68, 57.47},
    {"along_parallel_leaves_north_of_east", 51.5, 0.0, 51.5, 1.0, 37.35, 89.61},
    {"equator_east", 0.0, 0.0, 0.0, 1.0, 60.00, 90.00},
    {"equator_west", 0.0, 0.0, 0.0, -1.0, 60.00, 270.00},
    {"identical_points", 52.0, 5.0, 52.0, 5.0, 0.0, 0.0},
    {"from_north_pole", 90.0, 0.0, 80.0, 10.0, 600.00, 180.0},
    {"from_south_pole", -90.0, 0.0, -80.0, 10.0, 600.00, 360.0},
};

class Worked : public ::testing::TestWithParam<Case> {};

TEST_P(Worked, DistanceAndCourse) {
    const Case& c = GetParam();
    const DistCourse r = CalcDistCourse(c.lat1, c.lon1, c.lat2, c.lon2);
    EXPECT_NEAR(r.distance, c.distance, 0.005);
    EXPECT_NEAR(r.course, c.course, 0.005);
    // The cached-home form used by the decoder gives the very same bits.
    const DistCourse h = HomeTrig(c.lat1, c.lon1).distCourseTo(c.lat2, c.lon2);
    EXPECT_EQ(std::memcmp(&r, &h, sizeof r), 0);
}

INSTANTIATE_TEST_SUITE_P(Examples, Worked, ::testing::ValuesIn(Cases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Geodesy, OnTheHomeMeridianTheCourseIsAFullOrHalfCircleOrInvalid) {
    // X is +-1 only up to rounding: the course is invalid where the rounded X lies beyond
    // +-1, else within rounding of 360 (north) or 180 (south); never near 0.
    for (double dLat = 0.001; dLat < 1.0; dLat += 0.0137) {
        for (double sign : {1.0, -1.0}) {
            const DistCourse r = CalcDistCourse(52.0, 5.0, 52.0 + sign * dLat, 5.0);
            const double expected = sign > 0 ? 360.0 : 180.0;
            EXPECT_NEAR(r.distance, dLat * 60.0, 1e-6);
            EXPECT_TRUE(r.course == InvalidValue || std::fabs(r.course - expected) < 1e-3)
                << r.course;
        }
    }
}

TEST(Geodesy, NearlyCoincidentPointsGiveZeroDistanceAndInvalidCourse) {
    // More than 1e-15 degrees apart, yet the angular distance comes out as exactly 0.
    const DistCourse r = CalcDistCourse(10.0, 20.0, 10.0, std::nextafter(20.0, 21.0));
    EXPECT_EQ(r.distance, 0.0);
    EXPECT_EQ(r.course, InvalidValue);
}

TEST(Geodesy, FailuresAreInvalidValueNotSignals) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(GCDistance(nan, 0.0, 0.1, 0.1), InvalidValue);
    EXPECT_EQ(GCDistance(0.0, inf, 0.1, 0.1), InvalidValue);
    EXPECT_EQ(GCCourse(0.5, 0.0, 0.6, 0.0, 0.0), InvalidValue); // zero divisor
    EXPECT_EQ(GCCourse(0.5, 0.0, nan, 0.0, 0.1), InvalidValue);
    const DistCourse r = CalcDistCourse(52.0, 5.0, nan, 5.0);
    EXPECT_EQ(r.distance, InvalidValue);
    EXPECT_EQ(r.course, InvalidValue);
}

TEST(Geodesy, PoleGuardReturnsHalfAndFullCircle) {
    EXPECT_DOUBLE_EQ(GCCourse(M_PI / 2, 0.0, 0.1, 0.2, 1.0), M_PI);
    EXPECT_DOUBLE_EQ(GCCourse(-M_PI / 2, 0.0, 0.1, 0.2, 1.0), 2 * M_PI);
}

TEST(Geodesy, ExtendedPrecisionDiffersFromPlainDouble) {
    // Regression guard for the precision model: a plain-double evaluation of the same
    // formulas is not bit-identical on a sweep of ordinary positions.
    int differing = 0;
    for (int i = 0; i < 200; ++i) {
        const double lat2 = 50.0 + i * 0.0173, lon2 = 3.0 + i * 0.0291;
        const double p1 = 52.0 * M_PI / 180, l1 = -5.0 * M_PI / 180;
        const double p2 = lat2 * M_PI / 180, l2 = -lon2 * M_PI / 180;
        const double x = std::sin(p1) * std::sin(p2) + std::cos(p1) * std::cos(p2) * std::cos(l1 - l2);
        const double plain = std::atan2(std::sqrt(1 - x * x), x) * 180 / M_PI * 60;
        differing += plain != CalcDistCourse(52.0, 5.0, lat2, lon2).distance;
    }
    EXPECT_GT(differing, 20);
}

} // namespace
