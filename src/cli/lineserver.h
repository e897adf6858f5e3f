// A small TCP server on 127.0.0.1 that sends each client its own paced stream of text lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rizuzez::cli {

// One client's stream: what to send and when.
class LineFeed {
public:
    virtual ~LineFeed() = default;
    // The next line, without line break, and the stream time at which it is due: ms since
    // the client connected, at real speed, never decreasing. false once the stream has ended.
    virtual bool next(std::string& line, std::int64_t& dueMs) = 0;
};

// Makes the stream of a newly connected client; nullptr refuses the client.
using FeedFactory = std::function<std::unique_ptr<LineFeed>()>;
// Receives one line of activity (connections, disconnections) for the operator.
using ServerLog = std::function<void(const std::string&)>;

// SIGINT and SIGTERM ask a running server to stop; SIGPIPE is ignored, so that a client that
// goes away only costs its own connection.
void installStopSignals();

// Single-threaded and poll() driven: every socket is non-blocking, so a slow or stalled client
// never holds up the others, and a client that closes is dropped on its own. Each client gets
// its lines with CR LF, each line at its due time divided by the speed, or as fast as it
// reads them when the speed is 0. When its stream ends, the client's connection is closed
// once everything has been sent.
class LineServer {
public:
    static constexpr int MaxClients = 64;

    // Listens on 127.0.0.1:port (0: any free port); throws std::runtime_error when it cannot.
    LineServer(std::uint16_t port, FeedFactory makeFeed, double speed, ServerLog log);
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // Serves until a stop signal arrives; closes every connection before returning.
    void run();

    std::uint64_t clientsServed() const { return m_clientsServed; }
    std::uint64_t linesSent() const { return m_linesSent; }

private:
    struct Client;
    using TimePoint = std::chrono::steady_clock::time_point;

    void acceptClients();
    // Moves due lines into the client's buffer and sends what the socket takes; false when
    // the client is to be dropped.
    bool pump(Client& c, TimePoint now);
    void drop(std::size_t index, const std::string& why);

    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    FeedFactory m_makeFeed;
    double m_speed;
    ServerLog m_log;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::uint64_t m_clientsServed = 0;
    std::uint64_t m_linesSent = 0;
};

} // namespace rizuzez::cli
