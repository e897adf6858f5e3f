// The outline file (.out): the coverage table as five closed polygon layers for a map display.
#pragma once

#include "app/clock.h"
#include "coverage/plotdata.h"

#include <string>

namespace rizuzez {

// Layers 25 to 28 are the altitude bands 0 to 3; layer 29 takes, per bearing, the furthest
// cell of all bands.
inline constexpr int OutlineLayerCount = 5;
inline constexpr int OutlineFirstLayer = 25;
inline constexpr int OutlineAllLayer = 4; // index of layer 29
inline constexpr int OutlineLineCount = 2 + OutlineLayerCount * (2 + 2 * BearingCount + 3);

// Who asked for the export: the plain and dated File-menu items, or the auto-save.
enum class OutlineSender { Saveoutfile1, Saveoutfilewithdate1, Timer1 };

// "rizuzez.out", "rizuzez.yyyy-mm-dd.out" or "rizuzez.yyyy-mm-dd.hh-nn.out" (local time).
std::string outlineFileName(OutlineSender sender, const LocalDateTime& now);
// The outline folder (with or without its trailing separator) joined with that name.
std::string outlineFilePath(const std::string& outlinesDir, OutlineSender sender,
                            const LocalDateTime& now);

// Band whose cell reaches furthest on a bearing, the lowest band on ties; -1 when no cell has
// a Dist above 0.
int furthestBand(const PlotTable& table, int bearing);

// The vertex of one layer (0..4 for layers 25..29) on one bearing as the file writes it: the
// band's cell, or for layer 29 the furthest cell (Dist 0 at 0, 0 when none is above 0). A point
// at exactly 0, 0 counts as empty and becomes Dist 0 at the home position; emptiness is judged
// by the coordinates alone, so a cleared cell keeps its last position in layers 25 to 28.
TPlotPoint outlinePoint(const PlotTable& table, int layer, int bearing, double homeLat,
                        double homeLon);

// The whole file: 3,627 lines, each ending CR LF. fileName goes into the second line. Numbers
// are formatted with decimalSeparator (the locale's) and every "," is then turned into ".",
// as is any other separator, so the file carries "." on every desktop. Independent of the
// process's C locale.
std::string OutlineText(const PlotTable& table, double homeLat, double homeLon,
                        const std::string& fileName, char decimalSeparator);

// Writes OutlineText to path (its last component is the name in the file) through a temporary
// file and a rename; false when it could not be written, in which case an older file of that
// name is left as it was.
bool WriteOutlineFile(const std::string& path, const PlotTable& table, double homeLat,
                      double homeLon, char decimalSeparator);

} // namespace rizuzez
