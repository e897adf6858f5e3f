// Recorded base-station text: time stamps, line splitting and the replay pace.
#include "feed/sbsreplay.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace rizuzez;

namespace {

struct TimeCase {
    const char* name;
    const char* date;
    const char* time;
    std::optional<std::int64_t> ms;
};

const TimeCase TimeCases[] = {
    {"epoch", "1970/01/01", "00:00:00.000", 0},
    {"dump1090_stamp", "2026/12/11", "11:49:53.050", 1796989793050},
    {"dashes_and_blanks", " 2000-03-01 ", "00:00:00 ", 951868800000},
    {"leap_day_one_digit_fraction", "2024/02/29", "12:00:00.5", 1709208000500},
    {"nine_digit_fraction_kept_to_ms", "2024/02/29", "12:00:00.123456789", 1709208000123},
    {"empty", "", "", std::nullopt},
    {"no_leap_day", "2023/02/29", "12:00:00.000", std::nullopt},
    {"month_13", "2024/13/01", "12:00:00.000", std::nullopt},
    {"mixed_separators", "2024/01-01", "12:00:00.000", std::nullopt},
    {"no_seconds", "2024/01/01", "12:00", std::nullopt},
    {"hour_24", "2024/01/01", "24:00:00", std::nullopt},
    {"junk_after_time", "2024/01/01", "12:00:00.000x", std::nullopt},
    {"short_year", "24/01/01", "12:00:00", std::nullopt},
};

class SbsTime : public testing::TestWithParam<TimeCase> {};

TEST_P(SbsTime, Parses) {
    const TimeCase& c = GetParam();
    EXPECT_EQ(parseSbsDateTime(c.date, c.time), c.ms);
    if (c.ms) {
        // Formatting gives back the same instant.
        const std::string text = formatSbsDateTime(*c.ms);
        const auto comma = text.find(',');
        EXPECT_EQ(parseSbsDateTime(text.substr(0, comma), text.substr(comma + 1)), c.ms) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SbsTime, testing::ValuesIn(TimeCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SbsTimeFormat, WritesTheFixedPattern) {
    EXPECT_EQ(formatSbsDateTime(0), "1970/01/01,00:00:00.000");
    EXPECT_EQ(formatSbsDateTime(1796989793050), "2026/12/11,11:49:53.050");
    EXPECT_EQ(formatSbsDateTime(-1), "1969/12/31,23:59:59.999");
}

struct RecordedCase {
    const char* name;
    const char* line;
    std::optional<std::int64_t> ms;
};

const RecordedCase RecordedCases[] = {
    {"generated_time",
     "MSG,3,1,1,406B90,1,2026/12/11,11:49:53.050,2026/12/11,11:49:53.351,,35975,,,,,,,,,,0",
     1796989793050},
    {"logged_time_when_generated_is_empty",
     "MSG,3,1,1,406B90,1,,,2026/12/11,11:49:53.351,,35975,,,,,,,,,,0", 1796989793351},
    {"no_time_at_all", "MSG,3,,,3440CD,,,,,,,9575,,,48.61166,2.52599,,,0,0,0,0", std::nullopt},
    {"short_line", "MSG,8,1,1,400AFE,1,2019/10/20", std::nullopt},
    {"other_message_type",
     "STA,,5,179,400AE7,10103,2008/11/28,14:58:51.153,2008/11/28,14:58:51.153,RM", 1227884331153},
};

class RecordedTime : public testing::TestWithParam<RecordedCase> {};

TEST_P(RecordedTime, ReadsFieldsSevenToTen) {
    EXPECT_EQ(recordedTimeMs(GetParam().line), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(Table, RecordedTime, testing::ValuesIn(RecordedCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct SplitCase {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    std::uint64_t dropped;
};

const std::string Overlong(LineSplitter::MaxLine + 1, 'x');

const SplitCase SplitCases[] = {
    {"crlf", {"a\r\nb\r\n"}, {"a", "b"}, 0},
    {"lf_only", {"a\nb\n"}, {"a", "b"}, 0},
    {"lone_cr", {"a\rb\r"}, {"a", "b"}, 0},
    {"crlf_cut_between_cr_and_lf", {"a\r", "\nb\r\n"}, {"a", "b"}, 0},
    {"line_cut_in_the_middle", {"MS", "G,1", "\r\nx"}, {"MSG,1", "x"}, 0},
    {"empty_lines_dropped", {"\r\n\r\na\n\n\rb\r\n"}, {"a", "b"}, 0},
    {"last_line_without_break", {"a\r\nb"}, {"a", "b"}, 0},
    {"overlong_line_in_one_piece", {"a\n" + Overlong + "\nb\n"}, {"a", "b"}, 1},
    {"overlong_line_in_pieces",
     {"a\n", Overlong.substr(0, 100), Overlong.substr(100), "yy\nb"},
     {"a", "b"},
     1},
};

class Splitter : public testing::TestWithParam<SplitCase> {};

TEST_P(Splitter, CutsLines) {
    const SplitCase& c = GetParam();
    LineSplitter s;
    std::vector<std::string> got;
    auto emit = [&got](std::string_view l) { got.emplace_back(l); };
    for (const std::string& p : c.pieces) {
        s.feed(p, emit);
    }
    s.finish(emit);
    EXPECT_EQ(got, c.lines);
    EXPECT_EQ(s.droppedLines(), c.dropped);
}

INSTANTIATE_TEST_SUITE_P(Table, Splitter, testing::ValuesIn(SplitCases),
                         [](const auto& p) { return std::string(p.param.name); });

// A line recorded at the given second and millisecond of 2024/05/01 10:00 (negative: no time).
std::string at(int second, int ms) {
    if (second < 0) {
        return "MSG,8,,,405F11,,,,,,,,,,,,,,,,,";
    }
    char buf[128];
    std::snprintf(buf, sizeof buf, "MSG,8,1,1,405F11,1,2024/05/01,10:00:%02d.%03d,,,,,,,,,,,,,,0",
                  second, ms);
    return buf;
}

struct PaceCase {
    const char* name;
    std::vector<std::string> lines; // "" marks a new pass
    std::vector<std::int64_t> due;
};

const PaceCase PaceCases[] = {
    {"follows_recorded_times", {at(10, 0), at(10, 250), at(12, 0)}, {0, 250, 2000}},
    {"untimed_lines_go_with_the_previous",
     {at(-1, 0), at(10, 0), at(-1, 0), at(11, 0)},
     {0, 0, 0, 1000}},
    {"slightly_earlier_line_goes_right_after",
     {at(10, 0), at(10, 500), at(10, 200), at(11, 0)},
     {0, 500, 500, 1000}},
    {"jump_back_continues_from_previous",
     {at(30, 0), at(31, 0), at(5, 0), at(6, 500)},
     {0, 1000, 1000, 2500}},
    {"new_pass_after_a_gap",
     {at(10, 0), at(11, 0), "", at(10, 0), at(10, 100)},
     {0, 1000, 2000, 2100}},
};

class Pacer : public testing::TestWithParam<PaceCase> {};

TEST_P(Pacer, GivesDueTimes) {
    const PaceCase& c = GetParam();
    ReplayPacer p;
    std::vector<std::int64_t> due;
    for (const std::string& l : c.lines) {
        if (l.empty()) {
            p.newPass();
        } else {
            due.push_back(p.dueMs(l));
        }
    }
    EXPECT_EQ(due, c.due);
}

INSTANTIATE_TEST_SUITE_P(Table, Pacer, testing::ValuesIn(PaceCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
