// Telnet command removal and option negotiation for the feed connection.
#include "feed/telnet.h"

#include <cstring>

namespace rizuzez {

std::string TelnetFilter::terminalTypeReply() {
    std::string r{static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(TerminalType),
                  static_cast<char>(TtypeIs)};
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
    m_willing.fill(false);
    m_refusedDo.fill(false);
    m_refusedWill.fill(false);
}

std::string_view TelnetFilter::filter(std::string_view in, std::string& replies) {
    if (m_state == State::Data && std::memchr(in.data(), IAC, in.size()) == nullptr) {
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
            if (c == IAC) { // escaped data byte 255
                m_out += ch;
                m_state = State::Data;
            } else if (c >= WILL) {
                m_verb = c;
                m_state = State::Verb;
            } else if (c == SB) {
                m_sub.clear();
                m_state = State::Sub;
            } else { // NOP, GA, DM and the like: two bytes, nothing to do
                m_state = State::Data;
            }
            break;
        case State::Verb:
            command(m_verb, c, replies);
            m_state = State::Data;
            break;
        case State::Sub:
            if (c == IAC) {
                m_state = State::SubIac;
            } else if (m_sub.size() >= MaxSubnegotiation) {
                m_sub.clear();
                m_state = State::Data;
            } else {
                m_sub += ch;
            }
            break;
        case State::SubIac:
            if (c == SE) {
                endSubnegotiation(replies);
                m_state = State::Data;
            } else if (c == IAC) {
                m_sub += ch;
                m_state = State::Sub;
            } else { // malformed: abandon the subnegotiation
                m_sub.clear();
                m_state = State::Data;
            }
            break;
        }
    }
    return m_out;
}

void TelnetFilter::command(unsigned char verb, unsigned char option, std::string& replies) {
    const auto send = [&](unsigned char v) {
        replies += static_cast<char>(IAC);
        replies += static_cast<char>(v);
        replies += static_cast<char>(option);
    };
    switch (verb) {
    case DO:
        if (option == TerminalType) {
            if (!m_willing[option]) {
                m_willing[option] = true;
                send(WILL);
            }
        } else if (!m_refusedDo[option]) {
            m_refusedDo[option] = true;
            send(WONT);
        }
        break;
    case DONT:
        if (m_willing[option]) {
            m_willing[option] = false;
            send(WONT);
        }
        break;
    case WILL:
        if (!m_refusedWill[option]) {
            m_refusedWill[option] = true;
            send(DONT);
        }
        break;
    default: // WONT: we never asked the far end to do anything
        break;
    }
}

void TelnetFilter::endSubnegotiation(std::string& replies) {
    if (m_sub.size() >= 2 && static_cast<unsigned char>(m_sub[0]) == TerminalType &&
        static_cast<unsigned char>(m_sub[1]) == TtypeSend) {
        replies += terminalTypeReply();
    }
    m_sub.clear();
}

} // namespace rizuzez
