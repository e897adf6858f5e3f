// Decoder throughput: real captures through ProcessChunk, and the pieces of one line.
#include "feed/coord.h"
#include "feed/decoder.h"
#include "geodesy/trigo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace rizuzez;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Every capture at hand, one after the other: the samples of the tree and, when present,
// the shared captures (different receivers, line ends and field layouts).
const std::string& realMix() {
    static const std::string mix = [] {
        std::string out;
        for (const char* name : {"japan_2h.sbs", "modes1_sicily.sbs"}) {
            out += readFile(std::string(RIZUZEZ_SOURCE_DIR) + "/samples/" + name);
        }
        for (const char* name :
             {"sbs_dlozeve_adsb.csv", "sbs_pymodes_406B90_replay.txt",
              "sbs_xenotech81_adsb_message_stream.txt", "sbs_modes1_replay.txt"}) {
            const std::string path = std::string(RIZUZEZ_SHARED_DATA) + "/" + name;
            if (std::filesystem::exists(path)) {
                out += readFile(path);
                if (!out.empty() && out.back() != '\n') {
                    out += '\n';
                }
            }
        }
        return out;
    }();
    return mix;
}

std::int64_t countLines(const std::string& s) {
    return static_cast<std::int64_t>(std::count(s.begin(), s.end(), '\n'));
}

// The whole mix in chunks of the given size, as the feed or the replay hands it over.
void BM_ProcessChunk_RealMix(benchmark::State& state) {
    const std::string& mix = realMix();
    const std::size_t chunk = static_cast<std::size_t>(state.range(0));
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(34.55, 135.79);
    for (auto _ : state) {
        for (std::size_t i = 0; i < mix.size(); i += chunk) {
            dec.ProcessChunk(std::string_view(mix).substr(i, chunk));
        }
        dec.FlushPendingLine();
    }
    benchmark::DoNotOptimize(cov.PlotData);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(mix.size()));
    state.SetItemsProcessed(state.iterations() * countLines(mix));
    state.counters["lines"] = static_cast<double>(countLines(mix));
}
BENCHMARK(BM_ProcessChunk_RealMix)->Arg(1500)->Arg(64 * 1024)->Unit(benchmark::kMillisecond);

struct LineCase {
    const char* label;
    const char* line;
};

const LineCase Lines[] = {
    {"position", "MSG,3,111,11111,789252,111111,2022/01/08,22:42:15.605,2022/01/08,"
                 "22:42:15.566,,28000,,,34.43697,136.04449,,,,,,0"},
    {"velocity", "MSG,4,111,11111,789252,111111,2022/01/08,22:42:15.384,2022/01/08,"
                 "22:42:15.368,,,387,248,,,0,,,,,0"},
    {"no_position", "MSG,3,1,1,4D2023,1,2026/12/11,11:41:50.601,2026/12/11,11:41:50.638,,"
                    "24275,,,,,,,,,,"},
};

void BM_DecodeMsgLine(benchmark::State& state) {
    const LineCase& c = Lines[state.range(0)];
    Coverage cov;
    Decoder dec(cov);
    dec.setHome(34.55, 135.79);
    for (auto _ : state) {
        dec.DecodeMsgLine(c.line);
    }
    state.SetLabel(c.label);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeMsgLine)->DenseRange(0, 2);

void BM_DistCourse(benchmark::State& state) {
    const HomeTrig home(34.55, 135.79);
    double lat = 34.43697;
    for (auto _ : state) {
        benchmark::DoNotOptimize(home.distCourseTo(lat, 136.04449));
        lat += 1e-9;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DistCourse);

void BM_StrToCoord(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(StrToCoord("136.04449"));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrToCoord);

} // namespace

BENCHMARK_MAIN();
