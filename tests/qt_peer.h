// A base-station port for tests: a real QTcpServer on 127.0.0.1 driven from the test's thread.
#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace rizuzez::testing {

class Peer {
public:
    Peer() { m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    bool listening() const { return m_server.isListening(); }

    // Takes the client's connection (already made in the kernel's backlog).
    bool accept(int ms = 5000) {
        if (!QTest::qWaitFor([this] { return m_server.hasPendingConnections(); }, ms)) {
            return false;
        }
        m_conn = m_server.nextPendingConnection();
        QObject::connect(m_conn, &QTcpSocket::readyRead,
                         [this] { m_received += m_conn->readAll(); });
        return true;
    }
    void send(const QByteArray& bytes) {
        m_conn->write(bytes);
        m_conn->flush();
    }
    void close() {
        m_conn->flush();
        m_conn->disconnectFromHost();
    }
    // True once the client has closed its end.
    bool clientGone(int ms = 5000) {
        return QTest::qWaitFor(
            [this] { return m_conn->state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    const QByteArray& received() const { return m_received; }
    QTcpSocket* connection() { return m_conn; }
    QTcpServer& server() { return m_server; }

private:
    QTcpServer m_server;
    QTcpSocket* m_conn = nullptr;
    QByteArray m_received;
};

// A port on which nothing listens (taken, then given back).
inline quint16 closedPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 p = s.serverPort();
    s.close();
    return p;
}

} // namespace rizuzez::testing
