// "replay": decodes recorded base-station text through the live feed's chunk path.
#include "app/blacklist.h"
#include "app/station.h"
#include "cli/options.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace rizuzez::cli {
namespace {

constexpr const char* Help =
    "usage: rizuzez-cli replay --lat LAT --lon LON [--filter NM|NEVER] [--blacklist FILE]\n"
    "                          [--log FILE] [--data-dir DIR] [--load] [--json] FILE...\n"
    "\n"
    "Decodes recorded base-station text (FILE, or - for standard input) into coverage seen\n"
    "from the station at LAT, LON (decimal degrees, north and east positive), then writes the\n"
    "default plot files rizuzez1.dat, .max and .hex into the data folder and prints a summary.\n"
    "\n"
    "  --filter NM|NEVER  ignore positions farther than NM nautical miles (default NEVER = 999)\n"
    "  --blacklist FILE   skip Mode-S IDs listed in FILE (blacklist format: 5 header lines)\n"
    "  --log FILE         append ignored positions to FILE\n"
    "  --data-dir DIR     data folder (default: rizuzez1 beside the program)\n"
    "  --load             start from the default plot in the data folder\n"
    "  --json             print one JSON object instead of the summary\n";

constexpr std::size_t ChunkBytes = 64 * 1024;

struct AnswerYes final : PlotFileQuestions {
    bool confirmReload() override { return true; }
    std::optional<std::string> choosePlotFile(const std::string&) override { return std::nullopt; }
};

class Progress {
public:
    explicit Progress(long long totalBytes) : m_total(totalBytes) {}
    void update(long long doneBytes) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::seconds(1)) {
            return;
        }
        m_last = now;
        m_shown = true;
        if (m_total > 0) {
            std::fprintf(stderr, "\rreplay: %lld of %lld MB (%d%%)", doneBytes >> 20, m_total >> 20,
                         static_cast<int>(100.0 * static_cast<double>(doneBytes) / static_cast<double>(m_total)));
        } else {
            std::fprintf(stderr, "\rreplay: %lld MB", doneBytes >> 20);
        }
        std::fflush(stderr);
    }
    void finish() {
        if (m_shown) {
            std::fprintf(stderr, "\n");
        }
    }

private:
    long long m_total;
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
    bool m_shown = false;
};

} // namespace

int replayCommand(const std::vector<std::string>& args) {
    const Options opt(args, {"lat", "lon", "filter", "blacklist", "log", "data-dir"},
                      {"load", "json", "help"});
    if (opt.has("help")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (!opt.has("lat") || !opt.has("lon")) {
        throw UsageError("--lat and --lon are required (the station position)");
    }
    if (opt.positional().empty()) {
        throw UsageError("no input file (use - for standard input)");
    }
    const double lat = parseCoordinate(*opt.value("lat"), "lat");
    const double lon = parseCoordinate(*opt.value("lon"), "lon");

    SystemClock clock;
    Station station(clock);
    station.DataDir = opt.value("data-dir").value_or(defaultDataDir());
    station.decoder.setHome(lat, lon);
    station.decoder.FilterRange = opt.has("filter") ? parseFilter(*opt.value("filter")) : 999.0;
    if (const auto bl = opt.value("blacklist")) {
        const auto text = LoadBlacklist(*bl);
        if (!text) {
            throw UsageError("cannot read the blacklist " + *bl);
        }
        station.decoder.Blacklist = *text;
    }
    if (const auto log = opt.value("log")) {
        std::FILE* f = std::fopen(log->c_str(), "ab");
        if (!f) {
            throw UsageError("cannot open the log " + *log);
        }
        std::fclose(f);
        station.decoder.IgnoredLog = *log;
        station.decoder.logIgnored = true;
    }

    // Open every input before decoding anything: a typo fails fast with nothing written.
    std::vector<int> fds;
    long long totalBytes = 0;
    for (const std::string& name : opt.positional()) {
        const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            throw UsageError("cannot read " + name);
        }
        if (S_ISREG(st.st_mode)) {
            totalBytes += st.st_size;
        }
        fds.push_back(fd);
    }
    ensureFolder(station.DataDir);
    if (opt.has("load")) {
        AnswerYes yes;
        const LoadResult loaded = station.loadPlotFiles("", yes);
        if (loaded.datDamaged) {
            std::fprintf(stderr, "rizuzez-cli replay: the default plot is damaged; starting empty\n");
        }
    }

    const auto started = std::chrono::steady_clock::now();
    Progress progress(totalBytes);
    std::vector<char> buf(ChunkBytes);
    long long done = 0;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        for (;;) {
            const ssize_t n = ::read(fds[i], buf.data(), buf.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw UsageError("read error on " + opt.positional()[i]);
            }
            if (n == 0) {
                break;
            }
            station.IdTelnet1DataAvailable(std::string_view(buf.data(), static_cast<std::size_t>(n)));
            done += n;
            progress.update(done);
        }
        // The file ended: whatever follows its last line break is a complete last line.
        station.decoder.FlushPendingLine();
        if (fds[i] != STDIN_FILENO) {
            ::close(fds[i]);
        }
    }
    progress.finish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const SaveResult saved = station.savePlotFiles("");
    for (const std::string& f : saved.failed) {
        std::fprintf(stderr, "rizuzez-cli replay: could not write %s\n", f.c_str());
    }

    const Coverage& cov = station.coverage;
    int filled[BandCount] = {};
    int filledAll = 0;
    double bandMax[BandCount] = {};
    for (int b = 0; b < BandCount; ++b) {
        for (const TPlotPoint& c : cov.PlotData[b]) {
            if (c.Dist > 0.0) {
                ++filled[b];
                bandMax[b] = std::max(bandMax[b], c.Dist);
            }
        }
    }
    for (int i = 0; i < BearingCount; ++i) {
        bool any = false;
        for (int b = 0; b < BandCount; ++b) {
            any |= cov.PlotData[b][i].Dist > 0.0;
        }
        filledAll += any;
    }
    const Decoder& d = station.decoder;
    if (opt.has("json")) {
        nlohmann::json j;
        j["total_msgs"] = d.TotalMsgs;
        j["ignored_msgs"] = d.IgnoredMsgs;
        j["cells_filled"] = filled[0] + filled[1] + filled[2] + filled[3];
        j["cells_filled_per_band"] = {filled[0], filled[1], filled[2], filled[3]};
        j["bearings_filled"] = filledAll;
        j["max"] = {{"dist", cov.MaxDistance.Dist}, {"trk", cov.MaxDistance.Trk},
                    {"lat", cov.MaxDistance.Lat},   {"lon", cov.MaxDistance.Lon},
                    {"alt", cov.MaxDistance.Alt}};
        j["mode_s_id"] = cov.texts.Edit10;
        j["bytes"] = done;
        j["seconds"] = seconds;
        j["data_dir"] = station.DataDir;
        j["files_written"] = saved.written;
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        std::printf("Position messages: %d (ignored beyond %.0f NM: %d)\n", d.TotalMsgs,
                    d.FilterRange, d.IgnoredMsgs);
        static const char* const bandNames[BandCount] = {"below 10,000 ft", "10,000-19,999 ft",
                                                         "20,000-29,999 ft", "30,000 ft and above"};
        for (int b = 0; b < BandCount; ++b) {
            std::printf("Band %d (%s): %3d bearings, furthest %.1f NM\n", b, bandNames[b],
                        filled[b], bandMax[b]);
        }
        std::printf("All bands: %d of 360 bearings\n", filledAll);
        if (cov.MaxDistance.Dist > 0.0) {
            std::printf("Furthest contact: %s at %.1f NM, track %.1f, %.4f %.4f, %.0f ft\n",
                        cov.texts.Edit10.empty() ? "(no ID)" : cov.texts.Edit10.c_str(),
                        cov.MaxDistance.Dist, cov.MaxDistance.Trk, cov.MaxDistance.Lat,
                        cov.MaxDistance.Lon, cov.MaxDistance.Alt);
        } else {
            std::printf("Furthest contact: none\n");
        }
        std::printf("Plot saved to %s (%zu files)\n", station.DataDir.c_str(), saved.written.size());
    }
    return saved.failed.empty() ? 0 : 1;
}

} // namespace rizuzez::cli
