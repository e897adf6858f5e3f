// The feed's control values: telnet framing, the START checks and a new connection's reset of
// the decoder's partial line.
#include "feed/decoder.h"
#include "feed/startstop.h"
#include "feed/telnet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace rizuzez;
namespace fs = std::filesystem;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s += static_cast<char>(v);
    }
    return s;
}

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240,
              NOP = 241, TTYPE = 24, ECHO = 1;

struct TelnetCase {
    const char* name;
    std::vector<std::string> reads; // what arrives, read by read
    std::string data;               // the plain text handed on
    std::string replies;            // what goes back
};

const TelnetCase TelnetCases[] = {
    {"PlainTextPassesUntouched", {"MSG,3,1\r\n", "MSG,1\r\n"}, "MSG,3,1\r\nMSG,1\r\n", ""},
    {"EscapedIacIsADataByte", {"a" + bytes({IAC, IAC}) + "b"}, "a" + bytes({255}) + "b", ""},
    {"NopRemoved", {"ab" + bytes({IAC, NOP}) + "cd"}, "abcd", ""},
    {"TerminalTypeRequestIsAccepted",
     {bytes({IAC, DO, TTYPE}) + "x"},
     "x",
     bytes({IAC, WILL, TTYPE})},
    {"TerminalTypeSendAnsweredDumb",
     {bytes({IAC, SB, TTYPE, 1, IAC, SE}) + "MSG"},
     "MSG",
     TelnetFilter::terminalTypeReply()},
    {"OtherOptionsRefusedOnce",
     {bytes({IAC, DO, ECHO, IAC, WILL, ECHO, IAC, DO, ECHO, IAC, WILL, ECHO})},
     "",
     bytes({IAC, WONT, ECHO, IAC, DONT, ECHO})},
    {"WontAndDontNeedNoAnswer", {bytes({IAC, WONT, ECHO, IAC, DONT, ECHO}) + "z"}, "z", ""},
    {"RepeatedTerminalTypeRequestAnsweredOnce",
     {bytes({IAC, DO, TTYPE, IAC, DO, TTYPE})},
     "",
     bytes({IAC, WILL, TTYPE})},
    {"SequenceSplitAcrossEveryByte",
     {"MS", bytes({IAC}), bytes({SB}), bytes({TTYPE}), bytes({1}), bytes({IAC}), bytes({SE}), "G,",
      bytes({IAC}), bytes({DO}), bytes({TTYPE}), "3"},
     "MSG,3",
     TelnetFilter::terminalTypeReply() + bytes({IAC, WILL, TTYPE})},
    {"IacAtTheEndOfARead",
     {"ab" + bytes({IAC}), bytes({IAC}) + "c"},
     "ab" + bytes({255}) + "c",
     ""},
    {"SubnegotiationWithEscapedIac", {bytes({IAC, SB, 99, IAC, IAC, 7, IAC, SE}) + "ok"}, "ok", ""},
};

class Telnet : public ::testing::TestWithParam<TelnetCase> {};

TEST_P(Telnet, FiltersAndAnswers) {
    const TelnetCase& c = GetParam();
    TelnetFilter filter;
    std::string data, replies;
    for (const std::string& r : c.reads) {
        data += filter.filter(r, replies);
    }
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(replies, c.replies);
}

INSTANTIATE_TEST_SUITE_P(Feed, Telnet, ::testing::ValuesIn(TelnetCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Telnet, PlainChunkIsHandedBackWithoutCopy) {
    TelnetFilter filter;
    std::string replies;
    const std::string chunk = "MSG,3,1,1,4CA1D5\r\n";
    EXPECT_EQ(filter.filter(chunk, replies).data(), chunk.data());
}

TEST(Telnet, UnterminatedSubnegotiationGivesUpAndDataFlowsAgain) {
    TelnetFilter filter;
    std::string replies, data;
    data += filter.filter(bytes({IAC, SB, 99}), replies);
    data += filter.filter(std::string(TelnetFilter::MaxSubnegotiation + 10, 'x'), replies);
    data += filter.filter("MSG,3\r\n", replies);
    EXPECT_EQ(data.substr(data.size() - 7), "MSG,3\r\n");
    EXPECT_LT(data.size(), 20u);
}

TEST(Telnet, ResetForgetsAPartialSequenceAndTheNegotiation) {
    TelnetFilter filter;
    std::string replies;
    (void)filter.filter(bytes({IAC, DO, TTYPE, IAC}), replies);
    filter.reset();
    replies.clear();
    EXPECT_EQ(std::string(filter.filter(bytes({DO}) + "x", replies)), bytes({DO}) + "x");
    (void)filter.filter(bytes({IAC, DO, TTYPE}), replies);
    EXPECT_EQ(replies, bytes({IAC, WILL, TTYPE}));
}

struct StartCase {
    const char* name;
    const char* lat;
    const char* lon;
    char sep;
    StartProblem problem;
    double homeLat, homeLon;
};

const StartCase StartCases[] = {
    {"Valid", "52.5", "-1.25", '.', StartProblem::None, 52.5, -1.25},
    {"PointReadInCommaLocale", "52.5", "4,5", ',', StartProblem::None, 52.5, 4.5},
    {"EmptyLatitude", "", "4", '.', StartProblem::MissingHome, 0, 0},
    {"EmptyLongitude", "52", "", '.', StartProblem::MissingHome, 0, 0},
    {"LatitudeNotANumberKeepsBothValues", "abc", "4", '.', StartProblem::BadLatitude, -999, 4},
    {"LongitudeNotANumber", "52", "abc", '.', StartProblem::BadLongitude, 52, -999},
    {"BothBadLatitudeFirst", "x", "y", '.', StartProblem::BadLatitude, -999, -999},
    {"MinusNineNineNineIsUnreadable", "-999", "4", '.', StartProblem::BadLatitude, -999, 4},
    {"LatitudeOffTheGlobeAccepted", "123", "4", '.', StartProblem::None, 123, 4},
    {"PolesAndDateLine", "-90", "180", '.', StartProblem::None, -90, 180},
};

class Start : public ::testing::TestWithParam<StartCase> {};

TEST_P(Start, ChecksAndValues) {
    const StartCase& c = GetParam();
    const StartValues v = checkStart({c.lat, c.lon, c.sep});
    EXPECT_EQ(v.problem, c.problem);
    if (c.problem != StartProblem::MissingHome) {
        EXPECT_DOUBLE_EQ(v.homeLat, c.homeLat);
        EXPECT_DOUBLE_EQ(v.homeLon, c.homeLon);
    }
}

INSTANTIATE_TEST_SUITE_P(Feed, Start, ::testing::ValuesIn(StartCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Start, ProblemTexts) {
    EXPECT_STREQ(startProblemText(StartProblem::MissingHome),
                 "Please add a valid SBS Home Position");
    EXPECT_STREQ(startProblemText(StartProblem::BadLatitude),
                 "Please check your SBS Home Latitude");
    EXPECT_STREQ(startProblemText(StartProblem::BadLongitude),
                 "Please check your SBS Home Longitude");
    EXPECT_STREQ(startProblemText(StartProblem::None), "");
}

TEST(Start, LogFileCreatedOnceAndNeverTruncated) {
    const fs::path dir = fs::temp_directory_path() / "rizuzez_startlog";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string log = (dir / "rizuzez1.log").string();
    EXPECT_TRUE(createLogIfMissing(log));
    EXPECT_EQ(fs::file_size(log), 0u);
    std::ofstream(log, std::ios::app) << "kept\r\n";
    EXPECT_TRUE(createLogIfMissing(log));
    EXPECT_EQ(fs::file_size(log), 6u);
    EXPECT_FALSE(createLogIfMissing((dir / "missing" / "rizuzez1.log").string()));
    fs::remove_all(dir);
}

// A STOP and START made while a chunk of the old connection is being decoded: the old
// connection's unfinished last line must not run into the new connection's first line.
TEST(Decoder, ResetFromInsideAHookWaitsForTheOldConnectionsChunks) {
    struct ResetSink final : FeedSink {
        Decoder* dec = nullptr;
        int recorded = 0;
        void positionRecorded() override {
            if (++recorded == 1) {
                dec->ResetPendingLine(); // new connection made here
                dec->ProcessChunk("3,1,1,4CA1D6,1,,,,,,38000,,,52.2,5.3,,,0,0,0,0\r\n");
            }
        }
    };
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(52.0, 5.0);
    ResetSink sink;
    sink.dec = &dec;
    dec.setSink(&sink);
    // The old connection's chunk ends inside a line ("MSG,"), the new one begins mid-line.
    dec.ProcessChunk("MSG,3,1,1,4CA1D5,1,,,,,,38000,,,52.1,5.1,,,0,0,0,0\r\nMSG,");
    EXPECT_EQ(dec.TotalMsgs, 1); // "MSG," + "3,1,..." would have made a second position
    EXPECT_EQ(sink.recorded, 1);
}

} // namespace
