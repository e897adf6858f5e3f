// The feed client against a real TCP server on 127.0.0.1: connection, chunk delivery, telnet
// framing, far-end close and calls made from inside its own handler.
#include "feed/qt/feedclient.h"
#include "qt_peer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

using namespace rizuzez;
using rizuzez::testing::Peer;

namespace {

// Everything the client reported, in order.
struct Record {
    QByteArray data;
    QStringList events; // "connected", "data", "disconnected"
    bool offMainThread = false;
    void attach(FeedClient& c) {
        QObject::connect(&c, &FeedClient::connected, [this] { note("connected"); });
        QObject::connect(&c, &FeedClient::disconnected, [this] { note("disconnected"); });
        QObject::connect(&c, &FeedClient::dataAvailable, [this](const QByteArray& chunk) {
            data += chunk;
            note("data");
        });
    }
    void note(const char* what) {
        offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        if (events.isEmpty() || events.last() != QLatin1String(what)) {
            events << QString::fromLatin1(what);
        }
    }
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) {
        b += static_cast<char>(v);
    }
    return b;
}

int liveSockets(const FeedClient& c) {
    return static_cast<int>(c.findChildren<QTcpSocket*>().size());
}

TEST(FeedClient, ChunksArriveInOrderOnTheMainThreadWithTelnetRemoved) {
    Peer peer;
    FeedClient client;
    Record rec;
    rec.attach(client);
    client.Port = peer.port();
    ASSERT_TRUE(client.Connect());
    EXPECT_EQ(rec.events, QStringList{"connected"}); // before Connect returned
    ASSERT_TRUE(peer.accept());

    QByteArray expected;
    for (int i = 0; i < 200; ++i) {
        const QByteArray line =
            "MSG,3,1,1,4CA1D5,1,,,,,," + QByteArray::number(i) + ",,,52.1,5.1\r\n";
        expected += line;
        // Telnet commands between and inside lines, some cut across two writes.
        peer.send(line.left(7) + bytes({255, 253, 24}) + line.mid(7, 3));
        peer.send(bytes({255}));
        peer.send(bytes({250, 24, 1, 255, 240}) + line.mid(10));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.data.size() >= expected.size(); }, 10000));
    EXPECT_EQ(rec.data, expected);
    EXPECT_FALSE(rec.offMainThread);
    // One WILL TTYPE, then "dumb" for every request.
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer.received().size() >= 3 + 200 * 10; }, 5000));
    EXPECT_TRUE(peer.received().startsWith(bytes({255, 251, 24})));
    EXPECT_EQ(peer.received().count(QByteArray::fromStdString(TelnetFilter::terminalTypeReply())),
              200);
}

TEST(FeedClient, FarEndCloseDeliversTheLastBytesThenReportsOnce) {
    Peer peer;
    FeedClient client;
    Record rec;
    rec.attach(client);
    client.Port = peer.port();
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(peer.accept());
    peer.send("MSG,3,last line\r\n");
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.isConnected(); }, 5000));
    EXPECT_EQ(rec.data, "MSG,3,last line\r\n");
    EXPECT_EQ(rec.events, (QStringList{"connected", "data", "disconnected"}));
    client.Disconnect(); // already gone: nothing more
    QTest::qWait(50);
    EXPECT_EQ(rec.events.size(), 3);
    EXPECT_FALSE(rec.offMainThread);
    EXPECT_EQ(liveSockets(client), 0);
}

TEST(FeedClient, DisconnectIsHarmlessWhenNotConnectedAndReportsOnceWhenConnected) {
    FeedClient client;
    Record rec;
    rec.attach(client);
    client.Disconnect();
    client.Disconnect();
    EXPECT_TRUE(rec.events.isEmpty());

    Peer peer;
    client.Port = peer.port();
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(peer.accept());
    client.Disconnect();
    client.Disconnect();
    EXPECT_EQ(rec.events, (QStringList{"connected", "disconnected"}));
    EXPECT_TRUE(peer.clientGone());
    QTest::qWait(20);
    EXPECT_EQ(liveSockets(client), 0);
}

struct FailCase {
    const char* name;
    QString host;
    int port;
    int timeoutMs;
};

class ConnectFails : public ::testing::TestWithParam<FailCase> {};

TEST_P(ConnectFails, SilentlyWithNothingReported) {
    const FailCase& c = GetParam();
    FeedClient client;
    Record rec;
    rec.attach(client);
    client.Host = c.host;
    client.Port = c.port == 0 ? rizuzez::testing::closedPort() : c.port;
    client.connectTimeoutMs = c.timeoutMs;
    EXPECT_FALSE(client.Connect());
    EXPECT_FALSE(client.isConnected());
    QTest::qWait(20);
    EXPECT_TRUE(rec.events.isEmpty());
    EXPECT_EQ(liveSockets(client), 0);
}

INSTANTIATE_TEST_SUITE_P(
    FeedClient, ConnectFails,
    ::testing::Values(FailCase{"NothingListening", "127.0.0.1", 0, 10000},
                      FailCase{"HostWithTrailingBlank", "127.0.0.1 ", 0, 10000},
                      FailCase{"UnresolvableName", "no-such-host.invalid", 30003, 10000},
                      FailCase{"PortOutOfRange", "127.0.0.1", 70000, 10000}),
    [](const auto& p) { return std::string(p.param.name); });

// A port whose backlog is full drops the handshake: the connect waits and gives up at the
// timeout.
TEST(FeedClient, ConnectGivesUpAtTheTimeout) {
    QTcpServer server;
    server.setListenBacklogSize(0);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
        fillers.back()->waitForConnected(200);
    }
    FeedClient client;
    Record rec;
    rec.attach(client);
    client.Port = server.serverPort();
    client.connectTimeoutMs = 300;
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(client.Connect());
    EXPECT_GE(waited.elapsed(), 250);
    QTest::qWait(20);
    EXPECT_TRUE(rec.events.isEmpty());
    EXPECT_EQ(liveSockets(client), 0);
}

// STOP and START pressed while a chunk is being handled: the old socket goes away only after
// the handler has returned, and the new connection's bytes follow.
TEST(FeedClient, DisconnectAndReconnectFromInsideTheHandler) {
    Peer first, second;
    FeedClient client;
    QByteArray got;
    bool switched = false;
    QObject::connect(&client, &FeedClient::dataAvailable, [&](const QByteArray& chunk) {
        got += chunk;
        if (!switched) {
            switched = true;
            QCoreApplication::processEvents(); // the handler lets the window run
            client.Disconnect();
            client.Port = second.port();
            EXPECT_TRUE(client.Connect());
            EXPECT_TRUE(second.accept());
            second.send("new\n"); // arrives while this handler still runs
            QTest::qWait(20);
        }
    });
    client.Port = first.port();
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(first.accept());
    first.send("old\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return switched; }, 5000));
    first.send("lost\n"); // after the STOP: never delivered
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.endsWith("new\n"); }, 5000));
    EXPECT_EQ(got, "old\nnew\n");
    QTest::qWait(20);
    EXPECT_EQ(liveSockets(client), 1);
}

// The socket swallows a readyRead raised inside its own readyRead handler: bytes that come
// while the first chunk is handled, and nothing after them, must still be delivered.
TEST(FeedClient, BytesArrivingDuringTheFirstHandlerAreDeliveredAfterIt) {
    Peer peer;
    FeedClient client;
    QByteArray got;
    int chunks = 0;
    QObject::connect(&client, &FeedClient::dataAvailable, [&](const QByteArray& chunk) {
        got += chunk;
        if (++chunks == 1) {
            peer.send("second\n");
            QTest::qWait(30);
        }
    });
    client.Port = peer.port();
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(peer.accept());
    peer.send("first\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return got == "first\nsecond\n"; }, 3000)) << got.data();
}

TEST(FeedClient, NoSecondChunkOfAConnectionWhileItsHandlerRunsTheEventLoop) {
    Peer peer;
    FeedClient client;
    int depth = 0, deepest = 0;
    QByteArray got;
    QObject::connect(&client, &FeedClient::dataAvailable, [&](const QByteArray& chunk) {
        ++depth;
        deepest = std::max(deepest, depth);
        got += chunk;
        QTest::qWait(30); // more bytes arrive meanwhile
        --depth;
    });
    client.Port = peer.port();
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(peer.accept());
    QByteArray sent;
    for (int i = 0; i < 20; ++i) {
        const QByteArray part = "line " + QByteArray::number(i) + "\n";
        sent += part;
        peer.send(part);
        QTest::qWait(5);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() == sent.size(); }, 10000));
    EXPECT_EQ(got, sent);
    EXPECT_EQ(deepest, 1);
}

} // namespace
