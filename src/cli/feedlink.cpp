// Non-blocking TCP client for the base-station port.
#include "cli/feedlink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rizuzez::cli {

namespace {
constexpr std::size_t ReadBytes = 64 * 1024;
}

FeedLink::FeedLink(std::string host, std::string port, std::chrono::milliseconds connectTimeout)
    : m_host(std::move(host)), m_port(std::move(port)), m_connectTimeout(connectTimeout) {
    m_where = (m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host) + ":" + m_port;
    m_buffer.resize(ReadBytes);
}

FeedLink::~FeedLink() {
    close();
}

void FeedLink::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_addresses) {
        ::freeaddrinfo(m_addresses);
        m_addresses = nullptr;
        m_next = nullptr;
    }
    m_state = State::Closed;
    m_received = 0;
}

FeedLink::Event FeedLink::fail(const std::string& reason) {
    close();
    m_reason = reason;
    return Event::Failed;
}

short FeedLink::pollEvents() const {
    switch (m_state) {
    case State::Connecting:
        return POLLOUT;
    case State::Up:
        return POLLIN;
    case State::Closed:
        break;
    }
    return 0;
}

FeedLink::Event FeedLink::connect(Clock::time_point now) {
    close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    const int rc = ::getaddrinfo(m_host.c_str(), m_port.c_str(), &hints, &m_addresses);
    if (rc != 0) {
        m_addresses = nullptr;
        return fail(rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc));
    }
    m_next = m_addresses;
    m_reason = "no address";
    return tryAddresses(now);
}

// Starts a connect to the next address; the reason of the previous failure is kept for the
// report when none is left.
FeedLink::Event FeedLink::tryAddresses(Clock::time_point now) {
    while (m_next) {
        const addrinfo* a = m_next;
        m_next = m_next->ai_next;
        m_fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (m_fd < 0) {
            m_reason = std::strerror(errno);
            continue;
        }
        if (::connect(m_fd, a->ai_addr, a->ai_addrlen) == 0) {
            m_state = State::Up;
            return Event::Connected;
        }
        if (errno == EINPROGRESS) {
            m_state = State::Connecting;
            m_deadline = now + m_connectTimeout;
            return Event::None;
        }
        m_reason = std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
    }
    return fail(m_reason);
}

FeedLink::Event FeedLink::step(short revents, Clock::time_point now) {
    m_received = 0;
    if (m_state == State::Connecting) {
        if (revents == 0) {
            if (now < m_deadline) {
                return Event::None;
            }
            m_reason = "timed out";
        } else {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
                err = errno;
            }
            if (err == 0) {
                m_state = State::Up;
                if (m_addresses) {
                    ::freeaddrinfo(m_addresses);
                    m_addresses = nullptr;
                    m_next = nullptr;
                }
                return Event::Connected;
            }
            m_reason = std::strerror(err);
        }
        ::close(m_fd);
        m_fd = -1;
        return tryAddresses(now);
    }
    if (m_state != State::Up || (revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
        return Event::None;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (n > 0) {
            m_received = static_cast<std::size_t>(n);
            return Event::Data;
        }
        if (n == 0) {
            close();
            m_reason = "closed by the far end";
            return Event::Lost;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return Event::None;
        }
        m_reason = std::strerror(errno);
        close();
        return Event::Lost;
    }
}

void FeedLink::send(std::string_view bytes) {
    while (m_state == State::Up && !bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // a full or broken socket: the next read reports what is wrong
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace rizuzez::cli
