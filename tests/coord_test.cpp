// Strict number reading for fields and typed coordinates.
#include "feed/coord.h"
#include "geodesy/trigo.h"

#include <gtest/gtest.h>

using namespace rizuzez;

namespace {

struct Case {
    const char* name;
    const char* text;
    char sep;
    double expected;
};

const Case Cases[] = {
    {"plain", "52.5", '.', 52.5},
    {"blanks_around", "  -4.25 ", '.', -4.25},
    {"plus_sign", "+7", '.', 7.0},
    {"exponent", "1.5e3", '.', 1500.0},
    {"comma_locale_reads_point", "52.5", ',', 52.5},
    {"comma_locale_reads_comma", "52,5", ',', 52.5},
    {"point_locale_rejects_comma", "52,5", '.', InvalidValue},
    {"two_marks", "1.2.3", '.', InvalidValue},
    {"hex", "0x1A", '.', InvalidValue},
    {"inf", "inf", '.', InvalidValue},
    {"nan", "nan", '.', InvalidValue},
    {"thousands", "1,000.5", '.', InvalidValue},
    {"empty", "", '.', InvalidValue},
    {"sign_only", "-", '.', InvalidValue},
    {"dangling_exponent", "5e", '.', InvalidValue},
    {"overflow", "1e400", '.', InvalidValue},
    {"minus_999_reads_as_failure_value", "-999", '.', InvalidValue},
    {"leading_mark", ".5", '.', 0.5},
};

class Coord : public ::testing::TestWithParam<Case> {};

TEST_P(Coord, Reads) {
    const Case& c = GetParam();
    EXPECT_EQ(StrToCoord(c.text, c.sep), c.expected);
}

INSTANTIATE_TEST_SUITE_P(StrToCoord, Coord, ::testing::ValuesIn(Cases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
