// The service's TCP connection to the base-station port: non-blocking, driven by poll().
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

struct addrinfo;

namespace rizuzez::cli {

// One connection at a time to host:port. Connecting never blocks the caller for longer than
// the name lookup: the attempt runs through the addresses of the host one after the other,
// each for at most `connectTimeout`, while the caller's poll() loop goes on.
class FeedLink {
public:
    using Clock = std::chrono::steady_clock;
    enum class State { Closed, Connecting, Up };
    // What one step produced.
    enum class Event { None, Connected, Failed, Data, Lost };

    FeedLink(std::string host, std::string port, std::chrono::milliseconds connectTimeout);
    ~FeedLink();
    FeedLink(const FeedLink&) = delete;
    FeedLink& operator=(const FeedLink&) = delete;

    // "host:port" for the log.
    const std::string& where() const { return m_where; }
    State state() const { return m_state; }

    // Starts an attempt (state Closed). Returns Connected, Failed or None (in progress).
    Event connect(Clock::time_point now);
    // The descriptor and the events to poll for; -1 while Closed.
    int fd() const { return m_fd; }
    short pollEvents() const;
    // After poll() (revents of fd(), 0 on a timeout). Connecting: Connected, Failed or None.
    // Up: Data (see data()), Lost or None.
    Event step(short revents, Clock::time_point now);
    // The bytes of the last Data event, valid until the next step.
    std::string_view data() const { return {m_buffer.data(), m_received}; }
    // Why the last Failed or Lost happened.
    const std::string& reason() const { return m_reason; }
    // Deadline of the running attempt (Connecting).
    Clock::time_point deadline() const { return m_deadline; }
    // Sends bytes owed to the far end (telnet replies); best effort, never blocks.
    void send(std::string_view bytes);
    // Closes the connection (any state).
    void close();

private:
    Event tryAddresses(Clock::time_point now);
    Event fail(const std::string& reason);

    std::string m_host, m_port, m_where;
    std::chrono::milliseconds m_connectTimeout;
    State m_state = State::Closed;
    int m_fd = -1;
    addrinfo* m_addresses = nullptr;
    addrinfo* m_next = nullptr;
    Clock::time_point m_deadline;
    std::string m_reason;
    std::string m_buffer;
    std::size_t m_received = 0;
};

} // namespace rizuzez::cli
