// Clearing, clean-up and furthest-contact rebuild of the coverage table.
#include "coverage/plotdata.h"

#include <cstdio>

namespace rizuzez {

std::string formatContactNumber(const char* pattern, double value, char decimalSeparator,
                                bool pointBack) {
    char buf[400]; // "%f" of the largest double is some 310 characters
    std::snprintf(buf, sizeof buf, pattern, value);
    std::string s(buf);
    const auto first = s.find_first_not_of(' ');
    s = first == std::string::npos ? std::string() : s.substr(first);
    for (char& c : s) {
        if (c == '.') {
            c = decimalSeparator;
        }
    }
    if (pointBack) {
        if (const auto pos = s.find(','); pos != std::string::npos) {
            s[pos] = '.';
        }
    }
    return s;
}

void ClearCoverage(Coverage& coverage) {
    for (auto& band : coverage.PlotData) {
        for (auto& cell : band) {
            cell.Dist = 0.0;
        }
    }
    coverage.MaxDistance = TMaxDistance{};
    coverage.texts.Edit10.clear();
}

std::int32_t CountExceeding(PlotTable& table, double filterRange, double homeLat, double homeLon) {
    std::int32_t count = 0;
    for (auto& band : table) {
        for (auto& cell : band) {
            if (cell.Dist > filterRange) {
                cell = TPlotPoint{0.0, homeLat, homeLon};
                ++count;
            }
        }
    }
    return count;
}

void RecomputeMax(const PlotTable& table, TMaxDistance& record, double homeLat, double homeLon) {
    record.Dist = 0.0;
    const TPlotPoint* chosen = nullptr;
    int chosenBearing = 0;
    for (const auto& band : table) {
        for (int i = 0; i < BearingCount; ++i) {
            if (band[i].Dist > record.Dist) {
                record.Dist = band[i].Dist;
                chosen = &band[i];
                chosenBearing = i;
            }
        }
    }
    if (chosen == nullptr) {
        record.Lat = homeLat;
        record.Lon = homeLon;
        record.Trk = 0.0;
    } else {
        record.Lat = chosen->Lat;
        record.Lon = chosen->Lon;
        record.Trk = chosenBearing;
    }
    record.Alt = 0.0;
}

} // namespace rizuzez
