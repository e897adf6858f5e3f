// "export": the coverage outline as a .out file, GeoJSON, KML or a tar1090 range outline.
#include "cli/options.h"
#include "cli/plotinput.h"
#include "coverage/outline.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

namespace rizuzez::cli {
namespace {

constexpr const char* Help =
    "usage: rizuzez-cli export [--data-dir DIR] [--plot FILE.dat] --lat LAT --lon LON\n"
    "                          --format out|geojson|kml|tar1090 [--band 0|1|2|3|all] [-o FILE]\n"
    "\n"
    "Writes the coverage outline of a plot (FILE.dat, default rizuzez1.dat in the data folder)\n"
    "seen from the station at LAT, LON (decimal degrees, north and east positive) to FILE, or to\n"
    "standard output without -o.\n"
    "\n"
    "  out      the window's outline file: layers 25-29, bearings without data at the station\n"
    "  geojson  a FeatureCollection, one Polygon per layer ([lon, lat], counter-clockwise);\n"
    "           a layer crossing the 180th meridian becomes a MultiPolygon\n"
    "  kml      a KML 2.2 document, one Placemark per layer (lime bands, yellow all)\n"
    "  tar1090  {\"actualRange\": {\"last24h\": {\"points\": [[lat, lon, alt], ...]}}}: the\n"
    "           bearings with data, alt the lower bound of the band in feet\n"
    "\n"
    "  --band B  one band (0: below 10,000 ft ... 3: 30,000 ft and above) or all (default);\n"
    "            geojson and kml write every layer unless --band is given; not for out\n";

struct Layer {
    int index; // 0..3 band, 4 all bands
    int number;
    const char* band;
    const char* name;
    int fromFt;
    std::optional<int> toFt;
};

const Layer Layers[OutlineLayerCount] = {
    {0, 25, "0", "GND to 9999 ft", 0, 9999},
    {1, 26, "1", "10000 to 19999 ft", 10000, 19999},
    {2, 27, "2", "20000 to 29999 ft", 20000, 29999},
    {3, 28, "3", "above 30000 ft", 30000, std::nullopt},
    {4, 29, "all", "all data", 0, std::nullopt},
};

constexpr int BandFloorFt[BandCount] = {0, 10000, 20000, 30000};

// Six decimals: about 0.1 m, far below what a position report carries.
double round6(double v) {
    return std::round(v * 1e6) / 1e6;
}

bool onEarth(const TPlotPoint& p) {
    return std::abs(p.Lat) <= 90.0 && std::abs(p.Lon) <= 180.0;
}

// The cell a layer shows on a bearing, and its band; nullopt when the bearing has no data.
struct Vertex {
    TPlotPoint cell;
    int band;
};
std::optional<Vertex> layerVertex(const PlotTable& t, int layer, int bearing) {
    const int band =
        layer < BandCount ? (t[layer][bearing].Dist > 0.0 ? layer : -1) : furthestBand(t, bearing);
    if (band < 0 || !onEarth(t[band][bearing])) {
        return std::nullopt;
    }
    return Vertex{t[band][bearing], band};
}

struct LayerSummary {
    double greatest = 0.0;
    int withData = 0;
};
LayerSummary summarise(const PlotTable& t, int layer) {
    LayerSummary s;
    for (int b = 0; b < BearingCount; ++b) {
        if (const auto v = layerVertex(t, layer, b)) {
            ++s.withData;
            s.greatest = std::max(s.greatest, v->cell.Dist);
        }
    }
    return s;
}

struct LonLat {
    double lon, lat;
};
using Ring = std::vector<LonLat>;

// The closed ring of a layer in map order: bearings 0, 359, 358, ... 1, 0, so that the area
// lies to the left (counter-clockwise, the right-hand rule of RFC 7946). No data: the station.
Ring layerRing(const PlotTable& t, int layer, double homeLat, double homeLon) {
    Ring ring;
    ring.reserve(BearingCount + 1);
    for (int i = 0; i <= BearingCount; ++i) {
        const int bearing = (BearingCount - i) % BearingCount;
        const auto v = layerVertex(t, layer, bearing);
        ring.push_back(v ? LonLat{v->cell.Lon, v->cell.Lat} : LonLat{homeLon, homeLat});
    }
    return ring;
}

// Part of a ring on one side of the meridian lon = edge (keepBelow: lon <= edge), edges in
// plain longitude/latitude as GeoJSON draws them. The result is closed, or empty.
Ring clipAt(const Ring& ring, double edge, bool keepBelow) {
    auto inside = [&](const LonLat& p) { return keepBelow ? p.lon <= edge : p.lon >= edge; };
    Ring out;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
        const LonLat& a = ring[i];
        const LonLat& b = ring[i + 1];
        if (inside(a)) {
            out.push_back(a);
        }
        if (inside(a) != inside(b)) {
            const double f = (edge - a.lon) / (b.lon - a.lon);
            out.push_back({edge, a.lat + f * (b.lat - a.lat)});
        }
    }
    if (out.size() < 3) {
        return {};
    }
    out.push_back(out.front());
    return out;
}

// One ring, or two when it crosses the 180th meridian: the longitudes are unwrapped along the
// ring, cut at +-180 and the far part moved back by 360 degrees. A ring that winds round a pole
// cannot be cut this way and is kept as it is.
std::vector<Ring> splitAtAntimeridian(const Ring& ring) {
    Ring unwrapped = ring;
    for (std::size_t i = 1; i < unwrapped.size(); ++i) {
        double d = ring[i].lon - ring[i - 1].lon;
        d -= 360.0 * std::round(d / 360.0);
        unwrapped[i].lon = unwrapped[i - 1].lon + d;
    }
    if (std::abs(unwrapped.back().lon - unwrapped.front().lon) > 1e-9) {
        return {ring};
    }
    double lo = unwrapped.front().lon, hi = lo;
    for (const LonLat& p : unwrapped) {
        lo = std::min(lo, p.lon);
        hi = std::max(hi, p.lon);
    }
    if (lo >= -180.0 && hi <= 180.0) {
        return {ring};
    }
    const double edge = hi > 180.0 ? 180.0 : -180.0;
    Ring near = clipAt(unwrapped, edge, edge > 0);
    Ring far = clipAt(unwrapped, edge, edge < 0);
    for (LonLat& p : far) {
        p.lon -= edge > 0 ? 360.0 : -360.0;
    }
    std::vector<Ring> parts;
    for (Ring* r : {&near, &far}) {
        if (r->size() >= 4) {
            parts.push_back(std::move(*r));
        }
    }
    if (parts.empty()) {
        return {ring};
    }
    return parts;
}

nlohmann::json ringJson(const Ring& ring) {
    nlohmann::json positions = nlohmann::json::array();
    for (const LonLat& p : ring) {
        positions.push_back({round6(p.lon), round6(p.lat)});
    }
    return positions;
}

std::vector<int> chosenLayers(int selector, bool bandGiven) {
    if (bandGiven) {
        return {selector};
    }
    return {0, 1, 2, 3, 4};
}

std::string geoJson(const PlotTable& t, double homeLat, double homeLon,
                    const std::vector<int>& layers) {
    nlohmann::json features = nlohmann::json::array();
    for (const int l : layers) {
        const Layer& layer = Layers[l];
        const LayerSummary s = summarise(t, l);
        const std::vector<Ring> parts = splitAtAntimeridian(layerRing(t, l, homeLat, homeLon));
        nlohmann::json geometry;
        if (parts.size() == 1) {
            geometry = {{"type", "Polygon"}, {"coordinates", {ringJson(parts[0])}}};
        } else {
            nlohmann::json polygons = nlohmann::json::array();
            for (const Ring& r : parts) {
                polygons.push_back(nlohmann::json::array({ringJson(r)}));
            }
            geometry = {{"type", "MultiPolygon"}, {"coordinates", polygons}};
        }
        nlohmann::json props = {
            {"layer", layer.number},
            {"band", layer.band},
            {"name", layer.name},
            {"altitudeFromFt", layer.fromFt},
            {"altitudeToFt", layer.toFt ? nlohmann::json(*layer.toFt) : nlohmann::json(nullptr)},
            {"greatestDistanceNm", std::round(s.greatest * 10.0) / 10.0},
            {"bearingsWithData", s.withData},
        };
        features.push_back({{"type", "Feature"}, {"properties", props}, {"geometry", geometry}});
    }
    const nlohmann::json doc = {{"type", "FeatureCollection"}, {"features", features}};
    return doc.dump() + "\n";
}

std::string number(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string kml(const PlotTable& t, double homeLat, double homeLon,
                const std::vector<int>& layers) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                      "<Document>\n"
                      "  <name>Rizuzez coverage</name>\n"
                      "  <description>Station " +
                      number(round6(homeLat)) + ", " + number(round6(homeLon)) + "</description>\n";
    for (const int l : layers) {
        const Layer& layer = Layers[l];
        const std::string id = "layer" + std::to_string(layer.number);
        // KML colours are aabbggrr: lime 00ff00, yellow ffff00.
        const char* colour = l == OutlineAllLayer ? "ff00ffff" : "ff00ff00";
        out += "  <Style id=\"" + id +
               "\">\n"
               "    <LineStyle><color>" +
               colour +
               "</color><width>2</width></LineStyle>\n"
               "    <PolyStyle><color>" +
               colour +
               "</color><fill>0</fill></PolyStyle>\n"
               "  </Style>\n";
    }
    for (const int l : layers) {
        const Layer& layer = Layers[l];
        const LayerSummary s = summarise(t, l);
        out += "  <Placemark>\n"
               "    <name>Layer " +
               std::to_string(layer.number) + " = " + layer.name +
               "</name>\n"
               "    <description>Band " +
               layer.band + ": greatest distance " + number(std::round(s.greatest * 10.0) / 10.0) +
               " NM, " + std::to_string(s.withData) +
               " bearings with data</description>\n"
               "    <styleUrl>#layer" +
               std::to_string(layer.number) +
               "</styleUrl>\n"
               "    <Polygon>\n"
               "      <tessellate>1</tessellate>\n"
               "      <outerBoundaryIs><LinearRing><coordinates>\n";
        for (const LonLat& p : layerRing(t, l, homeLat, homeLon)) {
            out += "        " + number(round6(p.lon)) + "," + number(round6(p.lat)) + "\n";
        }
        out += "      </coordinates></LinearRing></outerBoundaryIs>\n"
               "    </Polygon>\n"
               "  </Placemark>\n";
    }
    out += "</Document>\n</kml>\n";
    return out;
}

std::string tar1090(const PlotTable& t, int selector) {
    nlohmann::json points = nlohmann::json::array();
    for (int b = 0; b < BearingCount; ++b) {
        if (const auto v = layerVertex(t, selector, b)) {
            points.push_back({round6(v->cell.Lat), round6(v->cell.Lon), BandFloorFt[v->band]});
        }
    }
    const nlohmann::json doc = {{"actualRange", {{"last24h", {{"points", points}}}}}};
    return doc.dump() + "\n";
}

} // namespace

int exportCommand(const std::vector<std::string>& args) {
    const Options opt(args, {"data-dir", "plot", "lat", "lon", "format", "band", "o"}, {"help"});
    if (opt.has("help")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (!opt.positional().empty()) {
        throw UsageError("unexpected argument '" + opt.positional().front() + "'");
    }
    if (!opt.has("lat") || !opt.has("lon")) {
        throw UsageError("--lat and --lon are required (the station position)");
    }
    const double lat = parseCoordinate(*opt.value("lat"), "lat");
    const double lon = parseCoordinate(*opt.value("lon"), "lon");
    if (std::abs(lat) > 90.0 || std::abs(lon) > 180.0) {
        throw UsageError("--lat must lie within -90..90 and --lon within -180..180");
    }
    const std::string format = opt.value("format").value_or("");
    if (format != "out" && format != "geojson" && format != "kml" && format != "tar1090") {
        throw UsageError("--format: expected out, geojson, kml or tar1090" +
                         (format.empty() ? std::string() : ", got '" + format + "'"));
    }
    const int selector = parseBand(opt);
    if (format == "out" && opt.has("band")) {
        throw UsageError("--band does not apply to the out format (it always holds all layers)");
    }
    const std::optional<std::string> output = opt.value("o");
    try {
        const PlotTable table = loadPlotOption(opt);
        std::string text;
        if (format == "out") {
            const std::string name =
                output ? std::filesystem::path(*output).filename().string() : "rizuzez.out";
            text = OutlineText(table, lat, lon, name, '.');
        } else if (format == "geojson") {
            text = geoJson(table, lat, lon, chosenLayers(selector, opt.has("band")));
        } else if (format == "kml") {
            text = kml(table, lat, lon, chosenLayers(selector, opt.has("band")));
        } else {
            text = tar1090(table, selector);
        }
        if (output && *output != "-") {
            writeOutput(*output, text);
        } else {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        }
    } catch (const RuntimeFailure& e) {
        std::fprintf(stderr, "rizuzez-cli export: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace rizuzez::cli
