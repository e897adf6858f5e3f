// Outline file writer and names.
#include "coverage/outline.h"

#include "coverage/plotfiles.h"

#include <charconv>
#include <filesystem>

namespace rizuzez {
namespace {

const char* const Captions[OutlineLayerCount] = {
    "{ Layer 25 = GND to 9999 ft }", "{ Layer 26 = 10000 to 19999 ft }",
    "{ Layer 27 = 20000 to 29999 ft }", "{ Layer 28 = above 30000 ft }", "{ Layer 29 = all data }"};

// printf's "%W.Pf" without the C locale: right-aligned in width blanks, never cut, with sep as
// the decimal mark.
std::string fixed(double v, int precision, int width, char sep) {
    char buf[512]; // the longest double in fixed notation has 309 digits before the point
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    std::string s(buf, res.ec == std::errc() ? res.ptr : buf);
    for (char& c : s) {
        if (c == '.') {
            c = sep;
        }
    }
    if (static_cast<int>(s.size()) < width) {
        s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    }
    return s;
}

// The decimal mark of a finished line: "," (and any other locale mark) becomes ".".
std::string withPoint(std::string line, char sep) {
    for (char& c : line) {
        if (c == ',' || c == sep) {
            c = '.';
        }
    }
    return line;
}

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    const auto e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string coordinateLine(const TPlotPoint& p, char sep) {
    return withPoint(trimmed(fixed(p.Lat, 3, 7, sep)) + "+" + trimmed(fixed(p.Lon, 3, 8, sep)),
                     sep);
}

std::string commentLine(int bearing, const TPlotPoint& p, char sep) {
    char trk[8];
    const auto res = std::to_chars(trk, trk + sizeof trk, bearing);
    std::string t(trk, res.ptr);
    t.insert(0, t.size() < 3 ? 3 - t.size() : 0, '0');
    return withPoint("{               trk=" + t + " - d=" + fixed(p.Dist, 1, 5, sep) + "}", sep);
}

} // namespace

std::string outlineFileName(OutlineSender sender, const LocalDateTime& now) {
    switch (sender) {
    case OutlineSender::Saveoutfilewithdate1:
        return "rizuzez." + formatDate(now) + ".out";
    case OutlineSender::Timer1:
        return "rizuzez." + formatDateTimeStamp(now) + ".out";
    case OutlineSender::Saveoutfile1:
        break;
    }
    return "rizuzez.out";
}

std::string outlineFilePath(const std::string& outlinesDir, OutlineSender sender,
                            const LocalDateTime& now) {
    return dataPath(outlinesDir, outlineFileName(sender, now));
}

int furthestBand(const PlotTable& table, int bearing) {
    int chosen = -1;
    double dist = 0.0;
    for (int b = 0; b < BandCount; ++b) {
        if (table[b][bearing].Dist > dist) {
            dist = table[b][bearing].Dist;
            chosen = b;
        }
    }
    return chosen;
}

TPlotPoint outlinePoint(const PlotTable& table, int layer, int bearing, double homeLat,
                        double homeLon) {
    TPlotPoint p{0.0, 0.0, 0.0};
    if (layer < BandCount) {
        p = table[layer][bearing];
    } else if (const int band = furthestBand(table, bearing); band >= 0) {
        p = table[band][bearing];
    }
    if (p.Lat == 0.0 && p.Lon == 0.0) {
        p = {0.0, homeLat, homeLon};
    }
    return p;
}

std::string OutlineText(const PlotTable& table, double homeLat, double homeLon,
                        const std::string& fileName, char decimalSeparator) {
    std::string out;
    out.reserve(200000);
    auto line = [&out](const std::string& text) {
        out += text;
        out += "\r\n";
    };
    line("{ Rizuzez coverage outline }");
    line("{ " + fileName + " }");
    for (int layer = 0; layer < OutlineLayerCount; ++layer) {
        line(Captions[layer]);
        line("$TYPE=" + std::to_string(OutlineFirstLayer + layer));
        for (int t = 0; t < BearingCount; ++t) {
            const TPlotPoint p = outlinePoint(table, layer, t, homeLat, homeLon);
            line(commentLine(t, p, decimalSeparator));
            line(coordinateLine(p, decimalSeparator));
        }
        line(coordinateLine(outlinePoint(table, layer, 0, homeLat, homeLon), decimalSeparator));
        line("-1");
        line("{ =============================}");
    }
    return out;
}

bool WriteOutlineFile(const std::string& path, const PlotTable& table, double homeLat,
                      double homeLon, char decimalSeparator) {
    const std::string name = std::filesystem::path(path).filename().string();
    return writeFileAtomically(path, OutlineText(table, homeLat, homeLon, name, decimalSeparator));
}

} // namespace rizuzez
