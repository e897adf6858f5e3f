// "run": the station as a headless service: connects to the base-station port on its own,
// keeps the coverage, saves on schedule and on SIGTERM/SIGINT/SIGHUP.
#include "app/config.h"
#include "app/service.h"
#include "app/startup.h"
#include "cli/feedlink.h"
#include "cli/options.h"
#include "coverage/outline.h"
#include "feed/coord.h"
#include "feed/reconnect.h"
#include "geodesy/trigo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace rizuzez::cli {
namespace {
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* Help =
    "usage: rizuzez-cli run [--data-dir DIR] [--host H] [--port P] [--lat LAT --lon LON]\n"
    "                       [--filter NM|NEVER] [--autosave OFF|1h|6h|12h|24h]\n"
    "                       [--no-plot-save] [--no-outline-save] [--clear-on-save]\n"
    "                       [--load|--no-load] [--clean-up]\n"
    "\n"
    "Runs the station without a window: connects to the base-station port, records the\n"
    "coverage, reloads the blacklist every minute, writes the timed plot and outline files on\n"
    "the auto-save schedule, and writes the default plot files when stopped by SIGTERM,\n"
    "SIGINT or SIGHUP. A lost or silent feed (no byte for 120 s) is reconnected after 1 s,\n"
    "doubling up to 60 s while it stays away. Each connect, loss and save is one line on\n"
    "stderr, and the message rate and totals once a minute.\n"
    "\n"
    "Settings come from the window's rizuzez.ini in the data folder (the station position\n"
    "from basestation.ini when rizuzez.ini has none); the options override them and are not\n"
    "written back. Without a usable station position the service does not start (status 2).\n"
    "\n"
    "  --data-dir DIR     data folder (default: rizuzez1 beside the program, else\n"
    "                     $XDG_DATA_HOME/Rizuzez/rizuzez1); outline files go to DIR/outlines\n"
    "  --host H --port P  the base-station port (default: rizuzez.ini, else 127.0.0.1 30003)\n"
    "  --lat, --lon       station position in decimal degrees, north and east positive\n"
    "  --filter NM|NEVER  ignore positions farther than NM nautical miles (NEVER = 999)\n"
    "  --autosave I       timed saves: OFF, or every 1h, 6h, 12h or 24h\n"
    "  --no-plot-save     timed saves write no plot files\n"
    "  --no-outline-save  timed saves write no outline file\n"
    "  --clear-on-save    clear the coverage after each timed save\n"
    "  --load, --no-load  start from the default plot in the data folder (default: --load)\n"
    "  --clean-up         empty cells beyond the filter range found in the loaded plot\n"
    "\n"
    "Exit status: 0 when stopped with the default plot saved, 1 when that save failed, 2 for\n"
    "a bad option or setting (nothing is recorded then).\n";

// Set from the signal handlers; the loop looks at it after each poll().
volatile std::sig_atomic_t g_stopSignal = 0;
int g_wakeFd = -1; // write end of the self-pipe that wakes poll()

void onStopSignal(int sig) {
    g_stopSignal = sig;
    const int saved = errno;
    if (g_wakeFd >= 0) {
        const char b = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_wakeFd, &b, 1);
    }
    errno = saved;
}

class SelfPipe {
public:
    SelfPipe() {
        if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
        g_wakeFd = m_fds[1];
    }
    ~SelfPipe() {
        g_wakeFd = -1;
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    SelfPipe(const SelfPipe&) = delete;
    SelfPipe& operator=(const SelfPipe&) = delete;
    int readFd() const { return m_fds[0]; }
    void drain() const {
        char buf[64];
        while (::read(m_fds[0], buf, sizeof buf) > 0) {
        }
    }

private:
    int m_fds[2] = {-1, -1};
};

void installSignals() {
    struct sigaction sa {};
    sa.sa_handler = &onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: poll() returns at once
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(sig, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

const char* signalName(int sig) {
    switch (sig) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal";
    }
}

// The time the station sees. Normally the system's local time; for long-run tests a clock
// that moves one second per tick, so that a day of timed saves passes in minutes.
class ServiceClock final : public Clock {
public:
    explicit ServiceClock(bool stepped) : m_stepped(stepped), m_base(toDays(m_system.now())) {}
    LocalDateTime now() const override {
        return m_stepped ? fromDays(m_base + static_cast<double>(m_ticks) / 86400.0)
                         : m_system.now();
    }
    void tick() { ++m_ticks; }

private:
    SystemClock m_system;
    bool m_stepped;
    double m_base;
    long long m_ticks = 0;
};

// Start-up answers from the options: the reload question by --load/--no-load. The clean-up
// is done afterwards, against the filter the options give.
struct ServiceAnswers final : StartupQuestions {
    bool reload = true;
    bool confirmReload() override { return reload; }
    std::optional<std::string> choosePlotFile(const std::string&) override { return std::nullopt; }
    bool confirmCleanUp(std::int32_t, const std::string&) override { return false; }
};

std::string userDataDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        return (fs::path(xdg) / "Rizuzez").string();
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return (fs::path(home) / ".local" / "share" / "Rizuzez").string();
    }
    return {};
}

std::string exeDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path().string() : exe.parent_path().string();
}

AutoSaveSettings applyAutoSaveOption(AutoSaveSettings a, const std::string& text) {
    std::string t = text;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
    a.Noautosave1 = t == "off";
    a.Saveevery1hour1 = t == "1h";
    a.Saveevery6hours1 = t == "6h";
    a.Saveevery12hours1 = t == "12h";
    a.Saveevery24hours1 = t == "24h";
    if (!a.Noautosave1 && !a.Saveevery1hour1 && !a.Saveevery6hours1 && !a.Saveevery12hours1 &&
        !a.Saveevery24hours1) {
        throw UsageError("--autosave: expected OFF, 1h, 6h, 12h or 24h, got '" + text + "'");
    }
    return a;
}

std::string autoSaveSummary(const AutoSaveSettings& a) {
    if (a.Noautosave1) {
        return "off";
    }
    std::string s;
    if (a.Saveevery1hour1) {
        s = "every 1 hour";
    } else if (a.Saveevery6hours1) {
        s = "every 6 hours";
    } else if (a.Saveevery12hours1) {
        s = "every 12 hours";
    } else if (a.Saveevery24hours1) {
        s = "every 24 hours";
    } else {
        s = "at every pass (no interval checked)";
    }
    s += std::string(" (") + (a.Saveplotfile1 ? "plot" : "no plot") +
         (a.SaveOUTfile2 ? ", outline" : ", no outline") + (a.clear2 ? ", clear" : "") + ")";
    return s;
}

// The station position as the window's START checks it, then a range check, which the
// window leaves out but a service cannot show to anybody before running for weeks on it.
void checkHome(const std::string& latText, const std::string& lonText, const std::string& from,
               double& lat, double& lon) {
    if (latText.empty() || lonText.empty()) {
        throw UsageError("no station position: give --lat and --lon, or set latitude and "
                         "longitude in [homestation] of " +
                         from);
    }
    lat = StrToCoord(latText, '.');
    lon = StrToCoord(lonText, '.');
    if (lat == InvalidValue || !std::isfinite(lat) || std::abs(lat) > 90.0) {
        throw UsageError("the station latitude '" + latText +
                         "' is not a latitude in decimal degrees (-90 to 90)");
    }
    if (lon == InvalidValue || !std::isfinite(lon) || std::abs(lon) > 180.0) {
        throw UsageError("the station longitude '" + lonText +
                         "' is not a longitude in decimal degrees (-180 to 180)");
    }
}

// Keeps a second service off the same data folder: both would overwrite the other's saves.
int lockDataDir(const std::string& dataDir) {
    const std::string path = dataPath(dataDir, "rizuzez1.lock");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw UsageError("cannot create " + path + ": " + std::strerror(errno));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw UsageError("another rizuzez-cli run is using the data folder " + dataDir);
    }
    return fd;
}

} // namespace

int runCommand(const std::vector<std::string>& args) {
    const Options opt(args,
                      {"data-dir", "host", "port", "lat", "lon", "filter", "autosave", "tick-ms"},
                      {"no-plot-save", "no-outline-save", "clear-on-save", "load", "no-load",
                       "clean-up", "help"});
    if (opt.has("help")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (!opt.positional().empty()) {
        throw UsageError("unexpected argument '" + opt.positional().front() + "'");
    }
    if (opt.has("load") && opt.has("no-load")) {
        throw UsageError("--load and --no-load exclude each other");
    }
    if (opt.has("lat") != opt.has("lon")) {
        throw UsageError("--lat and --lon go together");
    }
    // Hidden, for long-run tests: a tick every N ms of real time, each moving the station's
    // clock on by one second.
    std::optional<int> tickMs;
    if (const auto t = opt.value("tick-ms")) {
        const double v = StrToCoord(*t, '.');
        if (v < 1.0 || v > 1000.0 || v != std::floor(v)) {
            throw UsageError("--tick-ms: expected a whole number from 1 to 1000");
        }
        tickMs = static_cast<int>(v);
    }
    std::optional<double> filterOption;
    if (const auto f = opt.value("filter")) {
        filterOption = parseFilter(*f);
    }
    std::optional<std::int32_t> portOption;
    if (const auto p = opt.value("port")) {
        const std::optional<std::int32_t> v = parseIniInteger(*p);
        if (!v || *v < 1 || *v > 65535) {
            throw UsageError("--port: expected a TCP port from 1 to 65535, got '" + *p + "'");
        }
        portOption = v;
    }
    if (const auto h = opt.value("host"); h && h->empty()) {
        throw UsageError("--host: empty host name");
    }

    // From here on a stop request is honoured: it ends the loop before the first wait.
    SelfPipe wake;
    installSignals();

    ServiceClock clock(tickMs.has_value());
    Station station(clock);
    station.setDecimalSeparator('.');
    ServiceAnswers answers;
    answers.reload = !opt.has("no-load");
    DataFolders folders;
    if (const auto d = opt.value("data-dir")) {
        if (d->empty()) {
            throw UsageError("--data-dir: empty folder name");
        }
        folders = useDataDir(*d);
    } else {
        folders = setUpDataDir(exeDir(), userDataDir());
    }
    StartupResult started = runStartupIn(station, folders, answers);
    if (!started.folders.usable) {
        throw UsageError("cannot write to the data folder " + started.folders.DataDir);
    }
    Settings& s = started.settings;

    // Options override the configuration.
    if (const auto h = opt.value("host")) {
        s.ip = *h;
    }
    if (portOption) {
        s.TelnetPort = *portOption;
    }
    if (s.ip.empty()) {
        throw UsageError("no feed host: give --host or set ip in [telnet] of " +
                         configPath(station.DataDir));
    }
    if (s.TelnetPort < 1 || s.TelnetPort > 65535) {
        throw UsageError("port " + std::to_string(s.TelnetPort) + " in " +
                         configPath(station.DataDir) + " is not a TCP port (1 to 65535)");
    }
    std::string homeFrom = configPath(station.DataDir) + " or " + homeFallbackPath(station.DataDir);
    if (opt.has("lat")) {
        s.latitude = *opt.value("lat");
        s.longitude = *opt.value("lon");
        homeFrom = "--lat/--lon";
    }
    double lat = 0.0, lon = 0.0;
    checkHome(s.latitude, s.longitude, homeFrom, lat, lon);
    if (filterOption) {
        station.decoder.FilterRange = *filterOption;
    }
    if (const auto a = opt.value("autosave")) {
        s.autoSave = applyAutoSaveOption(s.autoSave, *a);
    }
    if (opt.has("no-plot-save")) {
        s.autoSave.Saveplotfile1 = false;
    }
    if (opt.has("no-outline-save")) {
        s.autoSave.SaveOUTfile2 = false;
    }
    if (opt.has("clear-on-save")) {
        s.autoSave.clear2 = true;
    }
    const int lockFd = lockDataDir(station.DataDir);

    auto log = [&clock](const std::string& line) {
        std::fprintf(stderr, "%s %s\n", formatLogTimestamp(clock.now()).c_str(), line.c_str());
        std::fflush(stderr);
    };

    // The clean-up of the start-up, against the filter now in force; like the window's, it
    // runs before the station position is set.
    if (opt.has("clean-up")) {
        auto cleaned = std::make_unique<PlotTable>(station.coverage.PlotData);
        const std::int32_t n = CountExceeding(*cleaned, station.decoder.FilterRange,
                                              station.decoder.homeLat(), station.decoder.homeLon());
        if (n > 0) {
            station.coverage.PlotData = *cleaned;
            RecomputeMax(station.coverage.PlotData, station.coverage.MaxDistance,
                         station.decoder.homeLat(), station.decoder.homeLon());
        }
        log("clean-up: " + std::to_string(n) + " cells beyond the filter range emptied");
    }

    // START: position, log file, schedule.
    station.decoder.setHome(lat, lon);
    if (s.logfile) {
        station.decoder.IgnoredLog = station.ignoredLogFile();
        station.decoder.logIgnored = true;
        if (std::FILE* f = std::fopen(station.decoder.IgnoredLog.c_str(), "ab")) {
            std::fclose(f);
        }
    }
    ServiceSettings serviceSettings;
    serviceSettings.autoSave = s.autoSave;
    const std::string outlinesDir = started.folders.outlinesDir;
    serviceSettings.exportOutline = [&station, outlinesDir] {
        std::error_code ec;
        fs::create_directories(outlinesDir, ec);
        return WriteOutlineFile(
            outlineFilePath(outlinesDir, OutlineSender::Timer1, station.clock().now()),
            station.coverage.PlotData, station.decoder.homeLat(), station.decoder.homeLon(),
            station.decimalSeparator());
    };
    StationService service(station, serviceSettings, log);

    char filterText[32];
    std::snprintf(filterText, sizeof filterText, "%.0f NM", station.decoder.FilterRange);
    std::string reloadText = started.reload.datLoaded    ? "default plot reloaded"
                             : started.reload.datDamaged ? "default plot DAMAGED, starting empty"
                             : answers.reload            ? "no default plot, starting empty"
                                                         : "not reloading the default plot";
    if (started.reload.completedInterruptedSave) {
        reloadText += " (after finishing its interrupted save)";
    }
    char home[64];
    std::snprintf(home, sizeof home, "%.5f %.5f", lat, lon);
    FeedLink link(s.ip, std::to_string(s.TelnetPort), std::chrono::seconds(ConnectTimeoutSeconds));
    log("rizuzez-cli run: data folder " + station.DataDir + "; " + reloadText + "; station " +
        home + "; filter " + (station.decoder.FilterRange == 999.0 ? "NEVER" : filterText) +
        "; auto-save " + autoSaveSummary(s.autoSave) + "; feed " + link.where() +
        (tickMs ? "; stepped clock, a tick every " + std::to_string(*tickMs) + " ms" : ""));
    service.start();

    const milliseconds tickPeriod(tickMs.value_or(1000));
    const milliseconds idleLimit = std::chrono::seconds(FeedIdleTimeoutSeconds);
    ReconnectBackoff backoff;
    Steady::time_point nextTick = Steady::now() + tickPeriod;
    Steady::time_point retryAt = Steady::now();
    Steady::time_point lastByte{};
    bool gotData = false;
    std::string replies;
    // A feed that trickles (a station's few hundred lines a second, each sent on its own) is
    // read at most every ReadPause, so that one wake-up decodes a batch instead of a line. A
    // busier feed (TrickleBytes or more in the last second) is read as fast as it comes:
    // pausing it would cap it at a socket buffer per pause.
    constexpr milliseconds ReadPause(50);
    constexpr std::int64_t TrickleBytes = 256 * 1024;
    Steady::time_point readAfter{};
    Steady::time_point rateWindow = Steady::now();
    std::int64_t windowBytes = 0, lastWindowBytes = TrickleBytes;

    auto retryLater = [&](bool lostConnection, const std::string& reason) {
        const int pause = backoff.nextPauseSeconds();
        retryAt = Steady::now() + std::chrono::seconds(pause);
        if (lostConnection) {
            service.lost(link.where(), reason, pause);
        } else {
            service.connectFailed(link.where(), reason, pause);
        }
    };
    auto handle = [&](FeedLink::Event e) {
        switch (e) {
        case FeedLink::Event::Connected:
            lastByte = Steady::now();
            gotData = false;
            service.connected(link.where());
            break;
        case FeedLink::Event::Failed:
            retryLater(false, link.reason());
            break;
        case FeedLink::Event::Lost:
            retryLater(true, link.reason());
            break;
        case FeedLink::Event::Data:
            lastByte = Steady::now();
            if (!gotData) {
                gotData = true; // a good connection: the next loss retries after 1 s again
                backoff.reset();
            }
            windowBytes += static_cast<std::int64_t>(link.data().size());
            if (lastByte - rateWindow >= std::chrono::seconds(1)) {
                lastWindowBytes = windowBytes;
                windowBytes = 0;
                rateWindow = lastByte;
            }
            readAfter =
                lastWindowBytes < TrickleBytes ? lastByte + ReadPause : Steady::time_point{};
            replies.clear();
            service.received(link.data(), replies);
            if (!replies.empty()) {
                link.send(replies);
            }
            break;
        case FeedLink::Event::None:
            break;
        }
    };

    while (g_stopSignal == 0) {
        Steady::time_point now = Steady::now();
        if (link.state() == FeedLink::State::Closed && now >= retryAt) {
            handle(link.connect(now));
        }
        if (link.state() == FeedLink::State::Up && now - lastByte >= idleLimit) {
            link.close();
            retryLater(true, "no data for " + std::to_string(FeedIdleTimeoutSeconds) + " s");
        }
        now = Steady::now();
        if (now >= nextTick) {
            clock.tick();
            service.tick();
            nextTick += tickPeriod;
            if (nextTick <= now) { // fell behind (a slow save): no burst of ticks
                nextTick = now + tickPeriod;
            }
        }

        Steady::time_point wakeAt = nextTick;
        switch (link.state()) {
        case FeedLink::State::Closed:
            wakeAt = std::min(wakeAt, retryAt);
            break;
        case FeedLink::State::Connecting:
            wakeAt = std::min(wakeAt, link.deadline());
            break;
        case FeedLink::State::Up:
            wakeAt = std::min(wakeAt, lastByte + idleLimit);
            if (now < readAfter) {
                wakeAt = std::min(wakeAt, readAfter);
            }
            break;
        }
        now = Steady::now();
        const auto waitMs = std::chrono::ceil<milliseconds>(wakeAt - now).count();
        const bool pausing = link.state() == FeedLink::State::Up && now < readAfter;
        pollfd fds[2] = {{wake.readFd(), POLLIN, 0},
                         {link.fd(), pausing ? short{0} : link.pollEvents(), 0}};
        const nfds_t count = link.fd() >= 0 ? 2 : 1;
        const int rc =
            ::poll(fds, count, static_cast<int>(std::clamp<long long>(waitMs, 0, 60000)));
        if (rc < 0 && errno != EINTR) {
            log(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (rc > 0 && (fds[0].revents & POLLIN)) {
            wake.drain();
        }
        if (link.state() != FeedLink::State::Closed) {
            handle(link.step(rc > 0 && count == 2 ? fds[1].revents : 0, Steady::now()));
        }
    }

    link.close();
    const SaveResult saved =
        service.stop(g_stopSignal != 0 ? signalName(g_stopSignal) : "poll failed");
    ::close(lockFd);
    return saved.failed.empty() && g_stopSignal != 0 ? 0 : 1;
}

} // namespace rizuzez::cli
