// The plot and band options shared by the export and render commands.
#pragma once

#include "cli/options.h"
#include "coverage/plotdata.h"

#include <string>

namespace rizuzez::cli {

// Bad input: exit status 1 with one line on stderr (a damaged plot, an unwritable output).
struct RuntimeFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// --plot FILE.dat, else rizuzez1.dat in --data-dir (default: the data folder beside the tool).
// A missing or unreadable file is a UsageError, a damaged one a RuntimeFailure.
PlotTable loadPlotOption(const Options& opt);

// --band: "0".."3" for one band, "all" (or absent) for 4, the all-bands selector.
int parseBand(const Options& opt);

// Writes bytes to path through a temporary file; RuntimeFailure when it cannot.
void writeOutput(const std::string& path, const std::string& bytes);

} // namespace rizuzez::cli
