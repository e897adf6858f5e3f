// A private X desktop for tests of the real program: Xvfb on a free display with openbox as
// window manager and trayer as notification area, driven with xdotool and read with xwininfo.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rizuzez::testing {

namespace xfs = std::filesystem;

// Runs a shell command line and returns its standard output (standard error discarded).
inline std::string shell(const std::string& command) {
    std::string out;
    FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) {
        return out;
    }
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) {
        out.append(buf, n);
    }
    ::pclose(p);
    return out;
}

inline bool waitUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A child process started with extra environment, ended by its id.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& log = "/dev/null") {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setpgid(0, 0);
            for (const std::string& e : env) {
                const auto eq = e.find('=');
                if (eq == std::string::npos) {
                    ::unsetenv(e.c_str());
                } else {
                    ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
                }
            }
            if (FILE* f = std::freopen(log.c_str(), "a", stdout)) {
                ::dup2(::fileno(f), 2);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    Child(Child&& o) noexcept : m_pid(o.m_pid), m_status(o.m_status) { o.m_pid = -1; }
    Child& operator=(Child&& o) noexcept {
        stop();
        m_pid = o.m_pid;
        m_status = o.m_status;
        o.m_pid = -1;
        return *this;
    }
    ~Child() { stop(); }

    pid_t pid() const { return m_pid; }
    bool running() {
        if (m_pid <= 0) {
            return false;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = status;
            m_pid = -1;
            return false;
        }
        return true;
    }
    // The exit status once ended within ms, else nullopt.
    std::optional<int> waitExit(int ms) {
        if (!waitUntil([this] { return !running(); }, ms)) {
            return std::nullopt;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : 128 + WTERMSIG(m_status);
    }
    void stop() {
        if (running()) {
            ::kill(m_pid, SIGTERM);
            if (!waitExit(3000)) {
                ::kill(m_pid, SIGKILL);
                waitExit(3000);
            }
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

// One window as xwininfo -root -tree lists it.
struct XWindow {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0; // absolute
};

class XSession {
public:
    // Why the desktop cannot be had here, or empty when it runs. Each program gets a
    // generous while to come up: the tests share two cores with the rest of the suite.
    std::string start() {
        constexpr int ComeUpMs = 30000;
        for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/trayer",
                                 "/usr/bin/xdotool", "/usr/bin/xwininfo", "/usr/bin/xprop"}) {
            if (::access(tool, X_OK) != 0) {
                return std::string(tool) + " is not installed";
            }
        }
        for (int n = 60 + ::getpid() % 100; n < 400; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (xfs::exists(socket) || xfs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                continue;
            }
            m_display = ":" + std::to_string(n);
            m_xvfb =
                Child({"Xvfb", m_display, "-screen", "0", "800x600x24", "-nolisten", "tcp"}, {});
            if (waitUntil([&] { return xfs::exists(socket) || !m_xvfb.running(); }, ComeUpMs) &&
                m_xvfb.running()) {
                break;
            }
            m_xvfb.stop(); // taken meanwhile: try the next one
            m_display.clear();
        }
        if (m_display.empty()) {
            return "no free X display";
        }
        ::setenv("DISPLAY", m_display.c_str(), 1);
        m_wm = Child({"openbox"}, {});
        if (!waitUntil(
                [] {
                    return !shell("xprop -root _NET_SUPPORTING_WM_CHECK").empty() &&
                           shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") !=
                               std::string::npos;
                },
                ComeUpMs)) {
            return "openbox did not come up";
        }
        m_tray = Child({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                        "--height", "24", "--SetDockType", "true"},
                       {});
        if (!waitUntil(
                [] {
                    return shell("xwininfo -root -tree").find("(\"panel\" \"trayer\")") !=
                           std::string::npos;
                },
                ComeUpMs)) {
            return "trayer did not come up";
        }
        return {};
    }
    ~XSession() {
        m_tray.stop();
        m_wm.stop();
        m_xvfb.stop();
    }
    const std::string& display() const { return m_display; }
    // Ends the notification area, as when its program crashes.
    void stopTray() { m_tray.stop(); }

    // Windows of the class "rizuzez" embedded in the notification area.
    static std::vector<XWindow> trayIcons() {
        std::vector<XWindow> icons;
        std::istringstream tree(shell("xwininfo -root -tree"));
        std::string line;
        std::size_t panelIndent = std::string::npos;
        while (std::getline(tree, line)) {
            const std::size_t indent = line.find_first_not_of(' ');
            if (indent == std::string::npos) {
                continue;
            }
            if (line.find("(\"panel\" \"trayer\")") != std::string::npos) {
                panelIndent = indent;
                continue;
            }
            if (panelIndent == std::string::npos) {
                continue;
            }
            if (indent <= panelIndent) {
                panelIndent = std::string::npos;
                continue;
            }
            if (line.find("(\"rizuzez\" \"Rizuzez\")") != std::string::npos) {
                XWindow w;
                w.id = line.substr(indent, line.find(' ', indent) - indent);
                // "...)  22x22+0+0  +777+577": size with the place in the parent, then the
                // absolute place.
                std::istringstream geo(line.substr(line.rfind(')') + 1));
                std::string size, place;
                geo >> size >> place;
                std::sscanf(size.c_str(), "%dx%d", &w.width, &w.height);
                const auto second = place.find('+', 1);
                w.x = std::atoi(place.substr(1, second - 1).c_str());
                w.y = std::atoi(place.substr(second + 1).c_str());
                icons.push_back(w);
            }
        }
        return icons;
    }

    // The first visible window whose name matches the pattern, or empty.
    static std::string window(const std::string& pattern) {
        std::istringstream ids(shell("xdotool search --onlyvisible --name '" + pattern + "'"));
        std::string id;
        ids >> id;
        return id;
    }
    // The program's main window.
    static std::string mainWindow() { return window("^Rizuzez$"); }
    static bool viewable(const std::string& id) {
        return shell("xwininfo -id " + id).find("IsViewable") != std::string::npos;
    }
    // Top-level windows the window manager lists for taskbars.
    static bool inClientList(const std::string& id) {
        const std::string list = shell("xprop -root _NET_CLIENT_LIST");
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(id));
        return list.find(hex) != std::string::npos;
    }
    static XWindow geometry(const std::string& id) {
        XWindow w;
        w.id = id;
        const std::string info = shell("xwininfo -id " + id);
        const auto field = [&](const char* name) {
            const auto at = info.find(name);
            return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + std::strlen(name));
        };
        w.x = field("Absolute upper-left X:");
        w.y = field("Absolute upper-left Y:");
        w.width = field("Width:");
        w.height = field("Height:");
        return w;
    }

private:
    std::string m_display;
    Child m_xvfb, m_wm, m_tray;
};

} // namespace rizuzez::testing
