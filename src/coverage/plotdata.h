// The coverage table (furthest position per altitude band and bearing) and the furthest contact.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rizuzez {

inline constexpr int BandCount = 4;
inline constexpr int BearingCount = 360;

// One cell of the table. The in-memory image is the .dat file format: three little-endian
// IEEE 754 doubles, no padding.
struct TPlotPoint {
    double Dist; // nautical miles; 0 = nothing recorded in this cell
    double Lat;  // decimal degrees, north positive
    double Lon;  // decimal degrees, east positive
};
static_assert(sizeof(TPlotPoint) == 24);
static_assert(offsetof(TPlotPoint, Dist) == 0 && offsetof(TPlotPoint, Lat) == 8 &&
              offsetof(TPlotPoint, Lon) == 16);

// Band-major: the cell of band b, bearing i starts at byte b * 8640 + i * 24.
using PlotTable = std::array<std::array<TPlotPoint, BearingCount>, BandCount>;
static_assert(sizeof(PlotTable) == 34560);
inline constexpr std::size_t PlotTableBytes = sizeof(PlotTable);

// The furthest contact; its image is the .max file format.
struct TMaxDistance {
    double Dist; // nautical miles
    double Trk;  // degrees: exact course from the decoder, whole bearing after a rebuild
    double Lat;
    double Lon;
    double Alt; // feet, never above 39,999; 0 after a rebuild
};
static_assert(sizeof(TMaxDistance) == 40);
static_assert(offsetof(TMaxDistance, Trk) == 8 && offsetof(TMaxDistance, Lat) == 16 &&
              offsetof(TMaxDistance, Lon) == 24 && offsetof(TMaxDistance, Alt) == 32);
inline constexpr std::size_t MaxDistanceBytes = sizeof(TMaxDistance);

static_assert(std::endian::native == std::endian::little,
              "plot files are the little-endian memory image of the records");

// The texts of the furthest-contact boxes (latitude, longitude, altitude, distance,
// track, Mode-S ID), as the window shows them.
struct ContactTexts {
    std::string Edit5, Edit6, Edit7, Edit8, Edit9, Edit10;
    bool operator==(const ContactTexts&) const = default;
};

// A number for a furthest-contact box: printf pattern (C numeric locale), blanks trimmed, the
// decimal point shown as the locale's separator, then (pointBack) its first "," turned into
// ".", so the boxes read "." on every desktop.
std::string formatContactNumber(const char* pattern, double value, char decimalSeparator,
                                bool pointBack = true);

// The coverage data of one station: the table, the furthest contact and its texts.
struct Coverage {
    PlotTable PlotData{};
    TMaxDistance MaxDistance{};
    ContactTexts texts;
};

// Every cell's Dist and the whole furthest contact to 0, Edit10 emptied. Cell positions
// and the other contact texts keep their values.
void ClearCoverage(Coverage& coverage);

// Clears (Dist 0, position = home) every cell strictly beyond filterRange; returns the count.
std::int32_t CountExceeding(PlotTable& table, double filterRange, double homeLat, double homeLon);

// Rebuilds the furthest contact from the table: the first greatest cell in band-major order,
// Trk its bearing index, Alt 0; home position when the table is empty.
void RecomputeMax(const PlotTable& table, TMaxDistance& record, double homeLat, double homeLon);

} // namespace rizuzez
