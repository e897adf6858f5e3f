// Telnet command stripping and the minimal client side of option negotiation.
#include "feed/telnet.h"

namespace rizuzez {

std::string TelnetFilter::terminalTypeReply() {
    std::string r;
    r += static_cast<char>(IAC);
    r += static_cast<char>(SB);
    r += static_cast<char>(TerminalType);
    r += static_cast<char>(TtypeIs);
    r += "dumb";
    r += static_cast<char>(IAC);
    r += static_cast<char>(SE);
    return r;
}

void TelnetFilter::reset() {
    m_state = State::Data;
    m_verb = 0;
    m_sub.clear();
    m_out.clear();
    m_answered.fill(false);
}

void TelnetFilter::option(unsigned char verb, unsigned char opt, std::string& replies) {
    // WONT and DONT confirm a state we never left; answering them would invite loops.
    if ((verb != DO && verb != WILL) || m_answered[opt]) {
        return;
    }
    m_answered[opt] = true;
    unsigned char answer = 0;
    if (verb == DO) {
        answer = opt == TerminalType ? WILL : WONT;
    } else {
        answer = DONT;
    }
    replies += static_cast<char>(IAC);
    replies += static_cast<char>(answer);
    replies += static_cast<char>(opt);
}

void TelnetFilter::endSubnegotiation(std::string& replies) {
    if (m_sub.size() >= 2 && static_cast<unsigned char>(m_sub[0]) == TerminalType &&
        static_cast<unsigned char>(m_sub[1]) == TtypeSend) {
        replies += terminalTypeReply();
    }
    m_sub.clear();
}

std::string_view TelnetFilter::filter(std::string_view in, std::string& replies) {
    if (m_state == State::Data && in.find(static_cast<char>(IAC)) == std::string_view::npos) {
        return in;
    }
    m_out.clear();
    for (const char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        switch (m_state) {
        case State::Data:
            if (c == IAC) {
                m_state = State::Iac;
            } else {
                m_out += ch;
            }
            break;
        case State::Iac:
            if (c == IAC) { // an escaped data byte 255
                m_out += ch;
                m_state = State::Data;
            } else if (c == WILL || c == WONT || c == DO || c == DONT) {
                m_verb = c;
                m_state = State::Option;
            } else if (c == SB) {
                m_sub.clear();
                m_state = State::Sub;
            } else { // NOP, GA, a stray SE and the other two-byte commands
                m_state = State::Data;
            }
            break;
        case State::Option:
            option(m_verb, c, replies);
            m_state = State::Data;
            break;
        case State::Sub:
            if (c == IAC) {
                m_state = State::SubIac;
            } else if (m_sub.size() < MaxSubnegotiation) {
                m_sub += ch;
            } else {
                m_sub.clear();
                m_state = State::Data;
            }
            break;
        case State::SubIac:
            if (c == SE) {
                endSubnegotiation(replies);
                m_state = State::Data;
            } else if (c == IAC && m_sub.size() < MaxSubnegotiation) {
                m_sub += ch;
                m_state = State::Sub;
            } else { // malformed: give up on the subnegotiation
                m_sub.clear();
                m_state = State::Data;
            }
            break;
        }
    }
    return m_out;
}

} // namespace rizuzez
