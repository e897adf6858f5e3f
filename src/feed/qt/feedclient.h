// The feed's TCP client: a telnet-style connection to the base-station port, read on the
// window's thread.
#pragma once

#include "feed/telnet.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QTcpSocket;

namespace rizuzez {

// Contract:
// - Connect() blocks until the connection is up or has failed; a connection not up within
//   the timeout (10 s by default, host lookup included) counts as failed. On success
//   connected() is emitted before Connect() returns.
// - Received bytes arrive as dataAvailable() chunks on the client's thread, in order of
//   arrival, telnet commands removed. A chunk is whatever had arrived and may end inside a
//   line. While a handler runs (even if it runs the event loop) no further chunk of the same
//   connection is delivered.
// - Disconnect() closes the connection and emits disconnected() if it was up; it does nothing
//   when not connected. When the far end closes, the bytes it sent first are delivered, then
//   disconnected() is emitted.
// - Any of this may be called from inside a dataAvailable() handler: a socket is never
//   destroyed while one of its signals is being handled.
class FeedClient : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultConnectTimeoutMs = 10000;
    // Bytes buffered while a handler runs the event loop (a question box left open, say);
    // beyond this the socket stops reading and TCP holds the sender back.
    static constexpr qint64 ReadBufferBytes = 8 << 20;
    // Largest chunk handed over at once.
    static constexpr qint64 MaxChunkBytes = 256 << 10;

    explicit FeedClient(QObject* parent = nullptr);
    ~FeedClient() override;

    QString Host = QStringLiteral("127.0.0.1");
    int Port = 23;
    int connectTimeoutMs = DefaultConnectTimeoutMs;

    bool Connect();
    void Disconnect();
    bool isConnected() const { return m_socket != nullptr; }

signals:
    void connected();
    void dataAvailable(const QByteArray& chunk);
    void disconnected();

private:
    class HandlerFrame;
    void deliver(QTcpSocket* socket);
    void deliverAll(QTcpSocket* socket);
    bool deliverOnce(QTcpSocket* socket, qint64 maxBytes);
    void farEndClosed(QTcpSocket* socket);
    void retire(QTcpSocket* socket);
    void purgeRetired();

    QTcpSocket* m_socket = nullptr;
    std::vector<QTcpSocket*> m_retired;
    TelnetFilter m_telnet;
    std::string m_replies;
    int m_depth = 0; // our handlers of socket signals on the stack
    bool m_purgeQueued = false;
};

} // namespace rizuzez
