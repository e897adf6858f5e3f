// Fuzzes loading plot files: arbitrary bytes as .dat, .max and .hex in a temporary folder.
//
// Input: the fuzzer chooses which files exist, their lengths (a .dat is the input's bytes
// repeated up to its length, so short inputs still fill a whole table), the .hex text, the
// load mode and the name "chosen" in the dialog. Beyond the sanitizers, checks that a load
// never adopts a damaged table or record, that a rejected file leaves the previous data
// untouched, and that what was loaded saves and loads again to the same bytes.
#include "coverage/plotfiles.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace rizuzez;
namespace fs = std::filesystem;

namespace {

// A broken invariant: named on stderr, then a crash the fuzzer records with its input.
#define require(ok) ((ok) ? void() : broken(#ok, __LINE__))
[[noreturn]] void broken(const char* what, int line) {
    std::fprintf(stderr, "invariant broken at line %d: %s\n", line, what);
    std::abort();
}

struct Answers final : PlotFileQuestions {
    bool reload = true;
    std::string chosen;
    bool confirmReload() override { return reload; }
    std::optional<std::string> choosePlotFile(const std::string&) override { return chosen; }
};

const std::string& folder() {
    // Never destroyed: the clean-up at exit still needs the name.
    static const std::string& dir = *new std::string([] {
        // In memory where there is a tmpfs: every save syncs its files to the disk.
        std::string name = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        name += "/rizuzez_fuzz_plot_XXXXXX";
        require(::mkdtemp(name.data()) != nullptr);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(folder(), ec);
        });
        return name;
    }());
    return dir;
}

void put(const std::string& name, bool present, const std::string& bytes) {
    const fs::path path = fs::path(folder()) / name;
    std::error_code ec;
    fs::remove(path, ec);
    if (present) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
}

std::string tiled(const std::string& seed, std::size_t length) {
    std::string out;
    if (seed.empty()) {
        return std::string(length, '\0');
    }
    while (out.size() < length) {
        out += seed.substr(0, length - out.size());
    }
    return out;
}

Coverage initial() {
    Coverage c;
    for (int b = 0; b < BandCount; ++b) {
        for (int i = 0; i < BearingCount; ++i) {
            c.PlotData[b][i] = {1.0 + b + i, 50.0, 5.0};
        }
    }
    c.MaxDistance = {364.0, 359.0, 50.0, 5.0, 30000.0};
    c.texts.Edit10 = "BEFORE";
    return c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool datPresent = in.ConsumeIntegralInRange<int>(0, 7) != 0;
    const bool maxPresent = in.ConsumeBool();
    const bool hexPresent = in.ConsumeBool();
    static const std::size_t DatLengths[] = {
        PlotTableBytes, PlotTableBytes, PlotTableBytes - 1, PlotTableBytes + 17, 0, 24};
    const std::size_t datLength = DatLengths[in.ConsumeIntegralInRange<std::size_t>(0, 5)];
    const std::size_t maxLength =
        in.ConsumeBool() ? MaxDistanceBytes : in.ConsumeIntegralInRange<std::size_t>(0, 64);
    const bool byName = in.ConsumeBool();
    Answers answers;
    answers.reload = in.ConsumeIntegralInRange<int>(0, 3) != 0;
    answers.chosen = in.ConsumeBool() ? "plot.max" : in.ConsumeRandomLengthString(40);
    const std::string hex = in.ConsumeRandomLengthString(300);
    const std::string maxBytes = in.ConsumeBytesAsString(maxLength);
    const std::string datSeed = in.ConsumeRemainingBytesAsString();

    // A clean folder each time: nothing of an earlier input may be found.
    fs::remove_all(folder());
    fs::create_directories(folder());
    // The plot "rizuzez1" for the default load, "plot" for a load by name.
    const std::string base = byName ? "plot" : "rizuzez1";
    put(base + ".dat", datPresent, tiled(datSeed, datLength));
    put(base + ".max", maxPresent, maxBytes);
    put(base + ".hex", hexPresent, hex);

    Coverage cov = initial();
    const Coverage before = cov;
    const LoadResult r = LoadPlotFiles(cov, folder(), byName ? "date" : "", answers);

    require(tableIsSound(cov.PlotData));
    require(recordIsSound(cov.MaxDistance));
    if (!r.datLoaded) {
        require(std::memcmp(&cov.PlotData, &before.PlotData, sizeof(PlotTable)) == 0);
    }
    if (!r.maxLoaded) {
        require(std::memcmp(&cov.MaxDistance, &before.MaxDistance, sizeof(TMaxDistance)) == 0);
    }
    require(cov.texts.Edit10.find_first_of("\r\n") == std::string::npos);

    // Whatever was adopted survives a save and a load unchanged.
    const fs::path again = fs::path(folder()) / "again";
    fs::create_directories(again);
    const SaveResult saved = SavePlotFiles(cov, again.string(), "", LocalDateTime{});
    require(saved.failed.empty());
    Coverage reloaded;
    Answers yes;
    const LoadResult r2 = LoadPlotFiles(reloaded, again.string(), "", yes);
    require(r2.datLoaded && r2.maxLoaded && r2.hexLoaded);
    require(std::memcmp(&reloaded.PlotData, &cov.PlotData, sizeof(PlotTable)) == 0);
    require(std::memcmp(&reloaded.MaxDistance, &cov.MaxDistance, sizeof(TMaxDistance)) == 0);
    require(reloaded.texts.Edit10 == cov.texts.Edit10);
    return 0;
}
