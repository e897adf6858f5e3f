// Telnet framing on the feed: command sequences are cut out of the data and answered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rizuzez {

// Removes telnet command sequences (introduced by the byte 255, IAC) from received bytes and
// produces the replies a telnet client owes the far end: a terminal-type request is answered
// with "dumb", every other option the far end offers or asks for is refused once. A sequence
// cut by a read boundary is completed by the next call. Base-station ports send no commands,
// so a chunk without the byte 255 is handed back as it is, without a copy.
class TelnetFilter {
public:
    static constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251,
                                   SB = 250, SE = 240;
    static constexpr unsigned char TerminalType = 24; // option TTYPE (RFC 1091)
    static constexpr unsigned char TtypeIs = 0, TtypeSend = 1;
    // A subnegotiation longer than this (bytes) is malformed: it is dropped and the filter
    // returns to data, so a stray "IAC SB" cannot swallow the feed.
    static constexpr std::size_t MaxSubnegotiation = 1024;

    // The plain data of `in`, valid until the next call. Replies are appended to `replies`.
    std::string_view filter(std::string_view in, std::string& replies);
    // A new connection: forget partial sequences and what was negotiated.
    void reset();

    // IAC SB TTYPE IS "dumb" IAC SE
    static std::string terminalTypeReply();

private:
    enum class State : std::uint8_t { Data, Iac, Option, Sub, SubIac };
    void option(unsigned char verb, unsigned char opt, std::string& replies);
    void endSubnegotiation(std::string& replies);

    State m_state = State::Data;
    unsigned char m_verb = 0;
    std::string m_sub;
    std::string m_out;
    std::array<bool, 256> m_answered{}; // options already answered (each only once)
};

} // namespace rizuzez
