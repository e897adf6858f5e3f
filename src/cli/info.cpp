// "info": a readable summary of a plot file triple.
#include "cli/options.h"
#include "coverage/plotfiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace rizuzez::cli {
namespace {

constexpr const char* Help =
    "usage: rizuzez-cli info [--data-dir DIR] [FILE.dat]\n"
    "\n"
    "Summarises a plot: filled bearings and furthest distance per altitude band, the furthest\n"
    "contact (from the .max and .hex beside the .dat), and whether the files are damaged. A save\n"
    "of the plot that was interrupted after its commit point is completed first.\n"
    "Without FILE.dat, the default plot rizuzez1.dat of the data folder.\n";

const char* statusText(PlotFileStatus s) {
    switch (s) {
    case PlotFileStatus::Ok: return "ok";
    case PlotFileStatus::Missing: return "missing";
    case PlotFileStatus::Unreadable: return "unreadable";
    case PlotFileStatus::Short: return "damaged (too short)";
    case PlotFileStatus::Damaged: return "damaged (NaN, infinite or negative values)";
    }
    return "?";
}

} // namespace

int infoCommand(const std::vector<std::string>& args) {
    const Options opt(args, {"data-dir"}, {"help"});
    if (opt.has("help")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (opt.positional().size() > 1) {
        throw UsageError("one plot file at most");
    }
    const std::string datPath = opt.positional().empty()
                                    ? dataPath(opt.value("data-dir").value_or(defaultDataDir()), "rizuzez1.dat")
                                    : opt.positional().front();
    std::filesystem::path base(datPath);
    if (base.extension() == ".dat") {
        base.replace_extension();
    }
    // A save killed after its commit point is finished first, as a load would do.
    const bool completed =
        completeInterruptedSave(base.parent_path().string(), base.filename().string());
    PlotTable table{};
    const PlotFileStatus datStatus = readPlotTable(datPath, table);
    if (datStatus == PlotFileStatus::Missing || datStatus == PlotFileStatus::Unreadable) {
        throw UsageError("cannot read " + datPath);
    }
    if (completed) {
        std::printf("Completed an interrupted save of %s\n", base.string().c_str());
    }
    std::printf("Plot: %s: %s\n", datPath.c_str(), statusText(datStatus));
    if (datStatus == PlotFileStatus::Ok) {
        static const char* const names[BandCount] = {"below 10,000 ft", "10,000-19,999 ft",
                                                     "20,000-29,999 ft", "30,000 ft and above"};
        for (int b = 0; b < BandCount; ++b) {
            int filled = 0;
            double furthest = 0.0;
            int at = 0;
            for (int i = 0; i < BearingCount; ++i) {
                if (table[b][i].Dist > 0.0) {
                    ++filled;
                }
                if (table[b][i].Dist > furthest) {
                    furthest = table[b][i].Dist;
                    at = i;
                }
            }
            std::printf("Band %d (%s): %3d bearings filled, furthest %.1f NM at %03d\n", b,
                        names[b], filled, furthest, at);
        }
    }
    const std::string maxPath = base.string() + ".max";
    TMaxDistance record{};
    const PlotFileStatus maxStatus = readMaxRecord(maxPath, record);
    std::string modeS;
    bool haveHex = false;
    if (std::ifstream hex(base.string() + ".hex", std::ios::binary); hex) {
        std::getline(hex, modeS);
        if (!modeS.empty() && modeS.back() == '\r') {
            modeS.pop_back();
        }
        haveHex = true;
    }
    if (maxStatus == PlotFileStatus::Ok) {
        std::printf("Furthest contact: %s %.1f NM, track %.1f, %.4f %.4f, %.0f ft\n",
                    haveHex ? (modeS.empty() ? "(no ID)" : modeS.c_str()) : "(no .hex)",
                    record.Dist, record.Trk, record.Lat, record.Lon, record.Alt);
    } else {
        std::printf("Furthest contact: %s: %s\n", maxPath.c_str(), statusText(maxStatus));
    }
    const bool damaged = (datStatus != PlotFileStatus::Ok) ||
                         (maxStatus != PlotFileStatus::Ok && maxStatus != PlotFileStatus::Missing);
    std::printf("Damaged: %s\n", damaged ? "yes" : "no");
    return damaged ? 1 : 0;
}

} // namespace rizuzez::cli
