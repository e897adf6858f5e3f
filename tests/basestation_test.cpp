// The real window fed by a real base station: Debian's dump1090-mutability replaying recorded
// radio samples on a port of its own. Skips when the decoder or the samples are absent.
#include "window_support.h"

#include "feed/qt/feedclient.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstring>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

const std::string SharedDir = std::string(RIZUZEZ_SHARED_DATA) + "/..";
const std::string ReplayPeer = SharedDir + "/replay_peer.sh";
const std::string Samples = std::string(RIZUZEZ_SHARED_DATA) + "/modes1_2m4_uc8.bin";
const std::string RecordedPass = std::string(RIZUZEZ_SHARED_DATA) + "/sbs_modes1_replay.txt";
constexpr const char* Dump1090 = "/usr/bin/dump1090-mutability";

int filledCells(const Coverage& cov) {
    int n = 0;
    for (const auto& band : cov.PlotData) {
        for (const TPlotPoint& c : band) {
            n += c.Dist > 0;
        }
    }
    return n;
}

class BaseStation : public WindowFixture {
protected:
    void SetUp() override {
        if (::access(Dump1090, X_OK) != 0 || ::access(ReplayPeer.c_str(), R_OK) != 0 ||
            ::access(Samples.c_str(), R_OK) != 0) {
            GTEST_SKIP() << "dump1090-mutability or the recorded radio samples are not here";
        }
        WindowFixture::SetUp();
        port = closedPort();
        pidFile = (root / "peer.pid").string();
        QProcess start;
        start.start("bash",
                    {QString::fromStdString(ReplayPeer), QString::number(port), "--loops", "1",
                     "--delay", "1", "--gap", "1", "--pidfile", QString::fromStdString(pidFile),
                     "--log", QString::fromStdString((root / "peer.log").string())});
        ASSERT_TRUE(start.waitForFinished(20000));
        ASSERT_EQ(start.exitCode(), 0) << start.readAllStandardError().toStdString();
        started = true;
    }
    void TearDown() override {
        if (started) {
            QProcess::execute("bash", {QString::fromStdString(ReplayPeer), "stop",
                                       QString::fromStdString(pidFile)});
        }
        if (form) {
            WindowFixture::TearDown();
        }
    }
    quint16 port = 0;
    std::string pidFile;
    bool started = false;
};

TEST_F(BaseStation, CoverageGrowsAsTheCoreDecodesTheSameLines) {
    QByteArray received;
    QObject::connect(form->IdTelnet1, &FeedClient::dataAvailable,
                     [&](const QByteArray& chunk) { received += chunk; });
    std::vector<int> cellsPerTick;
    QObject::connect(form->Timer1, &QTimer::timeout,
                     [&] { cellsPerTick.push_back(filledCells(form->station().coverage)); });
    form->TelnetPort = port;
    pressStart("37.50", "15.07");
    ASSERT_EQ(form->Button1->text(), "STOP");
    ASSERT_TRUE(form->ledbs->value());

    // One pass of the samples takes about ten seconds at their own speed.
    Decoder& d = form->station().decoder;
    std::int32_t last = -1;
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < 40000) {
        QTest::qWait(250);
        if (d.TotalMsgs != last) {
            last = d.TotalMsgs;
            quiet.restart();
        } else if (d.TotalMsgs > 0 && quiet.elapsed() > 4000) {
            break; // the pass is over
        }
    }
    ASSERT_GT(d.TotalMsgs, 0) << "no position message from the base station";
    const Coverage& got = form->station().coverage;
    EXPECT_GT(filledCells(got), 0);
    EXPECT_GT(got.MaxDistance.Dist, 60.0); // the aircraft flew 122 to 123 km out
    EXPECT_LT(got.MaxDistance.Dist, 70.0);
    EXPECT_EQ(form->Edit10->text(), "4D2023");
    ASSERT_GE(cellsPerTick.size(), 3u);
    EXPECT_TRUE(std::is_sorted(cellsPerTick.begin(), cellsPerTick.end()));
    EXPECT_LT(cellsPerTick.front(), cellsPerTick.back());

    // The core, given the very bytes the window received, makes the same coverage.
    Coverage core;
    Decoder coreDecoder(core);
    coreDecoder.setHome(37.50, 15.07);
    coreDecoder.ProcessChunk(std::string_view(received.constData(), received.size()));
    EXPECT_EQ(std::memcmp(&core.PlotData, &got.PlotData, sizeof(PlotTable)), 0);
    EXPECT_EQ(std::memcmp(&core.MaxDistance, &got.MaxDistance, sizeof(TMaxDistance)), 0);
    EXPECT_EQ(coreDecoder.TotalMsgs, d.TotalMsgs);

    // And a recorded pass of the same samples agrees with it. A decoder on a busy machine may
    // miss frames of a live pass (and pair position frames differently), so this is loose;
    // the exact comparison is the one with the received bytes above.
    const std::string recorded = readFile(RecordedPass);
    if (!recorded.empty()) {
        Coverage fromFile;
        Decoder fileDecoder(fromFile);
        fileDecoder.setHome(37.50, 15.07);
        fileDecoder.ProcessChunk(recorded);
        EXPECT_NEAR(got.MaxDistance.Dist, fromFile.MaxDistance.Dist, 1.0);
        EXPECT_LE(filledCells(got), filledCells(fromFile) + 2);
    }

    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->Button1->text(), "START");
    EXPECT_FALSE(form->ledbs->value());
}

} // namespace
