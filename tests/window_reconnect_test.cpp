// The window's "Reconnect automatically" against a real base-station port that closes and
// comes back: off, the window behaves as before; on, it tries again after growing pauses.
#include "window_support.h"

#include "feed/qt/feedclient.h"

#include <QAction>
#include <QTimer>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

const QColor Red{255, 0, 0};
const QByteArray Position = "MSG,3,1,1,4CA2D6,1,2009/06/21,14:05:00.000,2009/06/21,14:05:00.000,,"
                            "35000,,,38.00000,15.50000,,,0,0,0,0\r\n";

using Reconnect = WindowFixture;

TEST_F(Reconnect, OffTheLampGoesOutAndNothingIsTried) {
    ASSERT_FALSE(form->Reconnect1->isChecked());
    pressStart();
    ASSERT_TRUE(peer.accept());
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ledbs->value(); }, 5000));
    EXPECT_EQ(form->Button1->text(), "STOP");
    EXPECT_FALSE(form->reconnectPending());
    EXPECT_FALSE(peer.server().waitForNewConnection(1500));
}

TEST_F(Reconnect, OnPausesGrowWhileTheStationIsDownAndStartOverOnceItDelivers) {
    form->Reconnect1->trigger();
    pressStart();
    ASSERT_TRUE(peer.accept());
    const quint16 port = peer.port();

    // The station goes away altogether, in the middle of a line.
    peer.send(Position.left(60));
    QTest::qWait(200);
    peer.server().close();
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->reconnectPending(); }, 5000));
    EXPECT_EQ(form->reconnectPauseSeconds(), 1);
    EXPECT_EQ(form->ReconnectTimer->interval(), 1000);
    EXPECT_EQ(form->ledbs->trueColor(), Red); // blinking red: down, will be tried again
    EXPECT_TRUE(form->ledbs->value());
    EXPECT_EQ(form->Button1->text(), "STOP");
    // The first attempt finds nothing listening: the next pause is twice as long.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->reconnectPauseSeconds() == 2; }, 4000));
    EXPECT_EQ(form->ReconnectTimer->interval(), 2000);

    // Back again: the window connects by itself and decodes what comes.
    ASSERT_TRUE(peer.server().listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(peer.accept(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->reconnectPending(); }, 2000));
    EXPECT_EQ(form->ledbs->trueColor(), Lamp::Lime);
    EXPECT_TRUE(form->ledbs->value());
    // The line cut by the loss is not continued by the new connection's first bytes.
    peer.send(Position.mid(60) + Position);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->station().decoder.TotalMsgs > 0; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(form->station().decoder.TotalMsgs, 1);
    EXPECT_EQ(form->Edit10->text(), "4CA2D6");

    // Having delivered, a new loss waits one second again.
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->reconnectPending(); }, 5000));
    EXPECT_EQ(form->reconnectPauseSeconds(), 1);
}

struct CancelCase {
    const char* name;
    std::function<void(TForm1&)> cancel;
};
void PrintTo(const CancelCase& c, std::ostream* os) {
    *os << c.name;
}

class ReconnectCancelled : public WindowFixture,
                           public ::testing::WithParamInterface<CancelCase> {};

TEST_P(ReconnectCancelled, NoAttemptFollowsAndTheLampIsOff) {
    form->Reconnect1->trigger();
    pressStart();
    ASSERT_TRUE(peer.accept());
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->reconnectPending(); }, 5000));
    GetParam().cancel(*form);
    EXPECT_FALSE(form->reconnectPending());
    EXPECT_FALSE(form->ledbs->value());
    EXPECT_EQ(form->ledbs->trueColor(), Lamp::Lime);
    EXPECT_FALSE(peer.server().waitForNewConnection(1500));
}

const CancelCase CancelCases[] = {
    {"Stop", [](TForm1& f) { f.Button1->click(); }},
    {"OptionUnchecked", [](TForm1& f) { f.Reconnect1->trigger(); }},
};

INSTANTIATE_TEST_SUITE_P(Window, ReconnectCancelled, ::testing::ValuesIn(CancelCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
