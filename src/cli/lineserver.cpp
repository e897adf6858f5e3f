// A small poll()-driven TCP server on 127.0.0.1 sending paced text lines to each client.
#include "cli/lineserver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace rizuzez::cli {
namespace {

// Bytes queued for one client before its feed is asked for more lines: large enough for
// full-speed writes, small enough that a stalled client holds little memory.
constexpr std::size_t BufferBytes = 64 * 1024;
// Rounds of refilling and sending per client in one pass of the loop; the last round only
// refills, so that a client with more to read is polled for POLLOUT.
constexpr int RoundsPerPass = 4;

int g_wakePipe[2] = {-1, -1};
volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int) {
    g_stop = 1;
    const int saved = errno;
    const char c = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &c, 1);
    errno = saved;
}

std::string errorText(int err) {
    return std::strerror(err);
}

} // namespace

void installStopSignals() {
    if (g_wakePipe[0] < 0) {
        if (::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            throw std::runtime_error("cannot create a pipe: " + errorText(errno));
        }
    }
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

struct LineServer::Client {
    int fd = -1;
    std::string peer;
    std::unique_ptr<LineFeed> feed;
    TimePoint connected;
    std::string out; // bytes not yet sent start at outPos
    std::size_t outPos = 0;
    std::string held; // the next line, not yet due
    std::int64_t heldDue = 0;
    bool haveHeld = false;
    bool ended = false;
    std::uint64_t lines = 0;

    std::size_t pending() const { return out.size() - outPos; }
};

LineServer::LineServer(std::uint16_t port, FeedFactory makeFeed, double speed, ServerLog log)
    : m_makeFeed(std::move(makeFeed)), m_speed(speed), m_log(std::move(log)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        throw std::runtime_error("cannot create a socket: " + errorText(errno));
    }
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 16) != 0) {
        const int err = errno;
        ::close(m_listenFd);
        m_listenFd = -1;
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 errorText(err));
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
}

LineServer::~LineServer() {
    for (const auto& c : m_clients) {
        ::close(c->fd);
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

void LineServer::run() {
    std::vector<pollfd> fds;
    char scratch[4096];
    while (!g_stop) {
        const TimePoint now = std::chrono::steady_clock::now();
        // Send what is due; work out how long nothing is.
        int timeoutMs = -1;
        for (std::size_t i = m_clients.size(); i-- > 0;) {
            Client& c = *m_clients[i];
            if (!pump(c, now)) {
                continue; // dropped by pump
            }
            if (c.pending() == 0 && c.haveHeld && m_speed > 0) {
                const double waitMs =
                    static_cast<double>(c.heldDue) / m_speed -
                    std::chrono::duration<double, std::milli>(now - c.connected).count();
                const int ms = static_cast<int>(std::clamp(std::ceil(waitMs), 0.0, 60'000.0));
                timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
            } else if (c.pending() == 0 && c.ended) {
                drop(i, "stream ended");
            }
        }

        fds.clear();
        fds.push_back({g_wakePipe[0], POLLIN, 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        for (const auto& c : m_clients) {
            fds.push_back({c->fd, static_cast<short>(POLLIN | (c->pending() ? POLLOUT : 0)), 0});
        }
        const int n = ::poll(fds.data(), fds.size(), timeoutMs);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("poll failed: " + errorText(errno));
        }
        if (fds[0].revents) {
            while (::read(g_wakePipe[0], scratch, sizeof scratch) > 0) {
            }
        }
        // Anything a client sends is read and ignored; end of file or an error drops it.
        // Walk backwards so that drops do not disturb the indices still to come.
        for (std::size_t i = m_clients.size(); i-- > 0;) {
            const short re = fds[i + 2].revents;
            if (!(re & (POLLIN | POLLERR | POLLHUP))) {
                continue;
            }
            const ssize_t got = ::recv(m_clients[i]->fd, scratch, sizeof scratch, MSG_DONTWAIT);
            if (got == 0) {
                drop(i, "closed by the client");
            } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                drop(i, errorText(errno));
            }
        }
        if (fds[1].revents & POLLIN) {
            acceptClients();
        }
    }
    for (std::size_t i = m_clients.size(); i-- > 0;) {
        drop(i, "server stopped");
    }
}

void LineServer::acceptClients() {
    for (;;) {
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return; // EAGAIN, or a connection that went away before it was accepted
        }
        char ip[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
        const std::string peer = std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port));
        if (m_clients.size() >= MaxClients) {
            ::close(fd);
            m_log("refused " + peer + ": " + std::to_string(MaxClients) +
                  " clients connected already");
            continue;
        }
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->peer = peer;
        c->connected = std::chrono::steady_clock::now();
        c->feed = m_makeFeed();
        if (!c->feed) {
            ::close(fd);
            m_log("refused " + peer + ": no stream to serve");
            continue;
        }
        m_clients.push_back(std::move(c));
        ++m_clientsServed;
        m_log("client " + peer + " connected (" + std::to_string(m_clients.size()) + " connected)");
    }
}

bool LineServer::pump(Client& c, TimePoint now) {
    const double elapsedMs = std::chrono::duration<double, std::milli>(now - c.connected).count();
    for (int round = 0; round < RoundsPerPass; ++round) {
        if (c.outPos >= BufferBytes || c.outPos == c.out.size()) {
            c.out.erase(0, c.outPos);
            c.outPos = 0;
        }
        while (c.pending() < BufferBytes) {
            if (!c.haveHeld) {
                if (c.ended || !c.feed->next(c.held, c.heldDue)) {
                    c.ended = true;
                    break;
                }
                c.haveHeld = true;
            }
            if (m_speed > 0 && static_cast<double>(c.heldDue) / m_speed > elapsedMs) {
                break;
            }
            c.out += c.held;
            c.out += "\r\n";
            c.haveHeld = false;
            ++c.lines;
            ++m_linesSent;
        }
        if (c.pending() == 0 || round == RoundsPerPass - 1) {
            return true; // what is left waits for the socket to take it (POLLOUT)
        }
        const ssize_t sent =
            ::send(c.fd, c.out.data() + c.outPos, c.pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return true;
            }
            for (std::size_t i = 0; i < m_clients.size(); ++i) {
                if (m_clients[i].get() == &c) {
                    drop(i, errorText(errno));
                    break;
                }
            }
            return false;
        }
        c.outPos += static_cast<std::size_t>(sent);
        if (c.pending() != 0) {
            return true; // the socket is full: wait for POLLOUT
        }
    }
    return true;
}

void LineServer::drop(std::size_t index, const std::string& why) {
    Client& c = *m_clients[index];
    ::close(c.fd);
    // Lines handed to the socket; the last of them may not have reached a client that left.
    m_log("client " + c.peer + " disconnected after " + std::to_string(c.lines) + " lines (" + why +
          ")");
    m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(index));
}

} // namespace rizuzez::cli
