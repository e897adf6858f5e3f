// bench_window: the real window fed through a loopback socket at a fixed line rate. Reports how
// late the one-second ticks start, the lines the window took per second and the CPU time its
// process used. The sender is a child process, so its own work is not counted.
#include "app/clock.h"
#include "app/qt/dialogs.h"
#include "app/qt/mainwindow.h"
#include "feed/qt/feedclient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    double rate = 100000; // lines per second; 0: as fast as the window takes them
    bool idle = false;    // connected, nothing sent
    int batchMs = 5;      // the sender writes every batchMs milliseconds
    int seconds = 30;     // measured time
    int warmup = 3;       // seconds before measuring
    std::string capture;  // base-station text, sent in a loop
    double lat = 34.55, lon = 135.79;
};

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: bench_window --capture FILE [--rate LINES_PER_S|0|idle]\n"
                         "                    [--seconds S] [--warmup S] [--batch-ms MS]\n"
                         "                    [--lat LAT --lon LON]\n"
                         "--rate 0 sends as fast as the window reads; idle sends nothing.\n");
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) {
            usage();
        }
        const char* v = argv[++i];
        if (a == "--rate") {
            o.idle = std::strcmp(v, "idle") == 0;
            o.rate = o.idle ? 0 : std::atof(v);
        } else if (a == "--batch-ms") {
            o.batchMs = std::max(1, std::atoi(v));
        } else if (a == "--seconds") {
            o.seconds = std::atoi(v);
        } else if (a == "--warmup") {
            o.warmup = std::atoi(v);
        } else if (a == "--capture") {
            o.capture = v;
        } else if (a == "--lat") {
            o.lat = std::atof(v);
        } else if (a == "--lon") {
            o.lon = std::atof(v);
        } else {
            usage();
        }
    }
    if (o.capture.empty() || o.seconds <= 0) {
        usage();
    }
    return o;
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line + "\r\n");
    }
    return lines;
}

// The child: accepts one connection and sends the capture in a loop, one write every
// batchMs (5 ms by default, as busy base-station software writes), so the rate holds over
// any interval longer than that.
[[noreturn]] void sendLines(int listener, const Options& o, const std::vector<std::string>& lines) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) {
        std::_Exit(1);
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto stopAt = start + std::chrono::seconds(o.warmup + o.seconds + 5);
    std::size_t next = 0;
    double sent = 0;
    std::string batch;
    while (o.idle && Clock::now() < stopAt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    while (Clock::now() < stopAt) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const double due = o.rate > 0 ? o.rate * elapsed : sent + 2000;
        batch.clear();
        while (sent < due) {
            batch += lines[next];
            next = (next + 1) % lines.size();
            sent += 1;
        }
        const char* p = batch.data();
        std::size_t left = batch.size();
        while (left > 0) {
            const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
            if (n <= 0) {
                std::_Exit(0); // the window went away
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        if (o.rate > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(o.batchMs));
        }
    }
    ::close(fd);
    std::_Exit(0);
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Notes the moment each tick begins, before the window's handler runs.
class TickWatch : public QObject {
public:
    std::vector<qint64> starts; // ms since the timer was started
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Timer) {
            starts.push_back(clock.elapsed());
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    const std::vector<std::string> lines = readLines(o.capture);
    if (lines.empty()) {
        std::fprintf(stderr, "bench_window: cannot read %s\n", o.capture.c_str());
        return 2;
    }

    // Listen before forking so the window can connect at once.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("bench_window: listen");
        return 2;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        sendLines(listener, o, lines);
    }
    ::close(listener);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    rizuzez::SystemClock clock;
    rizuzez::MessageBoxDialogs dialogs;
    rizuzez::TForm1::Setup setup;
    setup.dataDir = dir.filePath(QStringLiteral("rizuzez1"));
    setup.outlinesDir = dir.filePath(QStringLiteral("outlines"));
    setup.clock = &clock;
    setup.dialogs = &dialogs;

    TickWatch ticks;
    rizuzez::TForm1 form(setup);
    form.Timer1->installEventFilter(&ticks);
    // Restarted here so that tick n is due exactly n seconds after this point.
    form.Timer1->start();
    ticks.clock.start();
    form.TelnetPort = ntohs(addr.sin_port);
    form.FormCreate();
    form.show();

    long long received = 0;
    QObject::connect(form.IdTelnet1, &rizuzez::FeedClient::dataAvailable,
                     [&](const QByteArray& chunk) { received += chunk.count('\n'); });
    form.Edit3->setText(QString::number(o.lat));
    form.Edit4->setText(QString::number(o.lon));
    form.Button1->click();
    if (!form.FeedRunning()) {
        std::fprintf(stderr, "bench_window: the window did not connect\n");
        ::kill(child, SIGTERM);
        return 1;
    }

    double cpu0 = 0;
    long long lines0 = 0;
    qint64 t0 = 0;
    std::size_t firstTick = 0;
    QTimer::singleShot(o.warmup * 1000, [&] {
        cpu0 = cpuSeconds();
        lines0 = received;
        t0 = ticks.clock.elapsed();
        firstTick = ticks.starts.size();
    });
    QTimer::singleShot((o.warmup + o.seconds) * 1000, [&] {
        const double cpu = cpuSeconds() - cpu0;
        const double wall = static_cast<double>(ticks.clock.elapsed() - t0) / 1000.0;
        // Tick n is due n seconds after the timer started (it keeps its phase).
        std::vector<qint64> late;
        for (std::size_t n = firstTick; n < ticks.starts.size(); ++n) {
            late.push_back(ticks.starts[n] - static_cast<qint64>(n + 1) * 1000);
        }
        std::sort(late.begin(), late.end());
        const auto pct = [&](double p) {
            return late.empty()
                       ? 0
                       : late[std::min(late.size() - 1, static_cast<std::size_t>(
                                                            p * static_cast<double>(late.size())))];
        };
        std::printf("target rate     %s\n",
                    o.idle ? "idle (connected, nothing sent)"
                    : o.rate > 0
                        ? (std::to_string(static_cast<long long>(o.rate)) + " lines/s").c_str()
                        : "unthrottled");
        std::printf(
            "window took     %.0f lines/s over %.1f s (%lld lines, %d position msgs in all)\n",
            static_cast<double>(received - lines0) / wall, wall, received - lines0,
            form.station().decoder.TotalMsgs);
        std::printf("ticks           %zu, late by median %lld ms, p95 %lld ms, max %lld ms\n",
                    late.size(), static_cast<long long>(pct(0.5)),
                    static_cast<long long>(pct(0.95)),
                    static_cast<long long>(late.empty() ? 0 : late.back()));
        std::printf("cpu             %.2f s in %.1f s = %.2f%% of one core\n", cpu, wall,
                    100.0 * cpu / wall);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    const int rc = QApplication::exec();
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    return rc;
}
