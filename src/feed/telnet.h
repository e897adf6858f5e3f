// Telnet framing on the feed: command sequences are cut out of the data and answered.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rizuzez {

// Removes telnet command sequences (introduced by the byte 255) from received bytes and
// produces the replies the far end expects: a terminal-type request is answered with "dumb",
// every other option the far end asks for is refused once. A sequence cut by a read boundary
// is completed by the next call. Base-station ports send no commands at all, so the common
// case (no byte 255 in a chunk) hands the input back without copying.
class TelnetFilter {
public:
    static constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251,
                                   SB = 250, SE = 240;
    static constexpr unsigned char TerminalType = 24; // option TTYPE (RFC 1091)
    static constexpr unsigned char TtypeIs = 0, TtypeSend = 1;
    // Subnegotiations longer than this (bytes) are malformed: the filter gives up on them and
    // returns to data, so a stray "IAC SB" cannot swallow the feed.
    static constexpr std::size_t MaxSubnegotiation = 1024;

    // The plain data of `in`; valid until the next call. Replies are appended to `replies`.
    std::string_view filter(std::string_view in, std::string& replies);
    // A new connection: forget partial sequences and negotiated options.
    void reset();

    static std::string terminalTypeReply(); // IAC SB TTYPE IS "dumb" IAC SE

private:
    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubIac };
    void command(unsigned char verb, unsigned char option, std::string& replies);
    void endSubnegotiation(std::string& replies);

    State m_state = State::Data;
    unsigned char m_verb = 0;
    std::string m_sub;
    std::string m_out;
    std::array<bool, 256> m_willing{};     // options we agreed to perform (only TTYPE)
    std::array<bool, 256> m_refusedDo{};   // DO requests already answered WONT
    std::array<bool, 256> m_refusedWill{}; // WILL offers already answered DONT
};

} // namespace rizuzez
