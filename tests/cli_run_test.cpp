// "rizuzez-cli run" as a process against a real TCP server on 127.0.0.1: refusals, recording
// and the save on SIGTERM, and the reconnect after the server restarts.
#include "app_support.h"
#include "coverage/plotdata.h"
#include "coverage/plotfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace rizuzez;
using namespace rizuzez::testing;
using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 15s;

// The service as a child process; its stderr goes to a file.
class Service {
public:
    Service(const std::vector<std::string>& args, const fs::path& errFile) : m_err(errFile) {
        std::vector<std::string> argv = {RIZUZEZ_CLI, "run"};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = ::fork();
        if (m_pid == 0) {
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(err, 2);
            std::vector<char*> cargs;
            for (std::string& a : argv) {
                cargs.push_back(a.data());
            }
            cargs.push_back(nullptr);
            ::execv(cargs[0], cargs.data());
            ::_exit(127);
        }
    }
    ~Service() {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    void signal(int sig) const { ::kill(m_pid, sig); }
    // The exit status, or -1 when it did not end in time (it is then killed).
    int wait() {
        const auto until = std::chrono::steady_clock::now() + Patience;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = status;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    std::string errors() const { return readFile(m_err); }
    // Waits until stderr holds `needle` `times` times.
    bool waitFor(const std::string& needle, int times = 1) const {
        const auto until = std::chrono::steady_clock::now() + Patience;
        while (std::chrono::steady_clock::now() < until) {
            const std::string text = errors();
            int n = 0;
            for (auto p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) {
                ++n;
            }
            if (n >= times) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

private:
    fs::path m_err;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// A base-station port with one client at a time.
class FeedServer {
public:
    explicit FeedServer(std::uint16_t port = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_fd, 4) != 0) {
            ADD_FAILURE() << "cannot listen on port " << port << ": " << std::strerror(errno);
        }
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~FeedServer() {
        dropClient();
        ::close(m_fd);
    }
    FeedServer(const FeedServer&) = delete;
    FeedServer& operator=(const FeedServer&) = delete;

    std::uint16_t port() const { return m_port; }
    bool accept() {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(Patience / 1ms)) != 1) {
            return false;
        }
        m_client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        return m_client >= 0;
    }
    // Sends text, then a telnet terminal-type request, and waits for the client's answer:
    // the client answers only after decoding everything before the request.
    bool sendAndSync(const std::string& text) {
        const std::string all = text + "\xff\xfd\x18";
        if (::send(m_client, all.data(), all.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(all.size())) {
            return false;
        }
        std::string got;
        const auto until = std::chrono::steady_clock::now() + Patience;
        while (got.find("\xff\xfb\x18") == std::string::npos &&
               std::chrono::steady_clock::now() < until) {
            pollfd p{m_client, POLLIN, 0};
            if (::poll(&p, 1, 100) == 1) {
                char buf[64];
                const ssize_t n = ::recv(m_client, buf, sizeof buf, 0);
                if (n <= 0) {
                    return false;
                }
                got.append(buf, static_cast<std::size_t>(n));
            }
        }
        return got.find("\xff\xfb\x18") != std::string::npos;
    }
    void dropClient() {
        if (m_client >= 0) {
            ::close(m_client);
            m_client = -1;
        }
    }

private:
    int m_fd = -1;
    int m_client = -1;
    std::uint16_t m_port = 0;
};

// A position line of transmission type 3.
std::string position(const std::string& id, double lat, double lon, int alt) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "MSG,3,1,1,%s,1,2024/05/01,10:00:00.000,2024/05/01,10:00:00.000,,%d,,,%.5f,"
                  "%.5f,,,,,,0\r\n",
                  id.c_str(), alt, lat, lon);
    return buf;
}

PlotTable readTable(const fs::path& p) {
    PlotTable t{};
    const std::string bytes = readFile(p);
    EXPECT_EQ(bytes.size(), PlotTableBytes);
    std::memcpy(&t, bytes.data(), std::min(bytes.size(), sizeof t));
    return t;
}

int filledCells(const PlotTable& t) {
    int n = 0;
    for (const auto& band : t) {
        for (const TPlotPoint& c : band) {
            n += c.Dist > 0.0;
        }
    }
    return n;
}

std::size_t lineCount(const std::string& s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> files; // in the data folder
    const char* message;
};

TEST(CliRun, RefusesToStartWithoutAUsableStationPosition) {
    const RefusalCase cases[] = {
        {"nothing_configured", {}, {}, "no station position"},
        {"latitude_only_in_fallback",
         {},
         {{"basestation.ini", "[homestation]\nlatitude=51.5\n"}},
         "no station position"},
        {"latitude_not_a_number", {"--lat", "abc", "--lon", "0.1"}, {}, "latitude 'abc'"},
        {"longitude_out_of_range", {"--lat", "51.5", "--lon", "200"}, {}, "longitude '200'"},
        {"bad_configured_latitude",
         {},
         {{"rizuzez.ini", "[homestation]\nlatitude=-999\nlongitude=1\n"}},
         "latitude '-999'"},
        {"lat_without_lon", {"--lat", "51.5"}, {}, "--lat and --lon go together"},
        {"bad_autosave", {"--lat", "51.5", "--lon", "0", "--autosave", "2h"}, {}, "--autosave"},
    };
    for (const RefusalCase& c : cases) {
        TempDir dir;
        const fs::path data = dir.path() / "data";
        for (const auto& [name, text] : c.files) {
            writeFile(data / name, text);
        }
        std::vector<std::string> args = {"--data-dir", data.string(), "--port", "1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Service service(args, dir.path() / "err.txt");
        EXPECT_EQ(service.wait(), 2) << c.name;
        const std::string err = service.errors();
        EXPECT_EQ(lineCount(err), 1u) << c.name << ": " << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
        EXPECT_FALSE(fs::exists(data / "rizuzez1.dat")) << c.name;
    }
}

class CliRunFeed : public ::testing::Test {
protected:
    fs::path data() const { return dir.path() / "data"; }
    std::vector<std::string> args(std::uint16_t port) const {
        return {"--data-dir", data().string(), "--port", std::to_string(port), "--lat",
                "51.0",       "--lon",         "0.0",    "--no-load"};
    }
    TempDir dir;
};

TEST_F(CliRunFeed, RecordsPositionsAndSavesTheDefaultPlotOnSigterm) {
    FeedServer server;
    Service service(args(server.port()), dir.path() / "err.txt");
    ASSERT_TRUE(server.accept()) << service.errors();
    // Three positions in three bands, one of them with a telnet command inside the line.
    std::string text = position("4CA1D5", 51.5, 0.5, 5000) + position("400C7E", 52.0, 0.1, 15000);
    const std::string third = position("3C6586", 50.6, -0.3, 25000);
    text += third.substr(0, 30) + "\xff\xf1" + third.substr(30);
    ASSERT_TRUE(server.sendAndSync(text)) << service.errors();
    service.signal(SIGTERM);
    ASSERT_EQ(service.wait(), 0) << service.errors();

    const PlotTable t = readTable(data() / "rizuzez1.dat");
    EXPECT_EQ(filledCells(t), 3);
    EXPECT_GT(t[0][32].Dist, 0.0);                              // 51.5N 0.5E: about 32 degrees
    EXPECT_NEAR(t[1][4].Dist, 60.2, 0.2);                       // 52.0N 0.1E: just east of north
    EXPECT_EQ(readFile(data() / "rizuzez1.hex"), "400C7E\r\n"); // the furthest
    const std::string err = service.errors();
    EXPECT_NE(err.find("connected to 127.0.0.1:" + std::to_string(server.port())),
              std::string::npos);
    EXPECT_NE(err.find("stopping (SIGTERM): default plot files: wrote rizuzez1.dat, .max, .hex"),
              std::string::npos)
        << err;
}

TEST_F(CliRunFeed, ReconnectsAfterTheServerRestartsAndKeepsWhatItHad) {
    std::uint16_t port = 0;
    std::unique_ptr<Service> service;
    {
        FeedServer first;
        port = first.port();
        service = std::make_unique<Service>(args(port), dir.path() / "err.txt");
        ASSERT_TRUE(first.accept()) << service->errors();
        ASSERT_TRUE(first.sendAndSync(position("4CA1D5", 51.5, 0.5, 5000)));
    } // the server goes away, connection and listening socket
    ASSERT_TRUE(service->waitFor("feed lost")) << service->errors();
    std::this_thread::sleep_for(300ms);
    FeedServer second(port);
    ASSERT_TRUE(second.accept()) << service->errors();
    ASSERT_TRUE(second.sendAndSync(position("400C7E", 52.0, 0.1, 15000)));
    service->signal(SIGINT);
    ASSERT_EQ(service->wait(), 0) << service->errors();

    const PlotTable t = readTable(data() / "rizuzez1.dat");
    const std::string err = service->errors();
    EXPECT_EQ(filledCells(t), 2) << err;
    EXPECT_TRUE(service->waitFor("connected to", 2)) << err;
    EXPECT_NE(err.find("stopping (SIGINT)"), std::string::npos) << err;
}

} // namespace

namespace {

struct CleanUpCase {
    const char* name;
    std::vector<std::string> options;
    int cellsAfter;
};

TEST_F(CliRunFeed, CleansUpBeyondTheFilterOnlyWhenAsked) {
    const CleanUpCase cases[] = {
        {"reload_keeps_everything", {"--filter", "200"}, 2},
        {"clean_up_with_the_filter_of_the_options", {"--filter", "200", "--clean-up"}, 1},
        {"no_load_starts_empty", {"--filter", "200", "--clean-up", "--no-load"}, 0},
    };
    const FeedServer idle; // listens, never accepts: the service just waits for data
    for (const CleanUpCase& c : cases) {
        Coverage cov;
        cov.PlotData[0][10] = {150.0, 53.4, 0.9};
        cov.PlotData[1][20] = {250.0, 54.8, 2.8};
        cov.MaxDistance = {250.0, 20.0, 54.8, 2.8, 15000};
        cov.texts.Edit10 = "4CA1D5";
        fs::create_directories(data());
        ASSERT_TRUE(SavePlotFiles(cov, data().string(), "", {}).failed.empty());

        std::vector<std::string> a = {
            "--data-dir", data().string(), "--port", std::to_string(idle.port()),
            "--lat",      "51.0",          "--lon",  "0.0"};
        a.insert(a.end(), c.options.begin(), c.options.end());
        Service service(a, dir.path() / (std::string(c.name) + ".txt"));
        ASSERT_TRUE(service.waitFor("rizuzez-cli run:")) << c.name << service.errors();
        service.signal(SIGTERM);
        ASSERT_EQ(service.wait(), 0) << c.name << service.errors();
        EXPECT_EQ(filledCells(readTable(data() / "rizuzez1.dat")), c.cellsAfter) << c.name;
    }
}

TEST_F(CliRunFeed, ASecondServiceOnTheSameDataFolderIsRefused) {
    const FeedServer idle;
    Service first(args(idle.port()), dir.path() / "first.txt");
    ASSERT_TRUE(first.waitFor("rizuzez-cli run:")) << first.errors();
    Service second(args(idle.port()), dir.path() / "second.txt");
    EXPECT_EQ(second.wait(), 2);
    EXPECT_NE(second.errors().find("another rizuzez-cli run is using the data folder"),
              std::string::npos)
        << second.errors();
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(), 0) << first.errors();
}

} // namespace
