// Telnet command stripping with the replies it owes, and the reconnect pauses of the service.
#include "feed/reconnect.h"
#include "feed/telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rizuzez;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) {
        s += static_cast<char>(v);
    }
    return s;
}

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240,
              NOP = 241, TTYPE = 24, ECHO = 1, SGA = 3;

struct TelnetCase {
    const char* name;
    std::vector<std::string> chunks; // delivered one after the other
    std::string data;                // all plain data handed on
    std::string replies;             // all replies produced
};

TEST(Telnet, StripsCommandsAndAnswers) {
    const std::string line = "MSG,3,1,1,4CA1D5,1,,,,,,35000,,,51.5,-0.1,,,,,,\r\n";
    const std::string ttypeSend = bytes({IAC, SB, TTYPE, 1, IAC, SE});
    const TelnetCase cases[] = {
        {"plain_text_untouched", {line, line}, line + line, ""},
        {"terminal_type_offered_and_sent",
         {bytes({IAC, DO, TTYPE}) + line, ttypeSend},
         line,
         bytes({IAC, WILL, TTYPE}) + TelnetFilter::terminalTypeReply()},
        {"other_options_refused_once",
         {bytes({IAC, DO, ECHO, IAC, WILL, SGA, IAC, DO, ECHO, IAC, DONT, ECHO, IAC, WONT, SGA}) +
          line},
         line,
         bytes({IAC, WONT, ECHO, IAC, DONT, SGA})},
        {"command_inside_a_line", {"MSG,3,1" + bytes({IAC, NOP}) + ",1"}, "MSG,3,1,1", ""},
        {"escaped_data_byte",
         {"a" + bytes({IAC, IAC}) + "b"},
         "a\xff"
         "b",
         ""},
        {"sequence_cut_by_chunks",
         {"ab" + bytes({IAC}), bytes({DO}), bytes({TTYPE}) + "cd" + bytes({IAC, SB, TTYPE}),
          bytes({1, IAC}), bytes({SE}) + "ef"},
         "abcdef",
         bytes({IAC, WILL, TTYPE}) + TelnetFilter::terminalTypeReply()},
        {"other_subnegotiation_ignored",
         {bytes({IAC, SB, 31, 0, 80, 0, 24, IAC, SE}) + "x"},
         "x",
         ""},
        {"overlong_subnegotiation_gives_up",
         {bytes({IAC, SB, 99}) + std::string(TelnetFilter::MaxSubnegotiation, 'z') + line},
         line,
         ""},
        {"malformed_subnegotiation_end", {bytes({IAC, SB, TTYPE, 1, IAC, NOP}) + "x"}, "x", ""},
    };
    for (const TelnetCase& c : cases) {
        TelnetFilter f;
        std::string data, replies;
        for (const std::string& chunk : c.chunks) {
            data += std::string(f.filter(chunk, replies));
        }
        EXPECT_EQ(data, c.data) << c.name;
        EXPECT_EQ(replies, c.replies) << c.name;
    }
}

TEST(Telnet, ResetForgetsPartialSequenceAndAnsweredOptions) {
    TelnetFilter f;
    std::string replies;
    EXPECT_EQ(f.filter(bytes({IAC, DO, TTYPE, IAC}), replies), "");
    f.reset(); // a new connection: the dangling IAC does not eat its first byte
    replies.clear();
    EXPECT_EQ(f.filter(bytes({IAC, DO, TTYPE}) + "MSG", replies), "MSG");
    EXPECT_EQ(replies, bytes({IAC, WILL, TTYPE}));
}

TEST(Reconnect, PausesDoubleUpToAMinuteAndStartOverAfterAGoodConnection) {
    ReconnectBackoff b;
    std::vector<int> pauses;
    for (int i = 0; i < 9; ++i) {
        pauses.push_back(b.nextPauseSeconds());
    }
    EXPECT_EQ(pauses, (std::vector<int>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    b.reset();
    EXPECT_EQ(b.nextPauseSeconds(), 1);
    EXPECT_EQ(b.nextPauseSeconds(), 2);
}

} // namespace
