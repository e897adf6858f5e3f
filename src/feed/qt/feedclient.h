// The feed's TCP client: a telnet-style connection to the base-station port, read on the
// window's thread.
#pragma once

#include "feed/telnet.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class QTcpSocket;

namespace rizuzez {

// Contract:
// - Connect() blocks until the connection is up or has failed; a connection not up within
//   the timeout (10 s by default, host lookup included) counts as failed. On success
//   connected() is emitted before Connect() returns.
// - Received bytes arrive as dataAvailable() chunks on the client's thread, in order of
//   arrival, telnet commands removed. A chunk is whatever had arrived and may end inside a
//   line. While a handler runs (even if it runs the event loop) no further chunk is
//   delivered.
// - Disconnect() closes the connection and emits disconnected() if it was up; it does nothing
//   when not connected. When the far end closes, the bytes it sent first are delivered, then
//   disconnected() is emitted.
// - Any of this may be called from inside a dataAvailable() handler: a socket is never
//   destroyed while one of its signals is being handled.
//
// Bytes are gathered: after a chunk, what arrives during the next gatherMs is handed over as
// one chunk. Each wake-up of the window costs far more than the lines it brings, and
// base-station software writes a few lines at a time, so this keeps a steady feed cheap;
// the coverage is drawn once a second anyway. The socket is unbuffered: bytes wait in the
// kernel until read, and its read notifier falls silent after one notice while they wait, so
// a gathering client is not woken by every write.
class FeedClient : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultConnectTimeoutMs = 10000;
    static constexpr int DefaultGatherMs = 50;
    // Largest chunk handed over at once (bytes); more waiting is read from a fresh event.
    static constexpr qint64 MaxChunkBytes = 256 << 10;

    explicit FeedClient(QObject* parent = nullptr);
    ~FeedClient() override;

    QString Host = QStringLiteral("127.0.0.1");
    int Port = 23;
    int connectTimeoutMs = DefaultConnectTimeoutMs;
    int gatherMs = DefaultGatherMs;

    bool Connect();
    void Disconnect();
    bool isConnected() const { return m_socket != nullptr; }

signals:
    void connected();
    void dataAvailable(const QByteArray& chunk);
    void disconnected();

private:
    class HandlerFrame;
    void bytesArrived(QTcpSocket* socket);
    void deliver(QTcpSocket* socket);
    void farEndClosed(QTcpSocket* socket);
    void retire(QTcpSocket* socket);
    void purgeRetired();

    QTcpSocket* m_socket = nullptr;
    std::vector<QTcpSocket*> m_retired;
    TelnetFilter m_telnet;
    std::string m_replies;
    QByteArray m_readBuffer;
    QTimer m_gather;           // running: the last chunk was handed over less than gatherMs ago
    bool m_delivering = false; // a dataAvailable() handler is running
    int m_depth = 0;           // our handlers of socket signals on the stack
    bool m_purgeQueued = false;
};

} // namespace rizuzez
