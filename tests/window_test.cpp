// The real main window under a QApplication: layout, menu, START/STOP against a real TCP
// server, the tick, the menu commands on real files, and what may happen mid-chunk.
#include "window_support.h"

#include "app/qt/panelbar.h"
#include "app/qt/plotview.h"
#include "coverage/outline.h"
#include "feed/qt/feedclient.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <cstring>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

QColor baseColour(const QLineEdit* e) {
    return e->palette().color(QPalette::Base);
}

// Decodes bytes through the core alone, as the window's feed would.
Coverage decodeWithCore(const std::string& bytes, double lat, double lon, double filter = 999.0) {
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(lat, lon);
    dec.FilterRange = filter;
    dec.ProcessChunk(bytes);
    return cov;
}

// How many positions of bytes reach the table.
int positionsWithCore(const std::string& bytes, double lat, double lon) {
    struct Count final : FeedSink {
        int n = 0;
        void positionRecorded() override { ++n; }
    } count;
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(lat, lon);
    dec.setSink(&count);
    dec.ProcessChunk(bytes);
    return count.n;
}

bool sameTable(const PlotTable& a, const PlotTable& b) {
    return std::memcmp(&a, &b, sizeof(PlotTable)) == 0;
}

// ---- Layout ------------------------------------------------------------------------------

using Layout = WindowFixture;

TEST_F(Layout, ClientAreaIsFixedAt448By393) {
    EXPECT_EQ(form->centralWidget()->size(), QSize(448, 393));
    const QSize outer = form->size();
    form->resize(800, 600);
    form->showMaximized();
    QTest::qWait(50);
    EXPECT_EQ(form->centralWidget()->size(), QSize(448, 393));
    EXPECT_EQ(form->size(), outer);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowTitle(), "Rizuzez");
}

TEST_F(Layout, FontIsLucidaConsoleOrTheFixedFontAt8Points) {
    const bool lucida = QFontDatabase::families().contains("Lucida Console");
    const QString family = lucida ? QString("Lucida Console")
                                  : QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    for (QWidget* w :
         std::initializer_list<QWidget*>{form.get(), form->Edit1, form->Button1, form->Label15}) {
        EXPECT_EQ(w->font().family(), family);
        EXPECT_EQ(w->font().pointSize(), 8);
    }
}

struct Place {
    const char* name;
    std::function<QWidget*(TForm1&)> widget;
    QRect geometry; // width/height 0: only the position is fixed
    const char* text;
};

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* c = qobject_cast<QCheckBox*>(w))
        return c->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return {};
}

const Place Places[] = {
    {"Label2", [](TForm1& f) { return f.Label2; }, {6, 10, 0, 0}, "IP BS"},
    {"Edit2", [](TForm1& f) { return f.Edit2; }, {64, 6, 121, 19}, "127.0.0.1"},
    {"Label1", [](TForm1& f) { return f.Label1; }, {6, 34, 0, 0}, "Port BS"},
    {"Edit1", [](TForm1& f) { return f.Edit1; }, {64, 30, 51, 19}, "30003"},
    {"ledbs", [](TForm1& f) -> QWidget* { return f.ledbs; }, {126, 32, 16, 16}, ""},
    {"Label3", [](TForm1& f) { return f.Label3; }, {6, 64, 0, 0}, "Lat"},
    {"Edit3", [](TForm1& f) { return f.Edit3; }, {64, 58, 121, 19}, ""},
    {"Label4", [](TForm1& f) { return f.Label4; }, {6, 88, 0, 0}, "Long"},
    {"Edit4", [](TForm1& f) { return f.Edit4; }, {64, 84, 121, 19}, ""},
    {"Flights", [](TForm1& f) { return f.Flights; }, {8, 112, 203, 145}, "Max distance"},
    {"Label18", [](TForm1& f) { return f.Label18; }, {8, 18, 0, 0}, "Mode-S ID"},
    {"Edit10", [](TForm1& f) { return f.Edit10; }, {77, 14, 85, 19}, ""},
    {"Label5", [](TForm1& f) { return f.Label5; }, {8, 42, 0, 0}, "Lat"},
    {"Edit5", [](TForm1& f) { return f.Edit5; }, {77, 38, 85, 19}, ""},
    {"Label6", [](TForm1& f) { return f.Label6; }, {8, 66, 0, 0}, "Long"},
    {"Edit6", [](TForm1& f) { return f.Edit6; }, {77, 64, 85, 19}, ""},
    {"Label7", [](TForm1& f) { return f.Label7; }, {8, 92, 0, 0}, "Altitude"},
    {"Edit7", [](TForm1& f) { return f.Edit7; }, {77, 90, 70, 19}, ""},
    {"Label19", [](TForm1& f) { return f.Label19; }, {154, 94, 0, 0}, "ft"},
    {"Label8", [](TForm1& f) { return f.Label8; }, {8, 122, 0, 0}, "Dist"},
    {"Edit8", [](TForm1& f) { return f.Edit8; }, {42, 118, 47, 19}, ""},
    {"Label10", [](TForm1& f) { return f.Label10; }, {92, 122, 0, 0}, "NM"},
    {"Label9", [](TForm1& f) { return f.Label9; }, {108, 122, 0, 0}, "Trk"},
    {"Edit9", [](TForm1& f) { return f.Edit9; }, {132, 118, 51, 19}, ""},
    {"Label11", [](TForm1& f) { return f.Label11; }, {188, 122, 0, 0}, "\u00B0"},
    {"Label12", [](TForm1& f) { return f.Label12; }, {10, 268, 0, 0}, "Ignore beyond"},
    {"ComboBox1", [](TForm1& f) -> QWidget* { return f.ComboBox1; }, {108, 264, 61, 19}, ""},
    {"Label13", [](TForm1& f) { return f.Label13; }, {178, 268, 0, 0}, "NM"},
    {"CheckBox1",
     [](TForm1& f) { return f.CheckBox1; },
     {10, 286, 177, 17},
     "Log ignored messages"},
    {"Button1", [](TForm1& f) { return f.Button1; }, {44, 318, 133, 25}, "START"},
    {"Panel1", [](TForm1& f) -> QWidget* { return f.Panel1; }, {219, 0, 229, 355}, ""},
    {"Panel2", [](TForm1& f) -> QWidget* { return f.Panel2; }, {26, 10, 188, 188}, ""},
    {"Image1", [](TForm1& f) -> QWidget* { return f.Image1; }, {4, 4, 180, 180}, ""},
    {"tbrange", [](TForm1& f) -> QWidget* { return f.tbrange; }, {44, 204, 150, 33}, ""},
    {"Label14", [](TForm1& f) { return f.Label14; }, {44, 236, 0, 0}, "60      180       360"},
    {"Label15", [](TForm1& f) { return f.Label15; }, {52, 248, 133, 0}, "Range: 300 NM"},
    {"tbalt", [](TForm1& f) -> QWidget* { return f.tbalt; }, {44, 266, 150, 33}, ""},
    {"Label16", [](TForm1& f) { return f.Label16; }, {38, 298, 0, 0}, "<100 <200 <300 +300 all"},
    {"Label17", [](TForm1& f) { return f.Label17; }, {86, 312, 0, 0}, "Level Band"},
    {"StatusBar2", [](TForm1& f) -> QWidget* { return f.StatusBar2; }, {0, 355, 448, 19}, ""},
    {"StatusBar1", [](TForm1& f) -> QWidget* { return f.StatusBar1; }, {0, 374, 448, 19}, ""},
};

class Controls : public WindowFixture, public ::testing::WithParamInterface<Place> {};

TEST_P(Controls, PlaceAndCaption) {
    const Place& p = GetParam();
    QWidget* w = p.widget(*form);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pos(), p.geometry.topLeft());
    if (p.geometry.width() > 0) {
        EXPECT_EQ(w->width(), p.geometry.width());
    }
    if (p.geometry.height() > 0) {
        EXPECT_EQ(w->height(), p.geometry.height());
    }
    EXPECT_EQ(textOf(w), QString::fromUtf8(p.text));
}

INSTANTIATE_TEST_SUITE_P(Window, Controls, ::testing::ValuesIn(Places),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Layout, InitialValuesAndRanges) {
    ASSERT_EQ(form->ComboBox1->count(), 29);
    EXPECT_EQ(form->ComboBox1->itemText(0), "NEVER");
    EXPECT_EQ(form->ComboBox1->itemText(1), "180");
    EXPECT_EQ(form->ComboBox1->itemText(28), "450");
    EXPECT_FALSE(form->ComboBox1->isEditable());
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_EQ(form->tbrange->minimum(), 60);
    EXPECT_EQ(form->tbrange->maximum(), 360);
    EXPECT_EQ(form->tbrange->singleStep(), 60);
    EXPECT_EQ(form->tbrange->pageStep(), 60);
    EXPECT_EQ(form->tbrange->tickInterval(), 60);
    EXPECT_EQ(form->tbrange->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(form->tbrange->value(), 300);
    EXPECT_EQ(form->tbalt->minimum(), 0);
    EXPECT_EQ(form->tbalt->maximum(), 4);
    EXPECT_EQ(form->tbalt->singleStep(), 1);
    EXPECT_EQ(form->tbalt->value(), 4);
    for (QLineEdit* e :
         {form->Edit5, form->Edit6, form->Edit7, form->Edit8, form->Edit9, form->Edit10}) {
        EXPECT_TRUE(e->isReadOnly());
        EXPECT_EQ(baseColour(e), QColor(192, 192, 192));
    }
    EXPECT_EQ(baseColour(form->Edit3), QColor(255, 255, 255));
    EXPECT_EQ(form->StatusBar2->panelCount(), 2);
    EXPECT_EQ(form->StatusBar2->panel(0)->width(), 380);
    EXPECT_EQ(form->StatusBar1->panelCount(), 5);
    EXPECT_EQ(form->StatusBar1->panel(0)->width(), 80);
    EXPECT_EQ(form->StatusBar1->panel(3)->width(), 40);
    EXPECT_EQ(form->StatusBar1->panel(4)->geometry().right(), 447); // to the right end
    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->ledbs->shownColor(), QColor(192, 192, 192));
    EXPECT_TRUE(form->Image1->image().isNull()); // empty until the first tick
}

TEST_F(Layout, ArrowKeysStepOneBandAndSixtyMiles) {
    form->tbalt->setValue(0);
    QTest::keyClick(form->tbalt, Qt::Key_Right);
    EXPECT_EQ(form->tbalt->value(), 1);
    form->tbrange->setValue(240);
    QTest::keyClick(form->tbrange, Qt::Key_Right);
    EXPECT_EQ(form->tbrange->value(), 300);
    EXPECT_EQ(form->Label15->text(), "Range: 300 NM");
    form->tbrange->setValue(75); // as a drag leaves it
    EXPECT_EQ(form->Label15->text(), "Range: 75 NM");
}

// ---- Menu --------------------------------------------------------------------------------

struct MenuItem {
    const char* name;
    std::function<QAction*(TForm1&)> action;
    const char* caption;
    bool checkable, checked;
};

const MenuItem MenuItems[] = {
    {"Loadfile1", [](TForm1& f) { return f.Loadfile1; }, "&Load plot file (default)", false, false},
    {"Loadplotfilewithname1", [](TForm1& f) { return f.Loadplotfilewithname1; },
     "L&oad plot file with date", false, false},
    {"Save1", [](TForm1& f) { return f.Save1; }, "&Save plot file (default)", false, false},
    {"Saveplotfilewithdate1", [](TForm1& f) { return f.Saveplotfilewithdate1; },
     "Sa&ve plot file with date", false, false},
    {"Saveoutfile1", [](TForm1& f) { return f.Saveoutfile1; }, "&Save \"OUT\" file", false, false},
    {"Saveoutfilewithdate1", [](TForm1& f) { return f.Saveoutfilewithdate1; },
     "Save \"OUT\" &file with date", false, false},
    {"Noautosave1", [](TForm1& f) { return f.Noautosave1; }, "No auto save", true, true},
    {"Saveevery1hour1", [](TForm1& f) { return f.Saveevery1hour1; }, "Save every 1 hour", true,
     false},
    {"Saveevery6hours1", [](TForm1& f) { return f.Saveevery6hours1; }, "Save every 6 hours", true,
     false},
    {"Saveevery12hours1", [](TForm1& f) { return f.Saveevery12hours1; }, "Save every 12 hours",
     true, false},
    {"Saveevery24hours1", [](TForm1& f) { return f.Saveevery24hours1; }, "Save every 24 hours",
     true, false},
    {"Saveplotfile1", [](TForm1& f) { return f.Saveplotfile1; }, "Save plot file with date/time",
     true, true},
    {"SaveOUTfile2", [](TForm1& f) { return f.SaveOUTfile2; }, "Save \"OUT\" file with date/time",
     true, true},
    {"clear2", [](TForm1& f) { return f.clear2; }, "Clear data on AutoSave", true, false},
    {"Clear1", [](TForm1& f) { return f.Clear1; }, "&Clear", false, false},
    {"Exit1", [](TForm1& f) { return f.Exit1; }, "&Exit", false, false},
};

class Menu : public WindowFixture, public ::testing::WithParamInterface<MenuItem> {};

TEST_P(Menu, CaptionAndCheckMark) {
    const MenuItem& m = GetParam();
    QAction* a = m.action(*form);
    EXPECT_EQ(a->text(), QString::fromUtf8(m.caption));
    EXPECT_EQ(a->isCheckable(), m.checkable);
    EXPECT_EQ(a->isChecked(), m.checked);
    EXPECT_TRUE(a->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Window, Menu, ::testing::ValuesIn(MenuItems),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Layout, MenuBarHoldsFileAutoSaveDataAndExit) {
    QStringList titles;
    for (QAction* a : form->menuBar()->actions()) {
        titles << a->text();
    }
    EXPECT_EQ(titles, (QStringList{"&File", "AutoSave", "&Data", "&Exit"}));
    EXPECT_EQ(form->menuBar()->actions().last(), form->Exit1);
}

TEST_F(Layout, IntervalItemsAreOneRadioGroupAndPanelsFollowTheMarks) {
    EXPECT_EQ(form->StatusBar1->text(0), "AUTO OFF");
    EXPECT_EQ(form->StatusBar1->text(1), "PLOT");
    EXPECT_EQ(form->StatusBar1->text(2), "OUT");
    EXPECT_EQ(form->StatusBar1->text(3), "");
    form->Noautosave1->trigger(); // already checked: stays checked
    EXPECT_TRUE(form->Noautosave1->isChecked());
    form->Saveevery6hours1->trigger();
    EXPECT_FALSE(form->Noautosave1->isChecked());
    EXPECT_TRUE(form->Saveevery6hours1->isChecked());
    EXPECT_EQ(form->StatusBar1->text(0), "AUTO 6HRS");
    form->clear2->trigger();
    EXPECT_EQ(form->StatusBar1->text(3), "CLR");
    form->Saveplotfile1->trigger();
    EXPECT_EQ(form->StatusBar1->text(1), "");
    form->clear2->trigger();
    EXPECT_EQ(form->StatusBar1->text(3), "");
    const AutoSaveSettings s = form->autoSaveSettings();
    EXPECT_TRUE(s.Saveevery6hours1);
    EXPECT_FALSE(s.Saveplotfile1);

    // As a configuration may leave them: no interval checked at all.
    AutoSaveSettings none = s;
    none.Saveevery6hours1 = false;
    none.clear2 = true;
    form->setAutoSaveSettings(none);
    EXPECT_EQ(form->autoSaveSettings(), none);
    form->Saveevery12hours1->trigger(); // the group is exclusive again
    EXPECT_TRUE(form->Saveevery12hours1->isChecked());
    EXPECT_FALSE(form->Noautosave1->isChecked());
}

// ---- START and STOP -----------------------------------------------------------------------

struct BadHome {
    const char* name;
    const char* lat;
    const char* lon;
    const char* message;
    double homeLat, homeLon; // what the refused START leaves
};

const BadHome BadHomes[] = {
    {"EmptyLatitude", "", "15.07", "Please add a valid SBS Home Position", 0.0, 0.0},
    {"EmptyLongitude", "37.5", "", "Please add a valid SBS Home Position", 0.0, 0.0},
    {"LatitudeNotANumber", "abc", "15.07", "Please check your SBS Home Latitude", -999.0, 15.07},
    {"LatitudeMinus999", "-999", "15.07", "Please check your SBS Home Latitude", -999.0, 15.07},
    {"LongitudeNotANumber", "37.5", "abc", "Please check your SBS Home Longitude", 37.5, -999.0},
};

class StartRefused : public WindowFixture, public ::testing::WithParamInterface<BadHome> {};

TEST_P(StartRefused, WithItsMessageAndNothingChanged) {
    const BadHome& c = GetParam();
    pressStart(QString::fromUtf8(c.lat), QString::fromUtf8(c.lon));
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "error");
    EXPECT_EQ(dialogs.asked[0].text, QString::fromUtf8(c.message));
    EXPECT_EQ(form->Button1->text(), "START");
    EXPECT_FALSE(form->Edit3->isReadOnly());
    EXPECT_FALSE(form->IdTelnet1->isConnected());
    EXPECT_EQ(form->station().decoder.homeLat(), c.homeLat);
    EXPECT_EQ(form->station().decoder.homeLon(), c.homeLon);
    QTest::qWait(30);
    EXPECT_FALSE(peer.server().hasPendingConnections());
}

INSTANTIATE_TEST_SUITE_P(Window, StartRefused, ::testing::ValuesIn(BadHomes),
                         [](const auto& p) { return std::string(p.param.name); });

using Feed = WindowFixture;

TEST_F(Feed, StartWithNothingListeningFailsSilently) {
    form->TelnetPort = closedPort();
    form->ComboBox1->setCurrentText("300");
    pressStart();
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(form->Button1->text(), "START");
    EXPECT_FALSE(form->ledbs->value());
    EXPECT_FALSE(form->Edit3->isReadOnly());
    EXPECT_EQ(baseColour(form->Edit3), QColor(255, 255, 255));
    EXPECT_TRUE(form->ComboBox1->isEnabled());
    EXPECT_TRUE(form->Noautosave1->isEnabled());
    // The checks' values are kept, as before a connect that failed.
    EXPECT_EQ(form->station().decoder.homeLat(), 37.5);
    EXPECT_EQ(form->station().decoder.FilterRange, 300.0);
}

void expectLocked(TForm1& f, bool locked) {
    const QColor box = locked ? QColor(192, 192, 192) : QColor(255, 255, 255);
    EXPECT_EQ(f.Button1->text(), locked ? "STOP" : "START");
    for (QLineEdit* e : {f.Edit3, f.Edit4, f.Edit1, f.Edit2}) {
        EXPECT_EQ(e->isReadOnly(), locked) << e->text().toStdString();
        EXPECT_EQ(baseColour(e), box);
    }
    EXPECT_EQ(f.CheckBox1->isEnabled(), !locked);
    EXPECT_EQ(f.ComboBox1->isEnabled(), !locked);
    for (QAction* a : {f.Noautosave1, f.Saveevery1hour1, f.Saveevery6hours1, f.Saveevery12hours1,
                       f.Saveevery24hours1}) {
        EXPECT_EQ(a->isEnabled(), !locked);
    }
    // Never locked: the three options, the File and Data commands, Exit, both track bars.
    for (QAction* a :
         {f.Saveplotfile1, f.SaveOUTfile2, f.clear2, f.Save1, f.Loadfile1, f.Clear1, f.Exit1}) {
        EXPECT_TRUE(a->isEnabled());
    }
    EXPECT_TRUE(f.tbrange->isEnabled());
    EXPECT_TRUE(f.tbalt->isEnabled());
}

TEST_F(Feed, StartDecodesLiveAsTheCoreDoesAndStopUnlocks) {
    form->CheckBox1->setChecked(true);
    form->Edit1->setText("4711"); // the port box is not read by START
    pressStart();
    ASSERT_TRUE(peer.accept());
    expectLocked(*form, true);
    EXPECT_TRUE(form->ledbs->value());
    EXPECT_EQ(form->ledbs->shownColor(), QColor(0, 255, 0));
    EXPECT_EQ(form->station().decoder.FilterRange, 999.0);
    EXPECT_TRUE(fs::exists(dataDir() / "rizuzez1.log"));

    const std::string capture = readFile(samplePath("modes1_sicily.sbs"));
    ASSERT_FALSE(capture.empty());
    // Sent in uneven pieces that cut lines anywhere.
    for (std::size_t at = 0, step = 1; at < capture.size(); at += step, step = step * 7 % 613 + 1) {
        peer.send(QByteArray::fromStdString(capture.substr(at, step)));
    }
    const Coverage expected = decodeWithCore(capture, 37.50, 15.07);
    ASSERT_GT(expected.MaxDistance.Dist, 0.0);
    Decoder& d = form->station().decoder;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->station().coverage.MaxDistance.Dist == expected.MaxDistance.Dist; },
        10000));
    QTest::qWait(100);
    EXPECT_TRUE(sameTable(form->station().coverage.PlotData, expected.PlotData));
    EXPECT_EQ(form->Edit10->text().toStdString(), expected.texts.Edit10);
    EXPECT_EQ(form->Edit5->text().toStdString(), expected.texts.Edit5);
    EXPECT_EQ(form->Edit8->text().toStdString(), expected.texts.Edit8);
    EXPECT_GT(d.TotalMsgs, 0);

    form->StatusBar1->setText(4, "Next AutoSave: x");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    expectLocked(*form, false);
    EXPECT_FALSE(form->ledbs->value());
    EXPECT_EQ(form->StatusBar1->text(4), "");
    EXPECT_TRUE(peer.clientGone());
}

TEST_F(Feed, FarEndClosingTurnsTheLampOffAndKeepsStop) {
    pressStart();
    ASSERT_TRUE(peer.accept());
    peer.send("MSG,3,1,1,4D2023,1,,,,,,24275,,,37.0,14.0,,,0,0,0,0\r\n");
    peer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ledbs->value(); }, 5000));
    EXPECT_EQ(form->station().decoder.TotalMsgs, 1); // what came before the close is decoded
    expectLocked(*form, true);
    // Ticks go on as running ones in this state.
    int housekeeping = 0;
    form->onHousekeeping = [&] { ++housekeeping; };
    form->Timer1Timer();
    EXPECT_EQ(housekeeping, 1);
    QTest::mouseClick(form->Button1, Qt::LeftButton); // STOP on a closed connection
    expectLocked(*form, false);
    EXPECT_FALSE(form->ledbs->value());
}

TEST_F(Feed, LampBlinksOncePerSecondWhileOn) {
    pressStart();
    ASSERT_TRUE(peer.accept());
    EXPECT_EQ(form->ledbs->shownColor(), QColor(0, 255, 0));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ledbs->shownColor() == QColor(192, 192, 192); }, 1500));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ledbs->shownColor() == QColor(0, 255, 0); }, 1500));
}

struct ScheduleRow {
    const char* name;
    QLocale locale;
    std::function<QAction*(TForm1&)> interval;
    const char* panel; // nullptr: untouched
};

const ScheduleRow ScheduleRows[] = {
    {"NoAutoSaveLeavesThePanel", QLocale(QLocale::English, QLocale::UnitedKingdom),
     [](TForm1& f) { return f.Noautosave1; }, nullptr},
    {"SixHours", QLocale(QLocale::English, QLocale::UnitedKingdom),
     [](TForm1& f) { return f.Saveevery6hours1; }, "Next AutoSave: 21/06/09 20:05 LT"},
    {"GermanSeparators", QLocale(QLocale::German, QLocale::Germany),
     [](TForm1& f) { return f.Saveevery24hours1; }, "Next AutoSave: 22.06.09 14:05 LT"},
    {"FinnishTimeSeparator", QLocale(QLocale::Finnish, QLocale::Finland),
     [](TForm1& f) { return f.Saveevery1hour1; }, "Next AutoSave: 21.06.09 15.05 LT"},
};

class FirstAutoSave : public WindowFixture, public ::testing::WithParamInterface<ScheduleRow> {};

TEST_P(FirstAutoSave, WrittenAtStart) {
    const ScheduleRow& r = GetParam();
    makeForm(r.locale);
    r.interval(*form)->trigger();
    form->StatusBar1->setText(4, "before");
    pressStart();
    ASSERT_TRUE(peer.accept());
    EXPECT_EQ(form->StatusBar1->text(4), r.panel ? QString::fromUtf8(r.panel) : QString("before"));
    if (r.panel) {
        EXPECT_DOUBLE_EQ(form->station().schedule.AutoSaveStart, toDays(clock.t));
        EXPECT_GT(form->station().schedule.NextAutoSave, form->station().schedule.AutoSaveStart);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, FirstAutoSave, ::testing::ValuesIn(ScheduleRows),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Feed, WhileRunningTheOptionsStayTogglableButTheIntervalDoesNot) {
    pressStart();
    ASSERT_TRUE(peer.accept());
    form->clear2->trigger();
    EXPECT_TRUE(form->clear2->isChecked());
    EXPECT_EQ(form->StatusBar1->text(3), "CLR");
    form->Saveevery6hours1->trigger(); // disabled: nothing happens
    EXPECT_TRUE(form->Noautosave1->isChecked());
}

// ---- The tick ----------------------------------------------------------------------------

using Tick = WindowFixture;

TEST_F(Tick, StoppedTickWritesTheRateLineAndThePlotOnly) {
    form->station().decoder.MsgsThisSecond = 50;
    bool posted = false;
    QTimer::singleShot(0, [&] { posted = true; });
    int housekeeping = 0;
    form->onHousekeeping = [&] { ++housekeeping; };
    form->Timer1Timer();
    EXPECT_EQ(form->StatusBar2->text(0), "Msg rate: 5 msgs/sec - Total msgs: 0 - Ignored msgs: 0");
    EXPECT_EQ(form->station().decoder.MsgsThisSecond, 0);
    ASSERT_FALSE(form->Image1->image().isNull());
    EXPECT_EQ(form->Image1->image().pixelColor(1, 2), QColor(0, 128, 0));
    EXPECT_EQ(housekeeping, 0);
    EXPECT_FALSE(posted); // no event processing by a stopped tick
    QCoreApplication::processEvents();
    EXPECT_TRUE(posted);
}

TEST_F(Tick, RunningTickOrderRateLinePlotHousekeepingThenEvents) {
    pressStart();
    ASSERT_TRUE(peer.accept());
    form->station().coverage.PlotData[0][90].Dist = 150.0; // east, drawn at the next redraw
    form->tbrange->setValue(300);
    form->tbalt->setValue(0);
    form->station().decoder.MsgsThisSecond = 120;
    QStringList order;
    QTimer::singleShot(0, [&] { order << "events"; });
    form->onHousekeeping = [&] {
        order << "housekeeping";
        EXPECT_TRUE(form->StatusBar2->text(0).startsWith("Msg rate: 12 msgs/sec"));
        // The outline already reaches east: the plot was redrawn before the housekeeping.
        EXPECT_EQ(form->Image1->image().pixelColor(90 + 45 - 1, 90), QColor(0, 255, 0));
    };
    form->Timer1Timer();
    EXPECT_EQ(order, (QStringList{"housekeeping", "events"}));
}

TEST_F(Tick, TimerDrivesTheTickEverySecond) {
    int ticks = 0;
    QObject::connect(form->Timer1, &QTimer::timeout, [&] { ++ticks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 1; }, 1500));
    EXPECT_FALSE(form->StatusBar2->text(0).isEmpty());
}

// ---- Menu commands on real files ---------------------------------------------------------

using Commands = WindowFixture;

void fill(Coverage& cov) {
    for (int b = 0; b < BandCount; ++b) {
        for (int i = 0; i < BearingCount; ++i) {
            cov.PlotData[b][i] = {10.0 + b * 50 + i * 0.1, 37.0 + i * 0.001, 15.0 + b * 0.01};
        }
    }
    cov.MaxDistance = {196.0, 359.0, 38.123456, 15.98765, 39999.0};
    cov.texts = {"38.1235", "15.9877", "39999", "196.0", "359.0", "4D2023"};
}

TEST_F(Commands, SaveAndLoadPlotFilesFromTheFileMenu) {
    fill(form->station().coverage);
    form->showContactTexts();
    form->Save1->trigger();
    form->Saveplotfilewithdate1->trigger();
    EXPECT_FALSE(form->station().SavingInProgress);
    EXPECT_EQ(fs::file_size(dataDir() / "rizuzez1.dat"), 34560u);
    EXPECT_EQ(fs::file_size(dataDir() / "rizuzez1.max"), 40u);
    EXPECT_EQ(readFile(dataDir() / "rizuzez1.hex"), "4D2023\r\n");
    EXPECT_TRUE(fs::exists(dataDir() / "rizuzez1.2009-06-21.dat"));
    EXPECT_TRUE(dialogs.asked.empty());

    const Coverage saved = form->station().coverage;
    ClearCoverage(form->station().coverage);
    form->showContactTexts();

    dialogs.answers = {false};
    form->Loadfile1->trigger(); // No: nothing changes
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "question");
    EXPECT_EQ(dialogs.asked[0].caption, "rizuzez1");
    EXPECT_EQ(dialogs.asked[0].text, "Do you want to reload the last saved radar plot?");
    EXPECT_EQ(dialogs.asked[0].icon, Dialogs::Icon::Question);
    EXPECT_TRUE(dialogs.asked[0].saving);
    EXPECT_EQ(form->station().coverage.MaxDistance.Dist, 0.0);

    dialogs.answers = {true};
    form->Loadfile1->trigger();
    EXPECT_TRUE(sameTable(form->station().coverage.PlotData, saved.PlotData));
    EXPECT_EQ(form->Edit5->text(), "38.12"); // a load shows two decimals
    EXPECT_EQ(form->Edit10->text(), "4D2023");
    EXPECT_FALSE(form->station().SavingInProgress);

    // With date: the dialog starts in the data folder; only the chosen name counts.
    ClearCoverage(form->station().coverage);
    dialogs.asked.clear();
    dialogs.chosenFile = "/elsewhere/rizuzez1.2009-06-21.max";
    form->Loadplotfilewithname1->trigger();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "file");
    EXPECT_EQ(fs::path(dialogs.asked[0].text.toStdString()), dataDir());
    EXPECT_TRUE(dialogs.asked[0].saving);
    EXPECT_TRUE(sameTable(form->station().coverage.PlotData, saved.PlotData));

    ClearCoverage(form->station().coverage);
    dialogs.chosenFile.clear(); // cancelled
    form->Loadplotfilewithname1->trigger();
    EXPECT_EQ(form->station().coverage.PlotData[1][1].Dist, 0.0);
}

TEST_F(Commands, FailedSaveAndDamagedLoadAreReported) {
    fs::remove_all(dataDir()); // nowhere to write
    form->Save1->trigger();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "error");
    EXPECT_TRUE(dialogs.asked[0].text.contains("rizuzez1.dat"));

    fs::create_directories(dataDir());
    std::ofstream(dataDir() / "rizuzez1.dat", std::ios::binary) << std::string(100, '\0');
    dialogs.asked.clear();
    dialogs.answers = {true};
    form->Loadfile1->trigger();
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[1].kind, "error");
    EXPECT_TRUE(dialogs.asked[1].text.contains("damaged"));
}

TEST_F(Commands, OutlineExportByMenuAsksBeforeOverwriting) {
    fill(form->station().coverage);
    form->Saveoutfile1->trigger();
    const fs::path plain = outlinesDir() / "rizuzez.out";
    ASSERT_TRUE(fs::exists(plain));
    const std::string first = readFile(plain);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), OutlineLineCount);
    EXPECT_EQ(first, OutlineText(form->station().coverage.PlotData, 0.0, 0.0, "rizuzez.out", '.'));
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_FALSE(form->station().SavingInProgress);

    form->station().coverage.PlotData[0][0].Dist = 333.0;
    dialogs.answers = {false};
    form->Saveoutfile1->trigger();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "question");
    EXPECT_EQ(dialogs.asked[0].caption, "rizuzez.out");
    EXPECT_EQ(dialogs.asked[0].text, "Existing plot file will be overwritten. Continue?");
    EXPECT_EQ(dialogs.asked[0].icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(dialogs.asked[0].saving);
    EXPECT_EQ(dialogs.asked[0].lampOnColour, QColor(255, 255, 0)); // yellow during an export
    EXPECT_EQ(readFile(plain), first);
    EXPECT_EQ(form->ledbs->trueColor(), QColor(0, 255, 0));

    dialogs.answers = {true};
    form->Saveoutfile1->trigger();
    EXPECT_NE(readFile(plain), first);

    form->Saveoutfilewithdate1->trigger();
    EXPECT_TRUE(fs::exists(outlinesDir() / "rizuzez.2009-06-21.out"));
    EXPECT_FALSE(form->station().SavingInProgress);
    EXPECT_EQ(form->ledbs->trueColor(), QColor(0, 255, 0));
}

TEST_F(Commands, OutlineFolderMissing) {
    fs::remove_all(outlinesDir());
    form->Saveoutfilewithdate1->trigger();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "error");
    EXPECT_EQ(dialogs.asked[0].text, "Cannot find outlines folder");
    EXPECT_EQ(dialogs.asked[0].lampOnColour, QColor(255, 255, 0));
    EXPECT_FALSE(fs::exists(outlinesDir()));
    EXPECT_FALSE(form->station().SavingInProgress);
    EXPECT_EQ(form->ledbs->trueColor(), QColor(0, 255, 0));

    // The timed export (the auto-save's) makes the folder and never asks.
    form->Saveoutfile1Click(form->Timer1);
    form->Saveoutfile1Click(form->Timer1);
    EXPECT_TRUE(fs::exists(outlinesDir() / "rizuzez.2009-06-21.14-05.out"));
    EXPECT_EQ(dialogs.asked.size(), 1u);
}

TEST_F(Commands, ClearAsksAndClearsOnYesOnly) {
    fill(form->station().coverage);
    form->showContactTexts();
    dialogs.answers = {false};
    form->Clear1->trigger();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].caption, "Rizuzez-1");
    EXPECT_EQ(dialogs.asked[0].text, "Are you sure to clear all plotted data in memory?");
    EXPECT_EQ(dialogs.asked[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(form->station().coverage.MaxDistance.Dist, 196.0);

    dialogs.answers = {true};
    form->Clear1->trigger();
    const Coverage& cov = form->station().coverage;
    for (const auto& band : cov.PlotData) {
        for (const TPlotPoint& c : band) {
            ASSERT_EQ(c.Dist, 0.0);
        }
    }
    EXPECT_EQ(cov.PlotData[2][7].Lat, 37.007); // positions kept
    EXPECT_EQ(cov.MaxDistance.Dist, 0.0);
    EXPECT_EQ(form->Edit10->text(), "");
    EXPECT_EQ(form->Edit5->text(), "38.1235"); // the other boxes keep their texts
}

TEST_F(Commands, ExitEndsTheEventLoopWithoutClosingTheWindow) {
    QTimer::singleShot(0, form->Exit1, &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(form->isVisible()); // no close was asked for: a close would hide it
}

// ---- What may happen in the middle of a chunk ---------------------------------------------

using MidChunk = WindowFixture;

// A large capture sent at once; the window is yielding after its 100th position.
TEST_F(MidChunk, StopPressedWhileALargeChunkIsDecoded) {
    const std::string capture = readFile(samplePath("japan_2h.sbs"));
    ASSERT_GT(capture.size(), 1000000u);
    bool clicked = false;
    form->onPosition = [&](int n) {
        if (n == 100) {
            QMetaObject::invokeMethod(form->Button1, "click", Qt::QueuedConnection);
            QCoreApplication::processEvents();
            clicked = true;
            EXPECT_EQ(form->Button1->text(), "START"); // STOP ran inside the chunk
        }
    };
    pressStart("34.55", "135.79");
    ASSERT_TRUE(peer.accept());
    peer.send(QByteArray::fromStdString(capture));
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicked; }, 10000));
    QTest::qWait(200);
    EXPECT_GT(form->positions, 100); // the rest of that chunk was still decoded
    // Later chunks were not delivered.
    EXPECT_LT(form->positions, positionsWithCore(capture, 34.55, 135.79));
    EXPECT_FALSE(form->ledbs->value());
    expectLocked(*form, false);
    EXPECT_TRUE(peer.clientGone());
    const int afterStop = form->positions;
    QTest::qWait(100);
    EXPECT_EQ(form->positions, afterStop);

    // And the feed starts again.
    Peer again;
    form->TelnetPort = again.port();
    form->onPosition = nullptr;
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    ASSERT_TRUE(again.accept());
    again.send("MSG,3,1,1,86D4A0,1,,,,,,38000,,,34.9,135.9,,,0,0,0,0\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->positions == afterStop + 1; }, 5000));
}

TEST_F(MidChunk, ClearPressedWhileALargeChunkIsDecoded) {
    const std::string capture = readFile(samplePath("japan_2h.sbs"));
    dialogs.answers = {true};
    form->onPosition = [&](int n) {
        if (n == 100) {
            QMetaObject::invokeMethod(form->Clear1, "trigger", Qt::QueuedConnection);
            QCoreApplication::processEvents();
        }
    };
    pressStart("34.55", "135.79");
    ASSERT_TRUE(peer.accept());
    peer.send(QByteArray::fromStdString(capture));
    const int all = positionsWithCore(capture, 34.55, 135.79);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->positions == all; }, 30000))
        << form->positions << " of " << all;
    EXPECT_EQ(dialogs.asked.size(), 1u);

    // The core, cleared after the same position, ends with the same distances.
    struct ClearAt final : FeedSink {
        Coverage* cov = nullptr;
        int n = 0;
        void positionRecorded() override {
            if (++n == 100) {
                ClearCoverage(*cov);
            }
        }
    } sink;
    Coverage expected;
    Decoder dec(expected);
    dec.setHome(34.55, 135.79);
    sink.cov = &expected;
    dec.setSink(&sink);
    dec.ProcessChunk(capture);
    const Coverage& got = form->station().coverage;
    for (int b = 0; b < BandCount; ++b) {
        for (int i = 0; i < BearingCount; ++i) {
            ASSERT_EQ(got.PlotData[b][i].Dist, expected.PlotData[b][i].Dist) << b << " " << i;
        }
    }
    EXPECT_EQ(got.MaxDistance.Dist, expected.MaxDistance.Dist);
    // And the clear mattered: without it some cells would reach further.
    const Coverage uncleared = decodeWithCore(capture, 34.55, 135.79);
    EXPECT_FALSE(sameTable(got.PlotData, uncleared.PlotData));
}

TEST_F(MidChunk, LoadAndTickWhileALargeChunkIsDecoded) {
    const std::string capture = readFile(samplePath("japan_2h.sbs"));
    fill(form->station().coverage);
    form->Save1->trigger();
    ClearCoverage(form->station().coverage);
    dialogs.answers = {true};
    int ticks = 0;
    form->onHousekeeping = [&] { ++ticks; };
    form->onPosition = [&](int n) {
        if (n == 50) {
            QMetaObject::invokeMethod(form->Loadfile1, "trigger", Qt::QueuedConnection);
            QMetaObject::invokeMethod(
                form.get(), [this] { form->Timer1Timer(); }, Qt::QueuedConnection);
            QCoreApplication::processEvents();
        }
    };
    pressStart("34.55", "135.79");
    ASSERT_TRUE(peer.accept());
    peer.send(QByteArray::fromStdString(capture));
    const int all = positionsWithCore(capture, 34.55, 135.79);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->positions == all; }, 30000))
        << form->positions << " of " << all;
    EXPECT_GE(ticks, 1);
    // Loaded mid-way, then grown by the rest of the capture: never below the loaded plot.
    EXPECT_GE(form->station().coverage.PlotData[3][200].Dist, 10.0 + 150 + 20.0);
    EXPECT_FALSE(form->station().SavingInProgress);
}

// ---- The real message boxes ----------------------------------------------------------------

struct BoxCase {
    const char* name;
    std::function<void(MessageBoxDialogs&, bool&)> open;
    const char* caption;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton press;
    bool answer;
};

const BoxCase BoxCases[] = {
    {"Error", [](MessageBoxDialogs& d, bool&) { d.error("Cannot find outlines folder"); },
     "Rizuzez-1", QMessageBox::Critical, QMessageBox::Ok, false},
    {"ClearQuestionYes",
     [](MessageBoxDialogs& d, bool& a) {
         a = d.question("Rizuzez-1", "Clear?", Dialogs::Icon::Warning);
     },
     "Rizuzez-1", QMessageBox::Warning, QMessageBox::Yes, true},
    {"ReloadQuestionNo",
     [](MessageBoxDialogs& d, bool& a) {
         a = d.question("rizuzez1", "Reload?", Dialogs::Icon::Question);
     },
     "rizuzez1", QMessageBox::Question, QMessageBox::No, false},
};

class RealBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(RealBoxes, CaptionIconAndAnswer) {
    const BoxCase& c = GetParam();
    MessageBoxDialogs dialogs;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        icon = box->icon();
        box->button(c.press)->click();
    });
    bool answer = !c.answer;
    c.open(dialogs, answer);
    EXPECT_EQ(caption, QString::fromUtf8(c.caption));
    EXPECT_EQ(icon, c.icon);
    if (c.press != QMessageBox::Ok) {
        EXPECT_EQ(answer, c.answer);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, RealBoxes, ::testing::ValuesIn(BoxCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
