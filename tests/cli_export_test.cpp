// The headless export and render commands, run as the real program on real files.
#include "coverage/outline.h"
#include "coverage/plotdata.h"
#include "display/radarplot.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QImage>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

using namespace rizuzez;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct CliResult {
    int status;
    std::string out, err;
};

class CliExport : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("rizuzez_cli_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    CliResult run(const std::string& command, const std::vector<std::string>& args) {
        std::string line = quote(RIZUZEZ_CLI) + " " + command;
        for (const std::string& a : args) {
            line += " " + quote(a);
        }
        line += " >" + quote((dir / "stdout").string()) + " 2>" + quote((dir / "stderr").string());
        const int raw = std::system(line.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "stdout"),
                slurp(dir / "stderr")};
    }
    std::string writePlot(const PlotTable& t, const std::string& name = "plot.dat") {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(&t), sizeof t);
        return p.string();
    }

    fs::path dir;
};

// A table with data in every band: band b reaches 50 + 10 b NM on every bearing but 359; band
// 3 has a cleared cell (Dist 0, old position kept) at bearing 1.
PlotTable sampleTable(double homeLat, double homeLon) {
    PlotTable t{};
    for (int b = 0; b < BandCount; ++b) {
        for (int i = 0; i < BearingCount - 1; ++i) {
            const double d = 50.0 + 10.0 * b;
            const double a = i * 3.14159265358979323846 / 180.0;
            t[b][i] = {d, homeLat + d / 60.0 * std::cos(a),
                       homeLon + d / 60.0 * std::sin(a) / std::cos(homeLat * 0.0174532925)};
        }
    }
    t[3][1].Dist = 0.0;
    return t;
}

TEST_F(CliExport, OutIsTheWindowsFile) {
    const PlotTable t = sampleTable(52.25, -1.5);
    const std::string plot = writePlot(t);
    const fs::path out = dir / "rizuzez.2011-05-06.out";
    const CliResult r = run("export", {"--plot", plot, "--lat", "52.25", "--lon", "-1.5",
                                       "--format", "out", "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path window = dir / "window" / "rizuzez.2011-05-06.out";
    fs::create_directories(window.parent_path());
    ASSERT_TRUE(WriteOutlineFile(window.string(), t, 52.25, -1.5, ','));
    EXPECT_EQ(slurp(out), slurp(window));
    // Standard output: the plain name in the comment line.
    const CliResult s =
        run("export", {"--plot", plot, "--lat", "52.25", "--lon", "-1.5", "--format", "out"});
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out, OutlineText(t, 52.25, -1.5, "rizuzez.out", '.'));
}

double signedArea(const json& ring) {
    double a = 0.0;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
        a += ring[i][0].get<double>() * ring[i + 1][1].get<double>() -
             ring[i + 1][0].get<double>() * ring[i][1].get<double>();
    }
    return a / 2.0;
}

TEST_F(CliExport, GeoJsonLayers) {
    const PlotTable t = sampleTable(52.25, -1.5);
    const std::string plot = writePlot(t);
    const CliResult r =
        run("export", {"--plot", plot, "--lat", "52.25", "--lon", "-1.5", "--format", "geojson"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["type"], "FeatureCollection");
    ASSERT_EQ(doc["features"].size(), 5u);
    const char* bands[] = {"0", "1", "2", "3", "all"};
    const double greatest[] = {50.0, 60.0, 70.0, 80.0, 80.0};
    for (int l = 0; l < 5; ++l) {
        const json& f = doc["features"][l];
        EXPECT_EQ(f["type"], "Feature");
        EXPECT_EQ(f["properties"]["band"], bands[l]);
        EXPECT_EQ(f["properties"]["layer"], 25 + l);
        EXPECT_EQ(f["properties"]["altitudeFromFt"], l < 4 ? l * 10000 : 0);
        EXPECT_EQ(f["properties"]["altitudeToFt"].is_null(), l >= 3);
        EXPECT_DOUBLE_EQ(f["properties"]["greatestDistanceNm"].get<double>(), greatest[l]);
        EXPECT_EQ(f["properties"]["bearingsWithData"], l == 3 ? 358 : 359);
        ASSERT_EQ(f["geometry"]["type"], "Polygon");
        const json& ring = f["geometry"]["coordinates"][0];
        ASSERT_EQ(ring.size(), 361u);
        EXPECT_EQ(ring.front(), ring.back());
        EXPECT_GT(signedArea(ring), 0.0) << "counter-clockwise";
        // Bearing 0 first, then 359 (no data: the station); bearing 1 is next to last, at the
        // station in band 3 where its cell was cleared.
        const int band = std::min(l, 3);
        EXPECT_NEAR(ring[0][0].get<double>(), -1.5, 1e-6);
        EXPECT_NEAR(ring[0][1].get<double>(), t[band][0].Lat, 1e-6);
        EXPECT_EQ(ring[1], json::array({-1.5, 52.25}));
        EXPECT_EQ(ring[359] == json::array({-1.5, 52.25}), l == 3);
    }
    const CliResult one = run("export", {"--plot", plot, "--lat", "52.25", "--lon", "-1.5",
                                         "--format", "geojson", "--band", "2"});
    ASSERT_EQ(one.status, 0) << one.err;
    const json single = json::parse(one.out);
    ASSERT_EQ(single["features"].size(), 1u);
    EXPECT_EQ(single["features"][0]["properties"]["band"], "2");
}

TEST_F(CliExport, GeoJsonSplitsAtTheAntimeridian) {
    // A station in Fiji's east with 300 NM of coverage all round.
    const double lat = -16.8, lon = 179.5;
    PlotTable t{};
    for (int i = 0; i < BearingCount; ++i) {
        const double a = i * 3.14159265358979323846 / 180.0;
        double l = lon + 5.0 * std::sin(a) / std::cos(lat * 0.0174532925);
        l -= l > 180.0 ? 360.0 : 0.0;
        t[3][i] = {300.0, lat + 5.0 * std::cos(a), l};
    }
    const std::string plot = writePlot(t);
    const CliResult r = run("export", {"--plot", plot, "--lat", "-16.8", "--lon", "179.5",
                                       "--format", "geojson", "--band", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json g = json::parse(r.out)["features"][0]["geometry"];
    ASSERT_EQ(g["type"], "MultiPolygon");
    ASSERT_EQ(g["coordinates"].size(), 2u);
    double west = 0, east = 0;
    for (const json& polygon : g["coordinates"]) {
        const json& ring = polygon[0];
        ASSERT_GE(ring.size(), 4u);
        EXPECT_EQ(ring.front(), ring.back());
        EXPECT_GT(signedArea(ring), 0.0);
        double lo = 180, hi = -180;
        for (const json& p : ring) {
            lo = std::min(lo, p[0].get<double>());
            hi = std::max(hi, p[0].get<double>());
        }
        EXPECT_GE(lo, -180.0);
        EXPECT_LE(hi, 180.0);
        if (hi == 180.0) {
            west = lo;
        } else {
            EXPECT_EQ(lo, -180.0);
            east = hi;
        }
    }
    EXPECT_NEAR(west, 179.5 - 5.0 / std::cos(lat * 0.0174532925), 0.01);
    EXPECT_NEAR(east, 179.5 + 5.0 / std::cos(lat * 0.0174532925) - 360.0, 0.01);
}

TEST_F(CliExport, KmlDocument) {
    const PlotTable t = sampleTable(-33.9, 151.2);
    const std::string plot = writePlot(t);
    const fs::path out = dir / "coverage.kml";
    const CliResult r = run("export", {"--plot", plot, "--lat", "-33.9", "--lon", "151.2",
                                       "--format", "kml", "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(out);
    QXmlStreamReader xml(QByteArray::fromStdString(text));
    std::map<std::string, std::string> styleColour; // style id -> line colour
    std::vector<std::string> placemarkStyles, names;
    std::vector<std::vector<std::string>> rings;
    std::string currentStyle;
    bool inLineStyle = false, rootChecked = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            if (xml.isEndElement() && xml.name() == QLatin1String("LineStyle")) {
                inLineStyle = false;
            }
            continue;
        }
        const std::string name = xml.name().toString().toStdString();
        if (!rootChecked) {
            EXPECT_EQ(name, "kml");
            EXPECT_EQ(xml.namespaceUri().toString().toStdString(),
                      "http://www.opengis.net/kml/2.2");
            rootChecked = true;
        }
        EXPECT_EQ(xml.namespaceUri().toString().toStdString(), "http://www.opengis.net/kml/2.2")
            << name;
        if (name == "Style") {
            currentStyle = xml.attributes().value("id").toString().toStdString();
        } else if (name == "LineStyle") {
            inLineStyle = true;
        } else if (name == "color" && inLineStyle) {
            styleColour[currentStyle] = xml.readElementText().toStdString();
        } else if (name == "Placemark") {
            placemarkStyles.emplace_back();
        } else if (name == "name" && !placemarkStyles.empty()) {
            names.push_back(xml.readElementText().toStdString());
        } else if (name == "styleUrl") {
            placemarkStyles.back() = xml.readElementText().toStdString();
        } else if (name == "coordinates") {
            std::istringstream in(xml.readElementText().toStdString());
            rings.emplace_back();
            for (std::string tuple; in >> tuple;) {
                rings.back().push_back(tuple);
            }
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_EQ(placemarkStyles.size(), 5u);
    ASSERT_EQ(rings.size(), 5u);
    EXPECT_EQ(names.front(), "Layer 25 = GND to 9999 ft");
    EXPECT_EQ(names.back(), "Layer 29 = all data");
    for (int l = 0; l < 5; ++l) {
        const std::string id = "layer" + std::to_string(25 + l);
        EXPECT_EQ(placemarkStyles[l], "#" + id);
        EXPECT_EQ(styleColour[id], l == 4 ? "ff00ffff" : "ff00ff00") << id;
        ASSERT_EQ(rings[l].size(), 361u);
        EXPECT_EQ(rings[l].front(), rings[l].back());
        EXPECT_EQ(rings[l][1], "151.2,-33.9"); // bearing 359: no data, the station
        EXPECT_EQ(rings[l][359] == "151.2,-33.9", l == 3);
    }
}

TEST_F(CliExport, Tar1090Points) {
    PlotTable t{};
    t[0][10] = {40.0, 52.1, 4.1};
    t[2][10] = {90.0, 52.9, 4.9};
    t[3][200] = {150.0, 50.0, 3.0};
    t[1][300] = {0.0, 51.0, 2.0}; // cleared: no data
    t[1][350] = {60.0, 52.8, 3.2};
    const std::string plot = writePlot(t);
    struct Case {
        const char* band;
        json points;
    };
    const Case cases[] = {
        {"all", json::parse(R"([[52.9, 4.9, 20000], [50.0, 3.0, 30000], [52.8, 3.2, 10000]])")},
        {"0", json::parse(R"([[52.1, 4.1, 0]])")},
        {"1", json::parse(R"([[52.8, 3.2, 10000]])")},
    };
    for (const Case& c : cases) {
        const CliResult r = run("export", {"--plot", plot, "--lat", "52", "--lon", "4", "--format",
                                           "tar1090", "--band", c.band});
        ASSERT_EQ(r.status, 0) << r.err;
        const json doc = json::parse(r.out);
        EXPECT_EQ(doc.size(), 1u);
        EXPECT_EQ(doc["actualRange"].size(), 1u);
        EXPECT_EQ(doc["actualRange"]["last24h"]["points"], c.points) << c.band;
    }
}

TEST_F(CliExport, RenderPng) {
    PlotTable t{};
    t[1][60].Dist = 100.0; // range 240: vertex (122, 71)
    const std::string plot = writePlot(t);
    const fs::path one = dir / "one.png", three = dir / "three.png";
    ASSERT_EQ(run("render", {"--plot", plot, "--band", "1", "-o", one.string()}).status, 0);
    ASSERT_EQ(
        run("render", {"--plot", plot, "--band", "1", "--scale", "3", "-o", three.string()}).status,
        0);
    const QImage a(QString::fromStdString(one.string()), "PNG");
    const QImage b(QString::fromStdString(three.string()), "PNG");
    ASSERT_EQ(a.size(), QSize(180, 180));
    ASSERT_EQ(b.size(), QSize(540, 540));
    const auto rgb = [](Rgb c) { return qRgb(c.r, c.g, c.b); };
    EXPECT_EQ(a.pixel(5, 40), rgb(PlotBackground));
    EXPECT_EQ(a.pixel(89, 68), rgb(PlotGrid)); // ring 1 at the default range of 240 NM
    EXPECT_EQ(a.pixel(89, 67), rgb(PlotBackground));
    EXPECT_EQ(a.pixel(122, 71), rgb(PlotBandOutline));
    EXPECT_EQ(a.pixel(90, 90), rgb(PlotBandOutline));
    for (int y = 0; y < 540; ++y) {
        for (int x = 0; x < 540; ++x) {
            ASSERT_EQ(b.pixel(x, y), a.pixel(x / 3, y / 3)) << x << "," << y;
        }
    }
    // Range 60: ring 1 touches the picture's edges.
    const fs::path sixty = dir / "sixty.png";
    ASSERT_EQ(run("render", {"--plot", plot, "--range", "60", "-o", sixty.string()}).status, 0);
    const QImage c(QString::fromStdString(sixty.string()), "PNG");
    EXPECT_EQ(c.pixel(89, 0), rgb(PlotGrid));
    EXPECT_EQ(c.pixel(89, 1), rgb(PlotBackground));
}

TEST_F(CliExport, BadInput) {
    PlotTable t{};
    const std::string plot = writePlot(t);
    PlotTable damaged{};
    damaged[2][5].Dist = std::nan("");
    const std::string bad = writePlot(damaged, "damaged.dat");
    const std::string png = (dir / "x.png").string();
    const std::string nowhere = (dir / "missing" / "x.out").string();
    struct Case {
        const char* name;
        const char* command;
        std::vector<std::string> args;
        int status;
    };
    const std::vector<std::string> e = {"--plot", plot, "--lat", "52", "--lon", "4"};
    auto with = [&e](std::vector<std::string> more) {
        std::vector<std::string> all = e;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const Case cases[] = {
        {"export_without_position", "export", {"--plot", plot, "--format", "out"}, 2},
        {"export_without_format", "export", with({}), 2},
        {"export_unknown_format", "export", with({"--format", "shp"}), 2},
        {"export_bad_band", "export", with({"--format", "geojson", "--band", "5"}), 2},
        {"export_band_with_out", "export", with({"--format", "out", "--band", "1"}), 2},
        {"export_latitude_off_earth",
         "export",
         {"--plot", plot, "--lat", "95", "--lon", "4", "--format", "kml"},
         2},
        {"export_bad_number",
         "export",
         {"--plot", plot, "--lat", "north", "--lon", "4", "--format", "kml"},
         2},
        {"export_unknown_option", "export", with({"--format", "kml", "--colour", "red"}), 2},
        {"export_missing_plot",
         "export",
         {"--plot", (dir / "none.dat").string(), "--lat", "1", "--lon", "1", "--format", "out"},
         2},
        {"export_damaged_plot",
         "export",
         {"--plot", bad, "--lat", "1", "--lon", "1", "--format", "out"},
         1},
        {"export_unwritable_output", "export", with({"--format", "out", "-o", nowhere}), 1},
        {"render_without_output", "render", {"--plot", plot}, 2},
        {"render_range_too_small", "render", {"--plot", plot, "--range", "59", "-o", png}, 2},
        {"render_range_too_large", "render", {"--plot", plot, "--range", "361", "-o", png}, 2},
        {"render_range_not_a_number", "render", {"--plot", plot, "--range", "2x", "-o", png}, 2},
        {"render_scale_zero", "render", {"--plot", plot, "--scale", "0", "-o", png}, 2},
        {"render_scale_too_large", "render", {"--plot", plot, "--scale", "17", "-o", png}, 2},
        {"render_bad_band", "render", {"--plot", plot, "--band", "al", "-o", png}, 2},
        {"render_damaged_plot", "render", {"--plot", bad, "-o", png}, 1},
    };
    for (const Case& c : cases) {
        const CliResult r = run(c.command, c.args);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << c.name;
    }
    EXPECT_FALSE(fs::exists(png));
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

} // namespace
