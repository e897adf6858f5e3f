// The feed's TCP client over QTcpSocket.
#include "feed/qt/feedclient.h"

#include <QTcpSocket>
#include <QTimer>

namespace rizuzez {

// Marks one of our handlers of socket signals on the stack. The outermost one purges retired
// sockets as it returns.
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

FeedClient::FeedClient(QObject* parent) : QObject(parent) {}

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
    socket->setReadBufferSize(ReadBufferBytes);
    socket->connectToHost(Host, static_cast<quint16>(Port));
    if (!socket->waitForConnected(connectTimeoutMs)) {
        socket->abort();
        retire(socket);
        return false;
    }
    m_telnet.reset();
    m_socket = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { deliver(socket); });
    connect(socket, &QAbstractSocket::stateChanged, this,
            [this, socket](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState) {
                    farEndClosed(socket);
                }
            });
    emit connected();
    // Bytes that came with the connection raise no readyRead of their own.
    if (m_socket == socket && socket->bytesAvailable() > 0) {
        QTimer::singleShot(0, this, [this, p = QPointer<QTcpSocket>(socket)] {
            if (p && p == m_socket) {
                deliver(p);
            }
        });
    }
    return true;
}

void FeedClient::Disconnect() {
    QTcpSocket* socket = m_socket;
    if (!socket) {
        return;
    }
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    retire(socket);
    emit disconnected();
}

void FeedClient::deliver(QTcpSocket* socket) {
    const HandlerFrame frame(*this);
    // One chunk per call; what is left is handed over from a fresh event so that the timer and
    // the window get their turn between chunks. Qt raises readyRead only for new bytes.
    if (deliverOnce(socket, MaxChunkBytes) && socket == m_socket && socket->bytesAvailable() > 0) {
        QTimer::singleShot(0, this, [this, p = QPointer<QTcpSocket>(socket)] {
            if (p && p == m_socket) {
                deliver(p);
            }
        });
    }
}

void FeedClient::deliverAll(QTcpSocket* socket) {
    while (deliverOnce(socket, MaxChunkBytes)) {
    }
}

bool FeedClient::deliverOnce(QTcpSocket* socket, qint64 maxBytes) {
    if (socket != m_socket || socket->bytesAvailable() <= 0) {
        return false;
    }
    const QByteArray raw = socket->read(maxBytes);
    if (raw.isEmpty()) {
        return false;
    }
    m_replies.clear();
    const std::string_view plain = m_telnet.filter(
        std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())), m_replies);
    if (!m_replies.empty()) {
        socket->write(m_replies.data(), static_cast<qint64>(m_replies.size()));
    }
    if (plain.empty()) {
        return true;
    }
    // The filter's own buffer is reused by the next read, which a handler running the event
    // loop may cause: hand over a copy in that (rare) case.
    const QByteArray chunk = plain.data() == raw.constData()
                                 ? raw
                                 : QByteArray(plain.data(), static_cast<qsizetype>(plain.size()));
    emit dataAvailable(chunk);
    return true;
}

void FeedClient::farEndClosed(QTcpSocket* socket) {
    if (socket != m_socket) {
        return;
    }
    const HandlerFrame frame(*this);
    // Whatever the far end sent before closing is still buffered: hand it over first. Inside
    // a handler of this connection the decoder queues it behind the chunk in progress.
    deliverAll(socket);
    if (socket != m_socket) {
        return; // a handler closed or replaced the connection meanwhile
    }
    m_socket = nullptr;
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
