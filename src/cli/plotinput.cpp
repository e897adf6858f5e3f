// Plot and band options shared by the export and render commands.
#include "cli/plotinput.h"

#include "coverage/plotfiles.h"

namespace rizuzez::cli {

PlotTable loadPlotOption(const Options& opt) {
    const std::string path = opt.value("plot").value_or(
        dataPath(opt.value("data-dir").value_or(defaultDataDir()), "rizuzez1.dat"));
    PlotTable table{};
    switch (readPlotTable(path, table)) {
    case PlotFileStatus::Ok:
        return table;
    case PlotFileStatus::Missing:
    case PlotFileStatus::Unreadable:
        throw UsageError("cannot read the plot file " + path);
    case PlotFileStatus::Short:
        throw RuntimeFailure("the plot file " + path + " is damaged (too short)");
    case PlotFileStatus::Damaged:
        break;
    }
    throw RuntimeFailure("the plot file " + path +
                         " is damaged (NaN, infinite or negative values)");
}

int parseBand(const Options& opt) {
    const std::string band = opt.value("band").value_or("all");
    if (band == "all") {
        return BandCount;
    }
    if (band.size() == 1 && band[0] >= '0' && band[0] < '0' + BandCount) {
        return band[0] - '0';
    }
    throw UsageError("--band: expected 0, 1, 2, 3 or all, got '" + band + "'");
}

void writeOutput(const std::string& path, const std::string& bytes) {
    if (!writeFileAtomically(path, bytes)) {
        throw RuntimeFailure("cannot write " + path);
    }
}

} // namespace rizuzez::cli
