// The feed's TCP client over QTcpSocket.
#include "feed/qt/feedclient.h"

#include <QScopedValueRollback>
#include <QTcpSocket>

namespace rizuzez {

// Marks one of our handlers on the stack. The outermost one purges retired sockets as it
// returns.
class FeedClient::HandlerFrame {
public:
    explicit HandlerFrame(FeedClient& client) : m_client(client) { ++m_client.m_depth; }
    ~HandlerFrame() {
        if (--m_client.m_depth == 0 && !m_client.m_retired.empty()) {
            m_client.purgeRetired();
        }
    }
    HandlerFrame(const HandlerFrame&) = delete;
    HandlerFrame& operator=(const HandlerFrame&) = delete;

private:
    FeedClient& m_client;
};

FeedClient::FeedClient(QObject* parent) : QObject(parent) {
    m_gather.setSingleShot(true);
    connect(&m_gather, &QTimer::timeout, this, [this] {
        // Read whether or not a readyRead was seen: one raised inside a handler of the
        // socket's own readyRead is swallowed by the socket.
        if (m_socket && !m_delivering) {
            deliver(m_socket);
        }
    });
}

FeedClient::~FeedClient() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    // Children (live and retired sockets) go with this object.
}

bool FeedClient::Connect() {
    Disconnect();
    if (Port < 1 || Port > 65535) {
        return false;
    }
    auto* socket = new QTcpSocket(this);
    // Unbuffered: bytes stay in the kernel until read, and the socket's read notifier pauses
    // while they wait (see the class comment).
    socket->connectToHost(Host, static_cast<quint16>(Port),
                          QIODevice::ReadWrite | QIODevice::Unbuffered);
    if (!socket->waitForConnected(connectTimeoutMs)) {
        socket->abort();
        retire(socket);
        return false;
    }
    m_telnet.reset();
    m_gather.stop();
    m_socket = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { bytesArrived(socket); });
    connect(socket, &QAbstractSocket::stateChanged, this,
            [this, socket](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState) {
                    farEndClosed(socket);
                }
            });
    emit connected();
    // Bytes that came with the connection raise no readyRead of their own.
    if (m_socket == socket && socket->bytesAvailable() > 0) {
        m_gather.start(0);
    }
    return true;
}

void FeedClient::Disconnect() {
    QTcpSocket* socket = m_socket;
    if (!socket) {
        return;
    }
    m_socket = nullptr;
    m_gather.stop();
    socket->disconnect(this);
    socket->abort();
    retire(socket);
    emit disconnected();
}

void FeedClient::bytesArrived(QTcpSocket* socket) {
    if (socket != m_socket) {
        return;
    }
    // Within the gather time, or inside a handler: the timer picks the bytes up.
    if (!m_gather.isActive() && !m_delivering) {
        deliver(socket);
    }
}

void FeedClient::deliver(QTcpSocket* socket) {
    const HandlerFrame frame(*this);
    if (m_readBuffer.size() != MaxChunkBytes) {
        m_readBuffer.resize(MaxChunkBytes);
    }
    const qint64 n = socket->read(m_readBuffer.data(), MaxChunkBytes);
    if (n > 0) {
        const QByteArray raw(m_readBuffer.constData(), static_cast<qsizetype>(n));
        m_replies.clear();
        const std::string_view plain = m_telnet.filter(
            std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())), m_replies);
        if (!m_replies.empty()) {
            socket->write(m_replies.data(), static_cast<qint64>(m_replies.size()));
        }
        if (!plain.empty()) {
            // The filter's own buffer is reused by the next read, which a handler running
            // the event loop may cause: hand over a copy in that (rare) case.
            const QByteArray chunk =
                plain.data() == raw.constData()
                    ? raw
                    : QByteArray(plain.data(), static_cast<qsizetype>(plain.size()));
            const QScopedValueRollback<bool> busy(m_delivering, true);
            emit dataAvailable(chunk);
        }
    }
    if (socket != m_socket) {
        // Closed or replaced by a handler; a new connection's bytes that came meanwhile
        // waited for the handler to return.
        if (m_socket && !m_gather.isActive()) {
            m_gather.start(0);
        }
        return;
    }
    // An unbuffered socket learns of the far end's close from the read itself.
    if (n < 0 || socket->state() != QAbstractSocket::ConnectedState) {
        farEndClosed(socket);
        return;
    }
    if (n == MaxChunkBytes) {
        m_gather.start(0); // more is waiting: read it from a fresh event, without delay
    } else if (n > 0) {
        m_gather.start(gatherMs);
    }
    // Nothing came within the gather time: the next byte raises readyRead again (the read
    // has re-armed the socket's notifier).
}

void FeedClient::farEndClosed(QTcpSocket* socket) {
    if (socket != m_socket) {
        return;
    }
    const HandlerFrame frame(*this);
    m_socket = nullptr;
    m_gather.stop();
    socket->disconnect(this);
    retire(socket);
    emit disconnected();
}

void FeedClient::retire(QTcpSocket* socket) {
    m_retired.push_back(socket);
    if (!m_purgeQueued) {
        m_purgeQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_purgeQueued = false;
            // From inside a handler (a nested event loop) the outermost handler purges as
            // it returns.
            if (m_depth == 0) {
                purgeRetired();
            }
        });
    }
}

void FeedClient::purgeRetired() {
    // Called with no handler of ours on the stack, or by the outermost one as it returns:
    // either way no further event is processed before the socket's own code is left, so a
    // deferred delete cannot catch a socket inside its own signal.
    std::vector<QTcpSocket*> retired;
    retired.swap(m_retired);
    for (QTcpSocket* s : retired) {
        s->deleteLater();
    }
}

} // namespace rizuzez
