// "serve": a base-station text port on 127.0.0.1 replaying a recording or generating traffic.
#include "app/config.h"
#include "cli/lineserver.h"
#include "cli/options.h"
#include "feed/coord.h"
#include "feed/sbsreplay.h"
#include "feed/trafficgen.h"
#include "geodesy/trigo.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace rizuzez::cli {
namespace {

constexpr const char* Help =
    "usage: rizuzez-cli serve [FILE] [--port P] [--speed X|max] [--loop]\n"
    "                         [--lat LAT --lon LON] [--data-dir DIR] [--seed N] [--aircraft N]\n"
    "\n"
    "Serves base-station text (\"MSG\" lines ending in CR LF) on 127.0.0.1, as a receiver's\n"
    "base-station port does, for trying the program without a receiver.\n"
    "\n"
    "With FILE: the recorded lines, paced by their recorded times (generated date and time,\n"
    "else logged date and time; lines without a time go out with the one before).\n"
    "Without FILE: generated traffic of aircraft around the station, a few hundred lines a\n"
    "second; the station is --lat/--lon, else \"latitude\"/\"longitude\" of section\n"
    "\"homestation\" in rizuzez.ini (or basestation.ini) in the data folder, else 52.3 N 4.76 E.\n"
    "\n"
    "Every client gets the whole stream from its beginning, paced from the moment it\n"
    "connects; when a file ends (without --loop) its connection is closed.\n"
    "\n"
    "  --port P        TCP port (default 30003; 0 picks a free port, printed at start)\n"
    "  --speed X|max   X times real time (default 1), or max: as fast as each client reads\n"
    "  --loop          serve FILE again and again\n"
    "  --lat, --lon    station position in decimal degrees, north and east positive\n"
    "  --data-dir DIR  data folder holding rizuzez.ini (default: rizuzez1 beside the program)\n"
    "  --seed N        generated traffic: the same N gives the same lines (default 1)\n"
    "  --aircraft N    generated traffic: aircraft in range at a time (default 80)\n"
    "\n"
    "Stops on Ctrl+C (SIGINT) or SIGTERM.\n";

// Used when neither the options nor the configuration name the station.
constexpr double DefaultLat = 52.3;
constexpr double DefaultLon = 4.76;

constexpr std::size_t ReadBytes = 64 * 1024;

double parseSpeed(const std::string& text) {
    if (text == "max" || text == "MAX") {
        return 0.0;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v <= 0.0 || v > 1e6) {
        throw UsageError("--speed: expected a positive number or max, got '" + text + "'");
    }
    return v;
}

unsigned long long parseUnsigned(const std::string& text, const std::string& option,
                                 unsigned long long lo, unsigned long long hi) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    errno = 0;
    const unsigned long long v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || errno != 0 || v < lo || v > hi) {
        throw UsageError("--" + option + ": expected a whole number from " + std::to_string(lo) +
                         " to " + std::to_string(hi) + ", got '" + text + "'");
    }
    return v;
}

std::string speedText(double speed) {
    if (speed == 0.0) {
        return "as fast as each client reads";
    }
    if (speed == 1.0) {
        return "at real time";
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "at %gx real time", speed);
    return buf;
}

// The local wall clock in ms since 1970-01-01 as if it were UTC: what a base-station port
// writes into its date and time fields.
std::int64_t localNowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    return (static_cast<std::int64_t>(ts.tv_sec) + local.tm_gmtoff) * 1000 + ts.tv_nsec / 1'000'000;
}

struct Home {
    double lat = DefaultLat, lon = DefaultLon;
    std::string source = "default position";
};

// A coordinate written by the window: "." as decimal mark, or the "," of a desktop whose
// separator it is.
double iniCoordinate(const std::string& text, const std::string& file, const char* key) {
    double v = StrToCoord(text, '.');
    if (v == InvalidValue) {
        v = StrToCoord(text, ',');
    }
    if (v == InvalidValue) {
        throw UsageError(file + ": [homestation] " + key + " '" + text +
                         "' is not a number in decimal degrees (give --lat and --lon)");
    }
    return v;
}

// The station position as the window takes it at start-up: the position boxes of
// "rizuzez.ini", or of "basestation.ini" when the former has no latitude.
std::optional<Home> homeFromConfiguration(const std::string& dataDir) {
    Settings settings = readSettings(configPath(dataDir)).settings;
    const std::string path = applyHomeFallback(settings, homeFallbackPath(dataDir))
                                 ? homeFallbackPath(dataDir)
                                 : configPath(dataDir);
    if (settings.latitude.empty()) {
        return std::nullopt;
    }
    if (settings.longitude.empty()) {
        throw UsageError(path +
                         ": [homestation] has a latitude but no longitude (give --lat and --lon)");
    }
    return Home{iniCoordinate(settings.latitude, path, "latitude"),
                iniCoordinate(settings.longitude, path, "longitude"), path};
}

class GeneratedFeed final : public LineFeed {
public:
    explicit GeneratedFeed(const TrafficConfig& config) : m_gen(config) {}
    bool next(std::string& line, std::int64_t& dueMs) override {
        dueMs = m_gen.next(line);
        return true;
    }

private:
    TrafficGenerator m_gen;
};

// One client's pass (or passes) over the recording, read as it goes so that a large file
// costs each client only its read buffer.
class FileFeed final : public LineFeed {
public:
    FileFeed(int fd, bool loop, std::string name)
        : m_fd(fd), m_loop(loop), m_name(std::move(name)) {}
    ~FileFeed() override { ::close(m_fd); }
    FileFeed(const FileFeed&) = delete;
    FileFeed& operator=(const FileFeed&) = delete;

    bool next(std::string& line, std::int64_t& dueMs) override {
        while (m_ready.empty()) {
            if (m_done) {
                return false;
            }
            readMore();
        }
        line = std::move(m_ready.front().first);
        dueMs = m_ready.front().second;
        m_ready.pop_front();
        return true;
    }

private:
    void readMore() {
        auto push = [this](std::string_view l) {
            m_ready.emplace_back(std::string(l), m_pacer.dueMs(l));
            ++m_linesThisPass;
        };
        const ssize_t n = ::read(m_fd, m_buf.data(), m_buf.size());
        if (n > 0) {
            m_splitter.feed(std::string_view(m_buf.data(), static_cast<std::size_t>(n)), push);
        } else if (n == 0) {
            m_splitter.finish(push);
            // A file without a single line would loop without end and send nothing.
            if (m_loop && m_linesThisPass > 0 && ::lseek(m_fd, 0, SEEK_SET) == 0) {
                m_pacer.newPass();
                m_linesThisPass = 0;
            } else {
                m_done = true;
            }
        } else if (errno != EINTR) {
            std::fprintf(stderr, "rizuzez-cli serve: read error on %s: %s\n", m_name.c_str(),
                         std::strerror(errno));
            m_done = true;
        }
    }

    int m_fd;
    bool m_loop;
    std::string m_name;
    bool m_done = false;
    std::uint64_t m_linesThisPass = 0;
    std::vector<char> m_buf = std::vector<char>(ReadBytes);
    LineSplitter m_splitter;
    ReplayPacer m_pacer;
    std::deque<std::pair<std::string, std::int64_t>> m_ready;
};

// Whether the start of the file carries time stamps the pace can follow.
bool fileHasTimes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<char> buf(ReadBytes);
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    ::close(fd);
    bool found = false;
    LineSplitter splitter;
    auto look = [&found](std::string_view l) { found = found || recordedTimeMs(l).has_value(); };
    if (n > 0) {
        splitter.feed(std::string_view(buf.data(), static_cast<std::size_t>(n)), look);
        splitter.finish(look);
    }
    return found;
}

void logLine(const std::string& text) {
    std::fprintf(stderr, "rizuzez-cli serve: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace

int serveCommand(const std::vector<std::string>& args) {
    const Options opt(args, {"port", "speed", "lat", "lon", "data-dir", "seed", "aircraft"},
                      {"loop", "help"});
    if (opt.has("help")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (opt.positional().size() > 1) {
        throw UsageError("one FILE at most");
    }
    const auto port = static_cast<std::uint16_t>(
        opt.has("port") ? parseUnsigned(*opt.value("port"), "port", 0, 65535) : 30003);
    const double speed = opt.has("speed") ? parseSpeed(*opt.value("speed")) : 1.0;

    FeedFactory makeFeed;
    std::string what;
    if (!opt.positional().empty()) {
        for (const char* o : {"lat", "lon", "seed", "aircraft"}) {
            if (opt.has(o)) {
                throw UsageError(std::string("--") + o +
                                 " is for generated traffic, not with a FILE");
            }
        }
        const std::string path = opt.positional().front();
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        const bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (fd >= 0) {
            ::close(fd);
        }
        if (!regular) {
            throw UsageError(fd < 0 ? "cannot read " + path : path + " is not a regular file");
        }
        const bool loop = opt.has("loop");
        makeFeed = [path, loop]() -> std::unique_ptr<LineFeed> {
            const int f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (f < 0) {
                logLine("cannot read " + path + ": " + std::strerror(errno));
                return nullptr;
            }
            return std::make_unique<FileFeed>(f, loop, path);
        };
        what = path + (loop ? " in a loop " : " ") + speedText(speed);
        if (speed != 0.0 && !fileHasTimes(path)) {
            what += " (no time stamps at its start: lines go out as fast as each client reads)";
        }
    } else {
        if (opt.has("loop")) {
            throw UsageError("--loop needs a FILE");
        }
        if (opt.has("lat") != opt.has("lon")) {
            throw UsageError("--lat and --lon go together");
        }
        Home home;
        if (opt.has("lat")) {
            home = {parseCoordinate(*opt.value("lat"), "lat"),
                    parseCoordinate(*opt.value("lon"), "lon"), "--lat/--lon"};
        } else if (auto fromIni =
                       homeFromConfiguration(opt.value("data-dir").value_or(defaultDataDir()))) {
            home = *fromIni;
        }
        if (!(std::fabs(home.lat) <= 90.0) || !(std::fabs(home.lon) <= 180.0)) {
            throw UsageError(
                "the station position must lie within latitude -90..90 and longitude -180..180");
        }
        TrafficConfig config;
        config.homeLat = home.lat;
        config.homeLon = home.lon;
        config.seed = opt.has("seed") ? parseUnsigned(*opt.value("seed"), "seed", 0, ~0ull) : 1;
        config.aircraft =
            opt.has("aircraft")
                ? static_cast<int>(parseUnsigned(*opt.value("aircraft"), "aircraft", 1, 1000))
                : config.aircraft;
        makeFeed = [config]() -> std::unique_ptr<LineFeed> {
            TrafficConfig c = config;
            c.startMs = localNowMs();
            return std::make_unique<GeneratedFeed>(c);
        };
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "generated traffic of %d aircraft around %.4f %.4f (%s; seed %llu) ",
                      config.aircraft, home.lat, home.lon, home.source.c_str(),
                      static_cast<unsigned long long>(config.seed));
        what = buf + speedText(speed);
    }

    installStopSignals();
    LineServer server(port, makeFeed, speed, logLine);
    logLine("listening on 127.0.0.1:" + std::to_string(server.port()) + ", serving " + what);
    server.run();
    logLine("stopped after " + std::to_string(server.clientsServed()) + " clients and " +
            std::to_string(server.linesSent()) + " lines");
    return 0;
}

} // namespace rizuzez::cli
