// The MSG decoder: line selection, counters, blacklist, filter, log, cells and chunking.
#include "feed/decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace rizuzez;

namespace {

// A base-station position line with the given fields (type, Mode-S ID, alt, lat, lon).
std::string msg(const std::string& type, const std::string& id, const std::string& alt,
                const std::string& lat, const std::string& lon) {
    return "MSG," + type + ",1,1," + id + ",1,2024/05/01,10:00:00.000,2024/05/01,10:00:00.000,," +
           alt + ",,," + lat + "," + lon + ",,,0,0,0,0";
}

class FixedClock final : public Clock {
public:
    LocalDateTime now() const override { return {2024, 5, 1, 10, 11, 12, 0}; }
};

struct CountingSink final : FeedSink {
    int recorded = 0, contacts = 0;
    void positionRecorded() override { ++recorded; }
    void furthestContactChanged() override { ++contacts; }
};

struct Fixture {
    Coverage cov;
    Decoder dec{cov};
    CountingSink sink;
    FixedClock clock;
    Fixture() {
        dec.setHome(52.0, 5.0);
        dec.setSink(&sink);
        dec.setClock(&clock);
    }
    int filledCells() const {
        int n = 0;
        for (const auto& band : cov.PlotData)
            for (const auto& c : band) n += c.Dist > 0;
        return n;
    }
};

struct LineCase {
    const char* name;
    std::string line;
    int total;    // TotalMsgs after the line
    int recorded; // positions reaching the table
    int ignored;
};

const LineCase LineCases[] = {
    {"type3_position", msg("3", "4CA1D5", "36000", "53.0", "6.0"), 1, 1, 0},
    {"type2_surface", msg("2", "4CA1D5", "0", "53.0", "6.0"), 1, 1, 0},
    {"type1_not_counted", msg("1", "4CA1D5", "36000", "53.0", "6.0"), 0, 0, 0},
    {"type_with_blanks_counts", "MSG, 3 ,1,1,4CA1D5,1,a,b,c,d,,36000,,,53.0,6.0", 1, 1, 0},
    {"type_03_not_counted", msg("03", "4CA1D5", "36000", "53.0", "6.0"), 0, 0, 0},
    {"lower_case_msg_ignored", "msg,3,1,1,4CA1D5,1,a,b,c,d,,36000,,,53.0,6.0", 0, 0, 0},
    {"eleven_chars_ignored", "MSG,3,1,1,4", 0, 0, 0},
    {"twelve_chars_counted_then_dropped", "MSG,3,1,1,4C", 1, 0, 0},
    {"empty_altitude", msg("3", "4CA1D5", "", "53.0", "6.0"), 1, 0, 0},
    {"latitude_zero", msg("3", "4CA1D5", "1000", "0.0", "6.0"), 1, 0, 0},
    {"longitude_zero", msg("3", "4CA1D5", "1000", "53.0", "0"), 1, 0, 0},
    {"latitude_hex_rejected", msg("3", "4CA1D5", "1000", "0x35", "6.0"), 1, 0, 0},
    {"latitude_nan_rejected", msg("3", "4CA1D5", "1000", "nan", "6.0"), 1, 0, 0},
    {"altitude_zero_recorded", msg("3", "4CA1D5", "0", "53.0", "6.0"), 1, 1, 0},
    {"altitude_minus_9999_band0", msg("3", "4CA1D5", "-9999", "53.0", "6.0"), 1, 1, 0},
    {"altitude_minus_10000_dropped", msg("3", "4CA1D5", "-10000", "53.0", "6.0"), 1, 0, 0},
    {"altitude_far_below_zero_dropped", msg("3", "4CA1D5", "-1e300", "53.0", "6.0"), 1, 0, 0},
    {"due_north_not_recorded", msg("3", "4CA1D5", "1000", "53.0", "5.0"), 1, 0, 0},
    {"beyond_never_filter_ignored", msg("3", "4CA1D5", "1000", "10.0", "60.0"), 1, 0, 1},
};

class Lines : public ::testing::TestWithParam<LineCase> {};

TEST_P(Lines, CountsAndRecords) {
    const LineCase& c = GetParam();
    Fixture f;
    f.dec.ProcessChunk(c.line + "\r\n");
    EXPECT_EQ(f.dec.TotalMsgs, c.total);
    EXPECT_EQ(f.dec.MsgsThisSecond, c.total);
    EXPECT_EQ(f.sink.recorded, c.recorded);
    EXPECT_EQ(f.filledCells(), c.recorded);
    EXPECT_EQ(f.dec.IgnoredMsgs, c.ignored);
}

INSTANTIATE_TEST_SUITE_P(Decoder, Lines, ::testing::ValuesIn(LineCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Decoder, MixedChunkRecordsOnlyPositions) {
    Fixture f;
    std::string chunk = msg("3", "AAAAAA", "5000", "53.0", "6.0") + "\r\n" +
                        msg("3", "BBBBBB", "15000", "51.0", "4.0") + "\r\n" +
                        msg("3", "CCCCCC", "25000", "52.3", "7.0") + "\r\n" +
                        msg("1", "DDDDDD", "", "", "") + "\r\n" + "STA,,5,179,400AE7\r\n";
    f.dec.ProcessChunk(chunk);
    EXPECT_EQ(f.dec.TotalMsgs, 3);
    EXPECT_EQ(f.filledCells(), 3);
    EXPECT_EQ(f.sink.recorded, 3);
}

TEST(Decoder, CellAndContactTakeOnlyStrictlyGreater) {
    Fixture f;
    f.dec.ProcessChunk(msg("3", "AAAAAA", "45000", "53.0", "6.0") + "\n");
    const TPlotPoint cell = f.cov.PlotData[3][31];
    EXPECT_NEAR(cell.Dist, 70.24, 0.005);
    EXPECT_EQ(f.cov.MaxDistance.Alt, 39999.0);
    EXPECT_EQ(f.cov.texts.Edit7, "39999");
    EXPECT_EQ(f.cov.texts.Edit10, "AAAAAA");
    EXPECT_EQ(f.sink.contacts, 1);
    // Same distance again from another aircraft: nothing changes, but it reached the table.
    f.dec.ProcessChunk(msg("3", "BBBBBB", "45000", "53.0", "6.0") + "\n");
    EXPECT_EQ(f.cov.texts.Edit10, "AAAAAA");
    EXPECT_EQ(f.sink.contacts, 1);
    EXPECT_EQ(f.sink.recorded, 2);
}

TEST(Decoder, ContactTextsUsePointWhateverTheSeparator) {
    for (char sep : {'.', ','}) {
        Fixture f;
        f.dec.decimalSeparator = sep;
        f.dec.ProcessChunk(msg("3", "4CA1D5", "36000", "51.12345678", "4.5") + "\r\n");
        EXPECT_EQ(f.cov.texts.Edit5, "51.1235") << sep;
        EXPECT_EQ(f.cov.texts.Edit6, "4.5000") << sep;
        EXPECT_EQ(f.cov.texts.Edit7, "36000") << sep;
    }
}

TEST(Decoder, CommaLocaleStillReadsPointFields) {
    Fixture f;
    f.dec.decimalSeparator = ',';
    f.dec.ProcessChunk(msg("3", "AAAAAA", "1000.5", "53.0", "6.0") + "\r\n");
    EXPECT_EQ(f.filledCells(), 1);
}

TEST(Decoder, BlacklistIsACaseSensitiveSubstringSearch) {
    struct Case {
        const char* id;
        bool dropped;
    } cases[] = {{"4CA1D5", true}, {"4ca1d5", false}, {"4CA1", true}, {"ABCDEF", false}};
    for (const Case& c : cases) {
        Fixture f;
        f.dec.Blacklist = "4CA1D5 RYANAIR TEST\r\n";
        f.dec.ProcessChunk(msg("3", c.id, "1000", "53.0", "6.0") + "\r\n");
        EXPECT_EQ(f.dec.TotalMsgs, 1) << c.id;
        EXPECT_EQ(f.filledCells(), c.dropped ? 0 : 1) << c.id;
    }
}

TEST(Decoder, FilterBoundaryIsStrict) {
    const DistCourse dc = CalcDistCourse(52.0, 5.0, 53.0, 6.0);
    Fixture at;
    at.dec.FilterRange = dc.distance;
    at.dec.ProcessChunk(msg("3", "A", "1000", "53.0", "6.0") + "\n");
    EXPECT_EQ(at.filledCells(), 1);
    Fixture beyond;
    beyond.dec.FilterRange = dc.distance - 0.01;
    beyond.dec.ProcessChunk(msg("3", "A", "1000", "53.0", "6.0") + "\n");
    EXPECT_EQ(beyond.filledCells(), 0);
    EXPECT_EQ(beyond.dec.IgnoredMsgs, 1);
}

TEST(Decoder, IgnoredLogLineFormat) {
    const auto dir = std::filesystem::temp_directory_path() / "rizuzez_log_test";
    std::filesystem::create_directories(dir);
    const auto path = (dir / "rizuzez1.log").string();
    std::filesystem::remove(path);
    Fixture f;
    f.dec.FilterRange = 10.0;
    f.dec.IgnoredLog = path;
    f.dec.logIgnored = true;
    const std::string line = msg("3", "4CA1D5", "1000", "53.0", "6.0");
    f.dec.ProcessChunk(line + "\r\n");
    f.dec.logIgnored = false; // unticked: counted, not logged
    f.dec.ProcessChunk(line + "\r\n");
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "2024-05-01 10:11:12;crs= 30.9;dist=  70.2;msg ignored=\"" + line + "\"\r\n");
    EXPECT_EQ(f.dec.IgnoredMsgs, 2);
}

TEST(Decoder, LineCutByChunkBoundaryIsDecodedWhole) {
    const std::string line = msg("3", "AAAAAA", "1000", "53.0", "-0.12345") + "\r\n";
    for (std::size_t cut = 1; cut < line.size(); ++cut) {
        Fixture whole, split;
        whole.dec.ProcessChunk(line);
        split.dec.ProcessChunk(line.substr(0, cut));
        split.dec.ProcessChunk(line.substr(cut));
        EXPECT_EQ(split.dec.TotalMsgs, 1) << cut;
        EXPECT_EQ(std::memcmp(&whole.cov.PlotData, &split.cov.PlotData, sizeof(PlotTable)), 0)
            << "cut at " << cut;
    }
}

TEST(Decoder, LineEndsLfCrLfAndLoneCr) {
    for (const char* end : {"\n", "\r\n", "\r"}) {
        Fixture f;
        const std::string a = msg("3", "A", "1000", "53.0", "6.0");
        const std::string b = msg("3", "B", "1000", "51.0", "4.0");
        f.dec.ProcessChunk(a + end + b + end);
        EXPECT_EQ(f.filledCells(), 2) << "line end " << int(end[0]);
    }
}

TEST(Decoder, LastLineWithoutBreakWaitsForFlush) {
    Fixture f;
    f.dec.ProcessChunk(msg("3", "A", "1000", "53.0", "6.0"));
    EXPECT_EQ(f.dec.TotalMsgs, 0);
    f.dec.FlushPendingLine();
    EXPECT_EQ(f.filledCells(), 1);
}

TEST(Decoder, OverlongLineKeepsItsFirstBytesWhereverTheChunksAreCut) {
    // A line far longer than any real one: its first MaxPendingLine bytes are decoded, the
    // same whether it lies within one chunk or is cut by a boundary.
    const std::string line = msg("3", "A", "1000", "53.0", "6.0") + std::string(10000, 'x');
    const std::string text = "MSG,3," + std::string(Decoder::MaxPendingLine, 'x') + "\r\n" + line +
                             "\r\n" + msg("3", "B", "1000", "51.0", "4.0") + "\r\n";
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, Decoder::MaxPendingLine + 1,
                            Decoder::MaxPendingLine + 500, text.size() - 50}) {
        Fixture f;
        f.dec.ProcessChunk(text.substr(0, cut));
        f.dec.ProcessChunk(text.substr(cut));
        EXPECT_EQ(f.dec.TotalMsgs, 3) << "cut at " << cut;
        EXPECT_EQ(f.filledCells(), 2) << "cut at " << cut;
    }
}

TEST(Decoder, DroppedChunkDropsThePendingLineAndItsTail) {
    Fixture f;
    const std::string line = msg("3", "A", "1000", "53.0", "6.0") + "\r\n";
    f.dec.ProcessChunk(line.substr(0, 20));
    f.dec.DropChunk(line.substr(20, 10));
    f.dec.ProcessChunk(line.substr(30) + line);
    EXPECT_EQ(f.dec.TotalMsgs, 1);
    // A dropped chunk that ended on a line break leaves the next line whole.
    f.dec.DropChunk(line);
    f.dec.ProcessChunk(line);
    EXPECT_EQ(f.dec.TotalMsgs, 2);
}

TEST(Decoder, ChunkArrivingInsideAHookIsDecodedAfterTheCurrentOne) {
    struct Reentrant final : FeedSink {
        Decoder* dec = nullptr;
        std::string extra;
        void positionRecorded() override {
            if (!extra.empty()) {
                std::string e;
                e.swap(extra);
                dec->ProcessChunk(e);
            }
        }
    } sink;
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(52.0, 5.0);
    dec.setSink(&sink);
    sink.dec = &dec;
    const std::string a = msg("3", "A", "1000", "53.0", "6.0");
    const std::string b = msg("3", "B", "1000", "51.0", "4.0");
    sink.extra = b.substr(10) + "\r\n";
    dec.ProcessChunk(a + "\r\n" + b.substr(0, 10)); // b completes in the re-entrant chunk
    EXPECT_EQ(dec.TotalMsgs, 2);
}

TEST(Decoder, BearingRoundsHalfToEven) {
    // nearbyint, not round: exercised through the bearing of a recorded cell.
    EXPECT_EQ(std::nearbyint(0.5), 0.0);
    EXPECT_EQ(std::nearbyint(1.5), 2.0);
    EXPECT_EQ(std::nearbyint(358.5), 358.0);
    EXPECT_EQ(std::nearbyint(359.5), 360.0);
}

} // namespace
