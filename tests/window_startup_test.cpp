// The real window's start-up and closing against real files in a temporary program folder:
// the data folder and the one-time move, the configuration into the controls, the reload and
// clean-up questions, and what closing and "Exit" write.
#include "window_support.h"

#include "app/config.h"
#include "app/qt/panelbar.h"
#include "app/qt/systray.h"
#include "coverage/plotfiles.h"
#include "feed/qt/feedclient.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <ostream>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

// A program folder with nothing in it yet; the window is made by start().
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_'); // parameterised names
        root = fs::temp_directory_path() /
               ("rizuzez_startup_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        form.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // Constructs the window, runs start-up and shows it, as the program entry does.
    ObservedForm& start() {
        form.reset();
        TForm1::Setup s;
        s.exeDir = QString::fromStdString(root.string());
        s.userDataDir = QString::fromStdString((root / "user").string());
        s.clock = &clock;
        s.dialogs = &dialogs;
        s.locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        form = std::make_unique<ObservedForm>(s);
        dialogs.form = form.get();
        form->FormCreate();
        form->show();
        return *form;
    }
    fs::path dataDir() const { return root / "rizuzez1"; }
    static void write(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    // Default plot files holding coverage, as an earlier run left them.
    static void savePlot(const fs::path& dir, const Coverage& coverage) {
        fs::create_directories(dir);
        const SaveResult r =
            SavePlotFiles(coverage, dir.string() + "/", "", {2009, 6, 20, 10, 0, 0, 0});
        ASSERT_TRUE(r.failed.empty());
    }

    fs::path root;
    ManualClock clock;
    ScriptedDialogs dialogs;
    std::unique_ptr<ObservedForm> form;
};

// 40 cells out to 330 NM, 12 of them (310 to 330 NM) beyond 300 NM; the furthest due north.
Coverage sampleCoverage() {
    Coverage c;
    for (int i = 0; i < 40; ++i) {
        const double dist = i < 12 ? 310.0 + i : 100.0 + i;
        c.PlotData[i % 4][i * 9] = {dist, 37.5 + dist / 60.0, 15.07};
    }
    c.MaxDistance = {321.0, 0.0, 42.85, 15.07, 35000.0};
    c.texts = {"42.85", "15.07", "35000", "321.0", "0.0", "4CA2D6"};
    return c;
}

// The default plot files of a folder, as the next start would reload them.
Coverage loadDefault(const fs::path& dir) {
    struct Yes final : PlotFileQuestions {
        bool confirmReload() override { return true; }
        std::optional<std::string> choosePlotFile(const std::string&) override { return {}; }
    } yes;
    Coverage c;
    LoadPlotFiles(c, dir.string() + "/", "", yes);
    return c;
}

bool sameBytes(const PlotTable& a, const PlotTable& b) {
    return std::memcmp(&a, &b, sizeof(PlotTable)) == 0;
}

TEST_F(Startup, FirstStartMovesTheOldSettingsInAndAppliesThem) {
    write(root / "rizuzez.ini", "[telnet]\nip=10.0.0.7\nport=30104\n"
                                "[window]\ntop=120\nleft=140\n"
                                "[homestation]\nlatitude=37.50\nlongitude=15.07\n"
                                "[filter]\nrange=13\nlogfile=1\n"
                                "[display]\nrange=120\nband=2\n"
                                "[auto]\nevery6hrs=1\nsaveoutfile=0\nclearonsave=1\n"
                                "[feed]\nreconnect=1\n");
    write(root / "notes.txt", "stays\n");
    TForm1& f = start();

    EXPECT_TRUE(fs::is_directory(dataDir()));
    EXPECT_FALSE(fs::exists(root / "rizuzez.ini"));
    EXPECT_TRUE(fs::exists(dataDir() / "rizuzez.ini"));
    EXPECT_TRUE(fs::exists(root / "notes.txt"));
    EXPECT_EQ(readFile(dataDir() / "rizuzez1.blacklist.txt").substr(0, 22),
              "//Rizuzez Blacklist - ");
    EXPECT_EQ(f.station().decoder.Blacklist,
              "400C7D  //THE FAMOUS G-STRI, THE MOTHER OF ALL SPIKES\r\n");
    EXPECT_EQ(f.station().DataDir, dataDir().string() + "/");

    EXPECT_EQ(f.Edit2->text(), "10.0.0.7");
    EXPECT_EQ(f.TelnetPort, 30104);
    EXPECT_EQ(f.Edit1->text(), "30104");
    EXPECT_EQ(f.pos(), QPoint(140, 120));
    EXPECT_EQ(f.Edit3->text(), "37.50");
    EXPECT_EQ(f.Edit4->text(), "15.07");
    EXPECT_EQ(f.ComboBox1->currentText(), "300");
    EXPECT_EQ(f.station().decoder.FilterRange, 300.0);
    EXPECT_TRUE(f.CheckBox1->isChecked());
    EXPECT_EQ(f.tbrange->value(), 120);
    EXPECT_EQ(f.Label15->text(), "Range: 120 NM");
    EXPECT_EQ(f.tbalt->value(), 2);
    EXPECT_FALSE(f.Noautosave1->isChecked());
    EXPECT_TRUE(f.Saveevery6hours1->isChecked());
    EXPECT_TRUE(f.Saveplotfile1->isChecked());
    EXPECT_FALSE(f.SaveOUTfile2->isChecked());
    EXPECT_TRUE(f.clear2->isChecked());
    EXPECT_TRUE(f.Reconnect1->isChecked());
    EXPECT_EQ(f.StatusBar1->text(0), "AUTO 6HRS");
    EXPECT_EQ(f.StatusBar1->text(1), "PLOT");
    EXPECT_EQ(f.StatusBar1->text(2), "");
    EXPECT_EQ(f.StatusBar1->text(3), "CLR");
    EXPECT_FALSE(f.FeedRunning());
    EXPECT_TRUE(dialogs.asked.empty()); // no plot to reload, nothing to clean
}

TEST_F(Startup, NoConfigurationGivesTheDefaults) {
    // The range bar stands at 300 until start-up sets it.
    TForm1::Setup s;
    s.exeDir = QString::fromStdString(root.string());
    s.clock = &clock;
    s.dialogs = &dialogs;
    {
        TForm1 unstarted(s);
        EXPECT_EQ(unstarted.tbrange->value(), 300);
    }
    TForm1& f = start();
    Settings defaults;
    defaults.top = f.pos().y();
    defaults.left = f.pos().x();
    EXPECT_EQ(f.settingsFromControls(), defaults);
    EXPECT_EQ(f.pos(), QPoint(100, 100));
    EXPECT_EQ(f.Edit1->text(), "30003");
    EXPECT_EQ(f.StatusBar1->text(0), "AUTO OFF");
    EXPECT_FALSE(f.Reconnect1->isChecked());
}

struct PlaceCase {
    const char* name;
    int left, top;
    QPoint expected;
};
void PrintTo(const PlaceCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowPlace : public Startup, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(WindowPlace, StoredPlaceOrTheDefaultWhenOnNoScreen) {
    const PlaceCase& c = GetParam();
    write(dataDir() / "rizuzez.ini",
          "[window]\nleft=" + std::to_string(c.left) + "\ntop=" + std::to_string(c.top) + "\n");
    EXPECT_EQ(start().pos(), c.expected);
}

const PlaceCase PlaceCases[] = {
    {"Stored", 30, 40, {30, 40}},
    {"BeyondTheScreen", 20000, 15000, {100, 100}},
    {"LeftOfTheScreen", -5000, 50, {100, 100}},
};

INSTANTIATE_TEST_SUITE_P(Window, WindowPlace, ::testing::ValuesIn(PlaceCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Startup, FallbackPositionFillsBothBoxes) {
    write(dataDir() / "rizuzez.ini", "[homestation]\nlongitude=9.99\n");
    write(dataDir() / "basestation.ini", "[homestation]\nlatitude=51.47\nlongitude=-0.46\n");
    TForm1& f = start();
    EXPECT_EQ(f.Edit3->text(), "51.47");
    EXPECT_EQ(f.Edit4->text(), "-0.46");
}

TEST_F(Startup, ProgramFolderTakingNoFilesUsesTheUserFolder) {
    write(root / "rizuzez1", "a file in the way of the data folder\n");
    write(root / "rizuzez.ini", "[telnet]\nport=30222\n");
    TForm1& f = start();
    EXPECT_EQ(f.station().DataDir, (root / "user" / "rizuzez1").string() + "/");
    EXPECT_TRUE(fs::exists(root / "user" / "rizuzez1" / "rizuzez1.blacklist.txt"));
    EXPECT_EQ(f.TelnetPort, 30222); // the old settings moved there
    EXPECT_TRUE(dialogs.asked.empty());
    fs::create_directories(root / "user" / "outlines");
    f.Saveoutfile1->trigger(); // outline files go beside the user data folder
    EXPECT_TRUE(fs::exists(root / "user" / "outlines" / "rizuzez.out"));
}

TEST_F(Startup, NowhereToKeepFilesIsTold) {
    write(root / "rizuzez1", "in the way\n");
    write(root / "user", "in the way too\n");
    start();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "error");
    EXPECT_TRUE(dialogs.asked[0].text.contains("rizuzez1")) << dialogs.asked[0].text.toStdString();
}

struct ReloadCase {
    const char* name;
    const char* filter;       // "filter"/"range" index
    std::deque<bool> answers; // reload, then clean-up
    int questions;
    bool reloaded, cleaned;
};
void PrintTo(const ReloadCase& c, std::ostream* os) {
    *os << c.name;
}

class Reload : public Startup, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(Reload, QuestionsBeforeTheWindowShowsAndTheirAnswers) {
    const ReloadCase& c = GetParam();
    const Coverage saved = sampleCoverage();
    savePlot(dataDir(), saved);
    write(dataDir() / "rizuzez.ini", std::string("[filter]\nrange=") + c.filter + "\n");
    dialogs.answers = c.answers;
    TForm1& f = start();

    ASSERT_EQ(static_cast<int>(dialogs.asked.size()), c.questions);
    const Asked& reload = dialogs.asked[0];
    EXPECT_EQ(reload.kind, "question");
    EXPECT_EQ(reload.caption, "rizuzez1");
    EXPECT_EQ(reload.text, "Do you want to reload the last saved radar plot?");
    EXPECT_EQ(reload.icon, Dialogs::Icon::Question);
    EXPECT_FALSE(reload.windowShown);
    if (c.questions > 1) {
        const Asked& cleanUp = dialogs.asked[1];
        EXPECT_EQ(cleanUp.caption, "Rizuzez-1");
        EXPECT_EQ(cleanUp.text, "12 values exceeding 300 NM range. Clean up?");
        EXPECT_EQ(cleanUp.icon, Dialogs::Icon::Warning);
        EXPECT_FALSE(cleanUp.windowShown);
    }

    const Coverage& got = f.station().coverage;
    if (!c.reloaded) {
        EXPECT_TRUE(sameBytes(got.PlotData, PlotTable{}));
        EXPECT_EQ(f.Edit10->text(), "");
        return;
    }
    EXPECT_EQ(f.Edit10->text(), "4CA2D6");
    EXPECT_EQ(f.Edit5->text(), "42.85");
    if (!c.cleaned) {
        EXPECT_TRUE(sameBytes(got.PlotData, saved.PlotData));
        EXPECT_EQ(got.MaxDistance.Dist, 321.0);
        return;
    }
    int beyond = 0, kept = 0;
    for (const auto& band : got.PlotData) {
        for (const TPlotPoint& cell : band) {
            beyond += cell.Dist > 300.0;
            kept += cell.Dist > 0.0;
        }
    }
    EXPECT_EQ(beyond, 0);
    EXPECT_EQ(kept, 28);
    EXPECT_EQ(got.MaxDistance.Dist, 139.0); // the furthest cell left
}

const ReloadCase ReloadCases[] = {
    {"No", "13", {false}, 1, false, false},
    {"YesNeverFilterAsksNoCleanUp", "0", {true}, 1, true, false},
    {"YesThenCleanUpYes", "13", {true, true}, 2, true, true},
    {"YesThenCleanUpNo", "13", {true, false}, 2, true, false},
};

INSTANTIATE_TEST_SUITE_P(Window, Reload, ::testing::ValuesIn(ReloadCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Closing -------------------------------------------------------------------------------

TEST_F(Startup, ClosingWhileRunningWritesTheSettingsAndThePlot) {
    Peer peer;
    write(dataDir() / "rizuzez.ini", "; the station in the garden\n[telnet]\nport=" +
                                         std::to_string(peer.port()) + "\n[mine]\nkept=1\n");
    TForm1& f = start();
    f.Saveevery12hours1->trigger();
    f.tbrange->setValue(180);
    f.tbalt->setValue(1);
    f.ComboBox1->setCurrentIndex(3);
    f.move(60, 70);
    f.Edit3->setText("37.50");
    f.Edit4->setText("15.07");
    f.Button1->click();
    ASSERT_TRUE(f.FeedRunning());
    ASSERT_TRUE(peer.accept());
    peer.send(QByteArray::fromStdString(readFile(samplePath("modes1_sicily.sbs"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.station().coverage.MaxDistance.Dist > 0; }, 5000));
    f.Edit1->setReadOnly(false);
    f.Edit1->setText("30x99"); // written as typed

    f.close();
    EXPECT_FALSE(f.ledbs->value());
    EXPECT_TRUE(peer.clientGone());
    EXPECT_FALSE(f.station().SavingInProgress);
    EXPECT_TRUE(dialogs.asked.empty());

    const std::string ini = readFile(dataDir() / "rizuzez.ini");
    EXPECT_EQ(ini.rfind("; the station in the garden", 0), 0u) << ini;
    EXPECT_NE(ini.find("kept=1"), std::string::npos);
    EXPECT_NE(ini.find("port=30x99\n"), std::string::npos);
    const Settings back = readSettings((dataDir() / "rizuzez.ini").string()).settings;
    EXPECT_EQ(back.left, 60);
    EXPECT_EQ(back.top, 70);
    EXPECT_EQ(back.displayRange, 180);
    EXPECT_EQ(back.band, 1);
    EXPECT_EQ(back.filterIndex, 3);
    EXPECT_TRUE(back.autoSave.Saveevery12hours1);
    EXPECT_FALSE(back.autoSave.Noautosave1);
    EXPECT_EQ(back.latitude, "37.50");

    const Coverage loaded = loadDefault(dataDir());
    EXPECT_TRUE(sameBytes(loaded.PlotData, f.station().coverage.PlotData));
    EXPECT_EQ(readFile(dataDir() / "rizuzez1.hex"), f.Edit10->text().toStdString() + "\r\n");
}

TEST_F(Startup, ExitWritesNothing) {
    TForm1& f = start();
    f.Edit1->setText("31000");
    f.station().coverage.PlotData[0][0].Dist = 50.0;
    QTimer::singleShot(0, f.Exit1, &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    form.reset();
    EXPECT_FALSE(fs::exists(dataDir() / "rizuzez.ini"));
    EXPECT_FALSE(fs::exists(dataDir() / "rizuzez1.dat"));
}

struct BlockedCase {
    const char* name;
    std::function<void(const fs::path& ini)> block;
    bool needsNonRoot; // root writes through file permissions
};
void PrintTo(const BlockedCase& c, std::ostream* os) {
    *os << c.name;
}

class BlockedConfig : public Startup, public ::testing::WithParamInterface<BlockedCase> {};

TEST_P(BlockedConfig, PlotIsSavedAndTheFailureTold) {
    const BlockedCase& c = GetParam();
    if (c.needsNonRoot && ::geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    TForm1& f = start();
    const fs::path ini = dataDir() / "rizuzez.ini";
    c.block(ini);
    f.station().coverage.PlotData[2][90] = {123.0, 37.0, 17.5};
    f.close();

    EXPECT_FALSE(f.shutdownResult().config.ok);
    ASSERT_EQ(fs::file_size(dataDir() / "rizuzez1.dat"), 34560u);
    const Coverage loaded = loadDefault(dataDir());
    EXPECT_EQ(loaded.PlotData[2][90].Dist, 123.0);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "error");
    EXPECT_TRUE(dialogs.asked[0].text.startsWith("The settings were not saved"));
    std::error_code ec;
    fs::permissions(ini, fs::perms::owner_all, fs::perm_options::add, ec);
}

const BlockedCase BlockedCases[] = {
    {"DirectoryInTheWay", [](const fs::path& ini) { fs::create_directories(ini / "x"); }, false},
    {"ReadOnlyFile",
     [](const fs::path& ini) {
         std::ofstream(ini) << "[telnet]\nport=30003\n";
         fs::permissions(ini, fs::perms::owner_read);
     },
     true},
};

INSTANTIATE_TEST_SUITE_P(Window, BlockedConfig, ::testing::ValuesIn(BlockedCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Minimising without a notification area ------------------------------------------------

TEST_F(Startup, WithoutANotificationAreaMinimiseIsPlain) {
    if (TSystrayStuff::trayAvailable()) {
        GTEST_SKIP() << "this desktop has a notification area";
    }
    TForm1& f = start();
    f.showMinimized();
    QTest::qWait(50);
    EXPECT_FALSE(f.SystrayStuff->IconShown());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isMinimized());
}

TEST_F(Startup, TrayIconStepsAddAndRemoveOnceAndRestoreOnLeftClicksOnly) {
    TForm1& f = start();
    TSystrayStuff& tray = *f.SystrayStuff;
    EXPECT_EQ(tray.trayIcon()->toolTip(), "Rizuzez");
    EXPECT_FALSE(tray.trayIcon()->icon().isNull());
    tray.TaskBarAddIcon();
    tray.TaskBarAddIcon();
    EXPECT_TRUE(tray.IconShown());
    f.hide();
    tray.TrayIconMessage(QSystemTrayIcon::Context);
    tray.TrayIconMessage(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(tray.IconShown());
    tray.TrayIconMessage(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(tray.IconShown());
    tray.TaskBarRemoveIcon(); // nothing shown: nothing happens
    EXPECT_FALSE(tray.IconShown());
}

} // namespace
