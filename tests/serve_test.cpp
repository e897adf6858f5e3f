// "rizuzez-cli serve" as its clients see it: the real program and real sockets on 127.0.0.1.
#include "feed/trafficgen.h"
#include "geodesy/trigo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace rizuzez;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "rizuzez-serve-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    std::string file(const std::string& name, const std::string& content) const {
        const fs::path p = m_path / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::string path() const { return m_path.string(); }

private:
    fs::path m_path;
};

// The program, started with the given arguments, its standard error on a pipe.
class ServeProcess {
public:
    explicit ServeProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
        std::vector<std::string> all = {RIZUZEZ_CLI, "serve"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, RIZUZEZ_CLI, &fa, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        m_err = fds[0];
    }
    ~ServeProcess() {
        if (m_pid > 0 && m_status == Running) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0) {
            ::close(m_err);
        }
    }

    // The first line on standard error, waiting up to 10 s.
    std::string firstLine() {
        const auto start = Clock::now();
        while (m_text.find('\n') == std::string::npos && msSince(start) < 10'000 && readErr(100)) {
        }
        return m_text.substr(0, m_text.find('\n'));
    }
    // The port announced in the first line; 0 if none.
    int port() {
        std::smatch m;
        const std::string line = firstLine();
        return std::regex_search(line, m, std::regex(R"(127\.0\.0\.1:(\d+))")) ? std::stoi(m[1])
                                                                               : 0;
    }
    bool running() {
        if (m_status == Running) {
            int st = 0;
            if (::waitpid(m_pid, &st, WNOHANG) == m_pid) {
                m_status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            }
        }
        return m_status == Running;
    }
    // Waits up to 10 s for the program to end (after sending sig, unless 0); its exit status,
    // -1 when a signal ended it, -2 when it did not end.
    int finish(int sig) {
        if (sig && running()) {
            ::kill(m_pid, sig);
        }
        const auto start = Clock::now();
        while (running() && msSince(start) < 10'000) {
            readErr(20);
        }
        while (readErr(0)) {
        }
        return m_status == Running ? -2 : m_status;
    }
    const std::string& stderrText() const { return m_text; }

private:
    static constexpr int Running = -100;
    // Reads what standard error holds; false at its end.
    bool readErr(int timeoutMs) {
        pollfd p{m_err, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return timeoutMs > 0;
        }
        char buf[4096];
        const ssize_t n = ::read(m_err, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        m_text.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_err = -1;
    int m_status = Running;
    std::string m_text;
};

// A client of the port.
class Client {
public:
    explicit Client(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { close(); }
    bool connected() const { return m_connected; }

    // Everything until the server closes the connection (or timeoutMs passes).
    std::string readAll(int timeoutMs = 20'000) {
        const auto start = Clock::now();
        while (receive(100) != 0 && msSince(start) < timeoutMs) {
        }
        return take(m_buf.size());
    }
    // The next n lines with their line breaks ("" on a timeout or end).
    std::string readLines(std::size_t n, int timeoutMs = 20'000) {
        const auto start = Clock::now();
        std::size_t end = 0, found = 0;
        while (found < n) {
            const auto lf = m_buf.find('\n', end);
            if (lf != std::string::npos) {
                end = lf + 1;
                ++found;
                continue;
            }
            if (receive(100) == 0 || msSince(start) > timeoutMs) {
                return "";
            }
        }
        return take(end);
    }
    // Lines as they arrive, with the time of arrival (ms since start).
    std::vector<std::pair<std::string, double>> readTimed(Clock::time_point start,
                                                          int timeoutMs = 20'000) {
        std::vector<std::pair<std::string, double>> out;
        for (;;) {
            const auto lf = m_buf.find("\r\n");
            if (lf != std::string::npos) {
                out.emplace_back(m_buf.substr(0, lf), msSince(start));
                m_buf.erase(0, lf + 2);
                continue;
            }
            if (receive(50) == 0 || msSince(start) > timeoutMs) {
                return out;
            }
        }
    }
    // Closes with a reset, as a client that crashes or is killed does.
    void abort() {
        const linger l{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }
    void close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    // Bytes received within timeoutMs: -1 for none yet, 0 at the end of the stream.
    ssize_t receive(int timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return -1;
        }
        char buf[65536];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n > 0) {
            m_buf.append(buf, static_cast<std::size_t>(n));
        }
        return n < 0 ? 0 : n;
    }
    std::string take(std::size_t n) {
        std::string s = m_buf.substr(0, n);
        m_buf.erase(0, n);
        return s;
    }

    int m_fd = -1;
    bool m_connected = false;
    std::string m_buf;
};

std::vector<std::string> splitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto e = text.find("\r\n"); e != std::string::npos; e = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, e - start));
        start = e + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

// The non-empty lines of recorded text, whatever its line breaks.
std::vector<std::string> recordedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!cur.empty()) {
                lines.push_back(cur);
            }
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) {
        lines.push_back(cur);
    }
    return lines;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The line without its date and time fields (7 to 10), which follow the wall clock.
std::string withoutTimes(const std::string& line) {
    std::string out;
    int field = 1;
    for (const char c : line) {
        if (field < 7 || field > 10 || c == ',') {
            out += c;
        }
        field += c == ',';
    }
    return out;
}

// --- Serving a recording -----------------------------------------------------------------

struct FileCase {
    const char* name;
    std::string content;
};

const std::string L1 = "MSG,3,1,1,4D2023,1,2026/12/11,11:41:50.620,2026/12/"
                       "11,11:41:50.639,,22875,,,37.10156,13.78474,,,,,,";
const std::string L2 =
    "MSG,4,1,1,4D2023,1,2026/12/11,11:41:50.620,2026/12/11,11:41:50.639,,,388,158,,,-1920,,,,,";
const std::string L3 = "MSG,8,,,405F11,,,,,,,,,,,,,,,,,";

const FileCase FileCases[] = {
    {"crlf", L1 + "\r\n" + L2 + "\r\n" + L3 + "\r\n"},
    {"lf_only_without_final_break", L1 + "\n" + L2 + "\n" + L3},
    {"mixed_breaks_and_blank_lines", "\r\n" + L1 + "\n\n" + L2 + "\r" + L3 + "\r\n\r\n"},
};

class ServeFile : public testing::TestWithParam<FileCase> {};

TEST_P(ServeFile, SendsEveryLineWithCrLfToEachClient) {
    TempDir dir;
    const std::string path = dir.file("capture.sbs", GetParam().content);
    ServeProcess serve({path, "--speed", "max", "--port", "0"});
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    const std::string expected = L1 + "\r\n" + L2 + "\r\n" + L3 + "\r\n";
    for (int i = 0; i < 2; ++i) {
        Client c(port);
        ASSERT_TRUE(c.connected());
        EXPECT_EQ(c.readAll(), expected) << "client " << i;
    }
    EXPECT_EQ(serve.finish(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ServeFile, testing::ValuesIn(FileCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct CaptureCase {
    const char* name;
    std::string path;
    const char* speed;
};

const CaptureCase CaptureCases[] = {
    {"sample_sicily_crlf", RIZUZEZ_SAMPLES "/modes1_sicily.sbs", "max"},
    {"shared_japan_crlf", RIZUZEZ_SHARED_DATA "/sbs_coniferconifer_adsb202201082242.csv", "max"},
    // No time stamps at all: at real time too the lines go out as fast as they are read.
    {"shared_paris_lf_without_times", RIZUZEZ_SHARED_DATA "/sbs_dlozeve_adsb.csv", "1"},
};

class ServeCapture : public testing::TestWithParam<CaptureCase> {};

TEST_P(ServeCapture, SendsTheRecordedLines) {
    const CaptureCase& c = GetParam();
    if (!fs::exists(c.path)) {
        GTEST_SKIP() << c.path << " is not here";
    }
    ServeProcess serve({c.path, "--speed", c.speed, "--port", "0"});
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    Client client(port);
    const std::vector<std::string> got = splitCrLf(client.readAll());
    const std::vector<std::string> want = recordedLines(readFile(c.path));
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);
    EXPECT_EQ(serve.finish(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ServeCapture, testing::ValuesIn(CaptureCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Groups recorded 1 s apart, served at four times real time: each group arrives whole, in
// order, and never before its time (250 ms apart); an untimed line goes with the group
// before it. Only lower bounds on time are checked, and one loose upper bound.
TEST(ServePacing, FollowsRecordedTimesAtTheChosenSpeed) {
    std::string content;
    std::vector<int> groupOf;
    for (int g = 0; g < 3; ++g) {
        for (int i = 0; i < 3; ++i) {
            char buf[160];
            std::snprintf(
                buf, sizeof buf,
                "MSG,3,1,1,40621D,1,2024/05/01,10:00:%02d.%03d,2024/05/01,10:00:%02d.%03d,,"
                "35000,,,51.5,-0.5,,,,,,0\n",
                50 + g, i * 10, 50 + g, i * 10);
            content += buf;
            groupOf.push_back(g);
        }
        if (g == 0) {
            content += "MSG,8,,,405F11,,,,,,,,,,,,,,,,,\n";
            groupOf.push_back(0);
        }
    }
    TempDir dir;
    const std::string path = dir.file("paced.sbs", content);
    ServeProcess serve({path, "--speed", "4", "--port", "0"});
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    const auto start = Clock::now();
    Client client(port);
    const auto lines = client.readTimed(start);
    ASSERT_EQ(lines.size(), groupOf.size());
    const std::vector<std::string> want = recordedLines(content);
    double groupStart[3] = {};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].first, want[i]);
        const int g = groupOf[i];
        if (i == 0 || groupOf[i - 1] != g) {
            groupStart[g] = lines[i].second;
        }
        // Lines 10 ms apart in one group: 2.5 ms apart here, well within one poll.
        EXPECT_LT(lines[i].second - groupStart[g], 150.0) << "line " << i;
    }
    EXPECT_GE(groupStart[1] - groupStart[0], 240.0);
    EXPECT_GE(groupStart[2] - groupStart[0], 490.0);
    EXPECT_LT(groupStart[2], 5000.0);
    EXPECT_EQ(serve.finish(SIGTERM), 0);
}

// --- Clients ------------------------------------------------------------------------------

// A client that resets its connection in the middle of a full-speed stream costs only its
// own connection: the server neither dies (SIGPIPE) nor stalls, and every client gets the
// stream from its beginning.
TEST(ServeClients, ADisconnectingClientDoesNotDisturbTheOthers) {
    ServeProcess serve(
        {"--lat", "37.5", "--lon", "15.07", "--seed", "3", "--speed", "max", "--port", "0"});
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    Client a(port), b(port);
    ASSERT_FALSE(a.readLines(1000).empty());
    const std::vector<std::string> bFirst = splitCrLf(b.readLines(100));
    ASSERT_EQ(bFirst.size(), 100u);
    a.abort();
    Client quitter(port);
    ASSERT_FALSE(quitter.readLines(10).empty());
    quitter.close(); // an orderly close while the server is writing
    EXPECT_EQ(splitCrLf(b.readLines(100'000)).size(), 100'000u);
    Client c(port);
    const std::vector<std::string> cFirst = splitCrLf(c.readLines(100));
    ASSERT_EQ(cFirst.size(), 100u);
    for (std::size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(withoutTimes(cFirst[i]), withoutTimes(bFirst[i])) << "line " << i;
    }
    EXPECT_TRUE(serve.running());
    EXPECT_EQ(serve.finish(SIGTERM), 0);
    EXPECT_NE(serve.stderrText().find("stopped after 4 clients"), std::string::npos)
        << serve.stderrText();
}

// The lines on the port are the generator's own, line for line, apart from the wall-clock
// date and time fields.
TEST(ServeGenerated, SendsTheGeneratorsLines) {
    ServeProcess serve(
        {"--lat", "-41.3", "--lon", "179.6", "--seed", "11", "--speed", "max", "--port", "0"});
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    Client client(port);
    const std::vector<std::string> got = splitCrLf(client.readLines(20'000));
    ASSERT_EQ(got.size(), 20'000u);
    TrafficConfig config;
    config.homeLat = -41.3;
    config.homeLon = 179.6;
    config.seed = 11;
    TrafficGenerator gen(config);
    std::string line;
    int equal = 0;
    for (const std::string& g : got) {
        gen.next(line);
        equal += withoutTimes(g) == withoutTimes(line);
    }
    EXPECT_EQ(equal, 20'000);
    EXPECT_EQ(serve.finish(SIGINT), 0);
}

// --- The station position -------------------------------------------------------------------

struct HomeCase {
    const char* name;
    const char* rizuzezIni; // nullptr: no file
    const char* basestationIni;
    std::vector<std::string> options;
    const char* shown; // in the first line
    double lat, lon;
};

const HomeCase HomeCases[] = {
    {"rizuzez_ini",
     "[telnet]\r\nport=30003\r\n[homestation]\r\nlatitude=-33.9\r\nlongitude=151.2\r\n",
     nullptr,
     {},
     "-33.9000 151.2000 (",
     -33.9,
     151.2},
    {"names_in_any_case_and_decimal_comma",
     "[HomeStation]\nLatitude = 48,5\nLONGITUDE=2,3\n",
     nullptr,
     {},
     "48.5000 2.3000 (",
     48.5,
     2.3},
    {"basestation_ini_when_no_latitude",
     "[homestation]\nlatitude=\nlongitude=9\n",
     "[homestation]\nlatitude=60.1\nlongitude=24.9\n",
     {},
     "60.1000 24.9000 (",
     60.1,
     24.9},
    {"default_without_configuration",
     nullptr,
     nullptr,
     {},
     "52.3000 4.7600 (default position",
     52.3,
     4.76},
    {"options_before_configuration",
     "[homestation]\nlatitude=-33.9\nlongitude=151.2\n",
     nullptr,
     {"--lat", "10", "--lon", "-20"},
     "10.0000 -20.0000 (--lat/--lon",
     10,
     -20},
};

class ServeHome : public testing::TestWithParam<HomeCase> {};

TEST_P(ServeHome, GeneratesTrafficAroundTheStation) {
    const HomeCase& h = GetParam();
    TempDir dir;
    if (h.rizuzezIni) {
        dir.file("rizuzez.ini", h.rizuzezIni);
    }
    if (h.basestationIni) {
        dir.file("basestation.ini", h.basestationIni);
    }
    std::vector<std::string> args = {"--data-dir", dir.path(), "--speed", "max", "--port", "0"};
    args.insert(args.end(), h.options.begin(), h.options.end());
    ServeProcess serve(args);
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    EXPECT_NE(serve.firstLine().find(h.shown), std::string::npos) << serve.firstLine();
    Client client(port);
    int positions = 0;
    for (const std::string& l : splitCrLf(client.readLines(5000))) {
        static const std::regex pos(R"(^MSG,3,(?:[^,]*,){12}(-?[\d.]+),(-?[\d.]+),)");
        std::smatch m;
        if (std::regex_search(l, m, pos)) {
            ++positions;
            const DistCourse dc = CalcDistCourse(h.lat, h.lon, std::stod(m[1]), std::stod(m[2]));
            EXPECT_LE(dc.distance, 250.0) << l;
        }
    }
    EXPECT_GT(positions, 500);
    EXPECT_EQ(serve.finish(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ServeHome, testing::ValuesIn(HomeCases),
                         [](const auto& p) { return std::string(p.param.name); });

// --- Usage errors and stopping ------------------------------------------------------------

struct UsageCase {
    const char* name;
    std::vector<std::string> args; // "FILE" stands for a readable capture, "DIR" for a folder
    const char* says;
};

const UsageCase UsageCases[] = {
    {"speed_zero", {"--speed", "0"}, "--speed"},
    {"speed_not_a_number", {"--speed", "fast"}, "--speed"},
    {"port_too_big", {"--port", "65536"}, "--port"},
    {"port_not_a_number", {"--port", "http"}, "--port"},
    {"missing_file", {"/nonexistent/capture.sbs"}, "cannot read"},
    {"folder_as_file", {"DIR"}, "not a regular file"},
    {"two_files", {"FILE", "FILE"}, "one FILE"},
    {"loop_without_file", {"--loop"}, "--loop"},
    {"seed_with_file", {"FILE", "--seed", "3"}, "--seed"},
    {"lat_without_lon", {"--lat", "50"}, "--lat"},
    {"latitude_out_of_range", {"--lat", "91", "--lon", "0"}, "latitude"},
    {"latitude_not_a_number", {"--lat", "north", "--lon", "0"}, "--lat"},
    {"aircraft_zero", {"--aircraft", "0"}, "--aircraft"},
    {"unknown_option", {"--fast"}, "unknown option"},
    {"unreadable_latitude_in_configuration", {"--data-dir", "DIR"}, "rizuzez.ini"},
};

class ServeUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(ServeUsage, OneLineAndExitStatus2) {
    TempDir dir;
    dir.file("rizuzez.ini", "[homestation]\nlatitude=abc\nlongitude=5\n");
    const std::string file = dir.file("capture.sbs", L1 + "\r\n");
    std::vector<std::string> args;
    for (const std::string& a : GetParam().args) {
        args.push_back(a == "FILE" ? file : a == "DIR" ? dir.path() : a);
    }
    if (std::find(args.begin(), args.end(), "--port") == args.end()) {
        args.insert(args.end(), {"--port", "0"});
    }
    ServeProcess serve(args);
    EXPECT_EQ(serve.finish(0), 2);
    const std::string& err = serve.stderrText();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(GetParam().says), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Table, ServeUsage, testing::ValuesIn(UsageCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ServeUsage, PortInUse) {
    ServeProcess first({"--port", "0", "--lat", "50", "--lon", "8"});
    const int port = first.port();
    ASSERT_NE(port, 0) << first.stderrText();
    ServeProcess second({"--port", std::to_string(port), "--lat", "50", "--lon", "8"});
    EXPECT_EQ(second.finish(0), 2);
    EXPECT_NE(second.stderrText().find("cannot listen on 127.0.0.1:" + std::to_string(port)),
              std::string::npos)
        << second.stderrText();
    EXPECT_EQ(first.finish(SIGTERM), 0);
}

struct SignalCase {
    const char* name;
    int sig;
};

const SignalCase SignalCases[] = {{"sigint", SIGINT}, {"sigterm", SIGTERM}};

class ServeStop : public testing::TestWithParam<SignalCase> {};

TEST_P(ServeStop, EndsCleanlyWithClientsConnected) {
    ServeProcess serve({"--port", "0", "--lat", "50", "--lon", "8"});
    const int port = serve.port();
    ASSERT_NE(port, 0) << serve.stderrText();
    Client client(port);
    ASSERT_FALSE(client.readLines(5).empty());
    EXPECT_EQ(serve.finish(GetParam().sig), 0);
    EXPECT_NE(serve.stderrText().find("stopped after 1 clients"), std::string::npos)
        << serve.stderrText();
    // The connection was closed, not left hanging.
    client.readAll(5000);
}

INSTANTIATE_TEST_SUITE_P(Table, ServeStop, testing::ValuesIn(SignalCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
