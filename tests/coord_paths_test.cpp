// StrToCoord's quick path for plain decimals against the C library's correctly rounded strtod.
#include "feed/coord.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

using namespace rizuzez;

namespace {

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Shape {
    const char* name;
    int intDigits, fracDigits; // digits drawn at random; fracDigits < 0: no mark
    bool sign;
};

// Field shapes from real feeds (altitudes, five-decimal positions) and the edges of the
// quick path: 15 to 17 significant digits around 2^53, 19 and 20 digits, 22 and 23 decimals.
const Shape Shapes[] = {
    {"altitude", 5, -1, false},
    {"position", 3, 5, true},
    {"long_position", 3, 12, true},
    {"sixteen_digits", 8, 8, true},
    {"seventeen_digits", 9, 8, true},
    {"nineteen_digits", 10, 9, false},
    {"twenty_digits", 10, 10, false},
    {"twenty_two_decimals", 0, 22, false},
    {"twenty_three_decimals", 0, 23, false},
    {"trailing_mark", 4, 0, true},
};

class QuickPath : public ::testing::TestWithParam<Shape> {};

TEST_P(QuickPath, MatchesStrtod) {
    const Shape& s = GetParam();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> digit(0, 9), coin(0, 1);
    for (int n = 0; n < 20000; ++n) {
        std::string t;
        if (s.sign && coin(rng)) {
            t += coin(rng) ? '-' : '+';
        }
        for (int i = 0; i < s.intDigits; ++i) {
            t += static_cast<char>('0' + digit(rng));
        }
        if (s.fracDigits >= 0) {
            t += '.';
            for (int i = 0; i < s.fracDigits; ++i) {
                t += static_cast<char>('0' + digit(rng));
            }
        }
        const double want = std::strtod(t.c_str(), nullptr);
        ASSERT_TRUE(sameBits(StrToCoord(t), want)) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(StrToCoord, QuickPath, ::testing::ValuesIn(Shapes),
                         [](const auto& p) { return std::string(p.param.name); });

struct Edge {
    const char* text;
    char sep;
    const char* asStrtodReadsIt;
};

const Edge Edges[] = {
    {"9007199254740992", '.', "9007199254740992"}, // 2^53: quick
    {"9007199254740993", '.', "9007199254740993"}, // above 2^53: general path
    {"0.9007199254740993", '.', "0.9007199254740993"},
    {"-0", '.', "-0"},
    {"-0.0", '.', "-0.0"},
    {"0.", '.', "0."},
    {"00000000000000000001", '.', "1"},
    {"1234567890123456789", '.', "1234567890123456789"},
    {"12345678901234567890", '.', "12345678901234567890"},
    {"0.0000000000000000000001", '.', "1e-22"},
    {"52,5", ',', "52.5"},
};

TEST(StrToCoordQuickPath, EdgesMatchStrtod) {
    for (const Edge& e : Edges) {
        EXPECT_TRUE(sameBits(StrToCoord(e.text, e.sep), std::strtod(e.asStrtodReadsIt, nullptr)))
            << e.text;
    }
}

} // namespace
