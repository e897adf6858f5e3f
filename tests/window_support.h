// Shared pieces of the window tests: a hand-set clock, dialogs answered from a script, a
// window with hooks to observe the tick and the decoder's yields, and a temporary station.
#pragma once

#include "app/qt/dialogs.h"
#include "app/qt/lamp.h"
#include "app/qt/mainwindow.h"
#include "qt_peer.h"

#include <QColor>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace rizuzez::testing {

namespace fs = std::filesystem;

class ManualClock final : public Clock {
public:
    LocalDateTime t{2009, 6, 21, 14, 5, 0, 0};
    LocalDateTime now() const override { return t; }
};

// What a dialog was asked, and the state of the window at that moment.
struct Asked {
    QString kind; // "error", "question", "file"
    QString caption, text;
    Dialogs::Icon icon = Dialogs::Icon::Question;
    bool saving = false; // SavingInProgress while the box was open
    QColor lampOnColour;
};

class ScriptedDialogs final : public Dialogs {
public:
    TForm1* form = nullptr;
    std::vector<Asked> asked;
    std::deque<bool> answers; // No when the script has run out
    QString chosenFile;       // empty: cancelled

    void error(const QString& text) override { note("error", QStringLiteral("Rizuzez-1"), text); }
    bool question(const QString& caption, const QString& text, Icon icon) override {
        note("question", caption, text, icon);
        if (answers.empty()) {
            return false;
        }
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QString chooseFile(const QString& dir) override {
        note("file", QString(), dir);
        return chosenFile;
    }

private:
    void note(const char* kind, const QString& caption, const QString& text,
              Icon icon = Icon::Question) {
        Asked a{QString::fromLatin1(kind), caption, text, icon, false, QColor()};
        if (form) {
            a.saving = form->station().SavingInProgress;
            a.lampOnColour = form->ledbs->trueColor();
        }
        asked.push_back(a);
    }
};

// The real window with two observation points.
class ObservedForm : public TForm1 {
public:
    using TForm1::TForm1;
    int positions = 0;
    std::function<void(int)> onPosition; // runs before the window's own yield
    std::function<void()> onHousekeeping;

protected:
    void positionRecorded() override {
        ++positions;
        if (onPosition) {
            onPosition(positions);
        }
        TForm1::positionRecorded();
    }
    void RunHousekeeping() override {
        if (onHousekeeping) {
            onHousekeeping();
        }
        TForm1::RunHousekeeping();
    }
};

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::string samplePath(const char* name) {
    return std::string(RIZUZEZ_SAMPLES) + "/" + name;
}

// A window on a temporary data folder and outline folder, fed by a real TCP server.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("rizuzez_window_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "rizuzez1");
        fs::create_directories(root / "outlines");
        makeForm(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override {
        form.reset();
        fs::remove_all(root);
    }
    void makeForm(const QLocale& locale) {
        form.reset();
        TForm1::Setup s;
        s.dataDir = QString::fromStdString((root / "rizuzez1").string());
        s.outlinesDir = QString::fromStdString((root / "outlines").string());
        s.clock = &clock;
        s.dialogs = &dialogs;
        s.locale = locale;
        form = std::make_unique<ObservedForm>(s);
        dialogs.form = form.get();
        form->TelnetPort = peer.port();
        form->FormCreate();
        form->show();
    }
    // Types the station position and presses the button.
    void pressStart(const QString& lat = QStringLiteral("37.50"),
                    const QString& lon = QStringLiteral("15.07")) {
        form->Edit3->setText(lat);
        form->Edit4->setText(lon);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
    }
    fs::path dataDir() const { return root / "rizuzez1"; }
    fs::path outlinesDir() const { return root / "outlines"; }

    fs::path root;
    ManualClock clock;
    ScriptedDialogs dialogs;
    Peer peer;
    std::unique_ptr<ObservedForm> form;
};

} // namespace rizuzez::testing
