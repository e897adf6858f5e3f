// The real program on a private X desktop with a notification area: minimised into the tray
// and back by clicks on the icon, then ended by closing and by "Exit", with no icon left.
#include "xsession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace rizuzez::testing;

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class TrayUnderX : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = x.start(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        root = fs::temp_directory_path() / ("rizuzez_tray_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "rizuzez1");
        // The program as installed: its data folder beside it.
        fs::copy_file(RIZUZEZ_WINDOW, root / "rizuzez");
        std::ofstream(root / "rizuzez1" / "rizuzez.ini")
            << "[window]\nleft=60\ntop=80\n[telnet]\nport=1\n";
    }
    void TearDown() override {
        program.stop();
        if (!root.empty()) {
            fs::remove_all(root);
        }
    }
    // Starts the program, answers the reload question with key if it comes, and returns the
    // main window once shown.
    std::string launch(const char* key = "Escape") {
        program =
            Child({(root / "rizuzez").string()},
                  {"QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS", "HOME=" + root.string()},
                  (root / "program.log").string());
        std::string w;
        waitUntil(
            [&] {
                if (const std::string box = XSession::window("^rizuzez1$"); !box.empty()) {
                    shell("xdotool windowactivate --sync " + box + " key " + key);
                }
                w = XSession::mainWindow();
                return !w.empty() && XSession::inClientList(w);
            },
            15000);
        return w;
    }
    static void clickIcon(const XWindow& icon, const char* clicks) {
        shell("xdotool mousemove " + std::to_string(icon.x + icon.width / 2) + " " +
              std::to_string(icon.y + icon.height / 2) + " " + clicks);
    }
    // Minimises as a window manager does and waits for the window to be in the tray.
    static void minimise(const std::string& w) {
        shell("xdotool windowminimize " + w);
        ASSERT_TRUE(waitUntil([&] { return !XSession::viewable(w); }, 5000));
        ASSERT_TRUE(waitUntil([] { return XSession::trayIcons().size() == 1; }, 5000));
    }

    XSession x;
    fs::path root;
    Child program;
};

TEST_F(TrayUnderX, MinimiseToTheTrayRestoreByClickAndEndWithNoIconLeft) {
    const std::string w = launch();
    ASSERT_FALSE(w.empty()) << slurp(root / "program.log");
    const XWindow before = XSession::geometry(w);
    EXPECT_TRUE(XSession::trayIcons().empty());

    // Minimised: one icon, the window and its taskbar entry gone.
    minimise(w);
    const std::vector<XWindow> icons = XSession::trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_FALSE(XSession::inClientList(w));

    // A right click does nothing.
    clickIcon(icons[0], "click 3");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_FALSE(XSession::viewable(w));
    EXPECT_EQ(XSession::trayIcons().size(), 1u);

    // A left click: back at its place, in front, and the icon gone.
    clickIcon(icons[0], "click 1");
    ASSERT_TRUE(waitUntil([&] { return XSession::viewable(w); }, 5000));
    EXPECT_TRUE(waitUntil([] { return XSession::trayIcons().empty(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return XSession::inClientList(w); }, 5000));
    const XWindow after = XSession::geometry(w);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(after.width, before.width);
    EXPECT_TRUE(waitUntil([&] { return shell("xdotool getactivewindow").find(w) == 0; }, 5000));

    // Again, once more one icon; a double click restores as well.
    minimise(w);
    clickIcon(XSession::trayIcons().at(0), "click --repeat 2 --delay 80 1");
    ASSERT_TRUE(waitUntil([&] { return XSession::viewable(w); }, 5000));
    EXPECT_TRUE(waitUntil([] { return XSession::trayIcons().empty(); }, 5000));

    // Closed through the window manager: the settings and the plot are written.
    shell("xdotool windowactivate --sync " + w + " key --clearmodifiers alt+F4");
    EXPECT_EQ(program.waitExit(10000), std::optional<int>(0));
    EXPECT_TRUE(XSession::trayIcons().empty());
    const std::string ini = slurp(root / "rizuzez1" / "rizuzez.ini");
    EXPECT_NE(ini.find("left=60"), std::string::npos) << ini;
    EXPECT_TRUE(fs::exists(root / "rizuzez1" / "rizuzez1.dat"));

    // "Exit" (Alt+E), after a stay in the tray: it writes nothing and leaves no icon.
    fs::remove(root / "rizuzez1" / "rizuzez.ini");
    const std::string again = launch(); // the reload question answered No
    ASSERT_FALSE(again.empty());
    minimise(again);
    clickIcon(XSession::trayIcons().at(0), "click 1");
    ASSERT_TRUE(waitUntil([&] { return XSession::viewable(again); }, 5000));
    shell("xdotool windowactivate --sync " + again + " key --clearmodifiers alt+e");
    EXPECT_EQ(program.waitExit(10000), std::optional<int>(0));
    EXPECT_TRUE(XSession::trayIcons().empty());
    EXPECT_FALSE(fs::exists(root / "rizuzez1" / "rizuzez.ini"));
}

TEST_F(TrayUnderX, WindowComesBackWhenTheNotificationAreaGoes) {
    const std::string w = launch();
    ASSERT_FALSE(w.empty()) << slurp(root / "program.log");
    minimise(w);
    x.stopTray();
    EXPECT_TRUE(waitUntil([&] { return XSession::viewable(w); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return XSession::inClientList(w); }, 5000));
}

} // namespace
