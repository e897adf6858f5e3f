// Outline (.out) export: line layout, point rules, number formats, names and the file itself.
#include "coverage/outline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>
#include <vector>

using namespace rizuzez;
namespace fs = std::filesystem;

namespace {

// Splits on CR LF; fails the test on a bare CR or LF or a missing final CR LF.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text does not end with CR LF";
            break;
        }
        const std::string l = text.substr(pos, end - pos);
        EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos) << l;
        out.push_back(l);
        pos = end + 2;
    }
    return out;
}

// Line numbers (0-based) inside the file.
int blockStart(int layer) {
    return 2 + layer * 725;
}
int commentAt(int layer, int t) {
    return blockStart(layer) + 2 + 2 * t;
}
int coordAt(int layer, int t) {
    return commentAt(layer, t) + 1;
}
int closingAt(int layer) {
    return blockStart(layer) + 722;
}

TEST(Outline, LayoutOfEveryLayer) {
    PlotTable t{};
    t[0][7] = {123.4, 51.5, -0.125};
    const auto l = lines(OutlineText(t, 52.0, 4.0, "rizuzez.out", '.'));
    ASSERT_EQ(l.size(), 3627u);
    ASSERT_EQ(static_cast<int>(l.size()), OutlineLineCount);
    EXPECT_EQ(l[0], "{ Rizuzez coverage outline }");
    EXPECT_EQ(l[1], "{ rizuzez.out }");
    const char* captions[] = {"{ Layer 25 = GND to 9999 ft }", "{ Layer 26 = 10000 to 19999 ft }",
                              "{ Layer 27 = 20000 to 29999 ft }", "{ Layer 28 = above 30000 ft }",
                              "{ Layer 29 = all data }"};
    for (int layer = 0; layer < 5; ++layer) {
        EXPECT_EQ(l[blockStart(layer)], captions[layer]);
        EXPECT_EQ(l[blockStart(layer) + 1], "$TYPE=" + std::to_string(25 + layer));
        for (int b = 0; b < 360; ++b) {
            char prefix[32];
            std::snprintf(prefix, sizeof prefix, "{               trk=%03d - d=", b);
            EXPECT_EQ(l[commentAt(layer, b)].rfind(prefix, 0), 0u) << layer << " " << b;
        }
        EXPECT_EQ(l[closingAt(layer)], l[coordAt(layer, 0)]) << layer;
        EXPECT_EQ(l[closingAt(layer) + 1], "-1");
        EXPECT_EQ(l[closingAt(layer) + 2], "{ =============================}");
    }
    EXPECT_EQ(l[commentAt(0, 7)], "{               trk=007 - d=123.4}");
    EXPECT_EQ(l[coordAt(0, 7)], "51.500+-0.125");
    EXPECT_EQ(l[commentAt(4, 7)], "{               trk=007 - d=123.4}");
    EXPECT_EQ(l[coordAt(4, 7)], "51.500+-0.125");
    EXPECT_EQ(l[commentAt(1, 7)], "{               trk=007 - d=  0.0}");
    EXPECT_EQ(l[coordAt(1, 7)], "52.000+4.000");
}

TEST(Outline, AllZeroTableAtHome) {
    const std::pair<double, double> homes[] = {{0.0, 0.0}, {37.5, 15.07}, {-33.95, -70.75}};
    const char* expected[] = {"0.000+0.000", "37.500+15.070", "-33.950+-70.750"};
    for (int h = 0; h < 3; ++h) {
        const auto l =
            lines(OutlineText(PlotTable{}, homes[h].first, homes[h].second, "rizuzez.out", '.'));
        ASSERT_EQ(l.size(), 3627u);
        for (int layer = 0; layer < 5; ++layer) {
            for (int b = 0; b < 360; ++b) {
                const std::string& c = l[commentAt(layer, b)];
                EXPECT_EQ(c.substr(c.size() - 8), "d=  0.0}");
                EXPECT_EQ(l[coordAt(layer, b)], expected[h]);
            }
            EXPECT_EQ(l[closingAt(layer)], expected[h]);
        }
    }
}

struct PointCase {
    const char* name;
    std::vector<std::tuple<int, int, TPlotPoint>> cells; // band, bearing, cell
    int layer, bearing;
    const char* comment; // the part after "trk=nnn - "
    const char* coordinate;
};

TEST(Outline, Points) {
    const PointCase cases[] = {
        {"cleared_cell_keeps_position_in_its_band",
         {{2, 90, {0.0, 45.25, 7.5}}},
         2,
         90,
         "d=  0.0}",
         "45.250+7.500"},
        {"cleared_cells_never_chosen_for_all",
         {{0, 90, {0.0, 45.25, 7.5}}, {3, 90, {0.0, 46.0, 8.0}}},
         4,
         90,
         "d=  0.0}",
         "52.000+4.000"},
        {"tie_takes_lower_band",
         {{3, 12, {200.0, 55.0, 9.0}}, {1, 12, {200.0, 54.0, 8.0}}, {0, 12, {150.0, 53.0, 7.0}}},
         4,
         12,
         "d=200.0}",
         "54.000+8.000"},
        {"all_takes_greatest",
         {{0, 12, {150.0, 53.0, 7.0}}, {2, 12, {210.5, 56.0, 10.0}}},
         4,
         12,
         "d=210.5}",
         "56.000+10.000"},
        {"thousand_miles_written_whole",
         {{1, 300, {1234.56, 60.0, -20.0}}},
         1,
         300,
         "d=1234.6}",
         "60.000+-20.000"},
        {"ten_thousand_miles",
         {{3, 300, {12345.0, 60.0, -20.0}}},
         4,
         300,
         "d=12345.0}",
         "60.000+-20.000"},
        {"southern_western",
         {{0, 200, {88.04, -33.8568, -151.2153}}},
         0,
         200,
         "d= 88.0}",
         "-33.857+-151.215"},
        {"southern_eastern",
         {{0, 200, {5.0, -0.0004, 179.9996}}},
         0,
         200,
         "d=  5.0}",
         "-0.000+180.000"},
        {"position_at_zero_zero_counts_as_empty",
         {{0, 5, {120.0, 0.0, 0.0}}},
         0,
         5,
         "d=  0.0}",
         "52.000+4.000"},
        {"zero_latitude_alone_is_a_position",
         {{0, 5, {120.0, 0.0, 3.0}}},
         0,
         5,
         "d=120.0}",
         "0.000+3.000"},
        {"one_decimal_rounding", {{0, 5, {99.96, 1.0, 1.0}}}, 0, 5, "d=100.0}", "1.000+1.000"},
    };
    for (const PointCase& c : cases) {
        PlotTable t{};
        for (auto [band, bearing, cell] : c.cells) {
            t[band][bearing] = cell;
        }
        const auto l = lines(OutlineText(t, 52.0, 4.0, "x.out", '.'));
        ASSERT_EQ(l.size(), 3627u) << c.name;
        const std::string& comment = l[commentAt(c.layer, c.bearing)];
        EXPECT_EQ(comment.substr(comment.find(" - ") + 3), c.comment) << c.name;
        EXPECT_EQ(l[coordAt(c.layer, c.bearing)], c.coordinate) << c.name;
    }
}

TEST(Outline, DecimalSeparatorAlwaysPoint) {
    PlotTable t{};
    for (int b = 0; b < 4; ++b) {
        for (int i = 0; i < 360; ++i) {
            t[b][i] = {100.25 + i, 51.4996 + b, -0.1254};
        }
    }
    const std::string point = OutlineText(t, 52.5, 4.5, "rizuzez.out", '.');
    EXPECT_EQ(OutlineText(t, 52.5, 4.5, "rizuzez.out", ','), point);
    EXPECT_EQ(point.find(','), std::string::npos);
    const auto l = lines(point);
    EXPECT_EQ(l[coordAt(0, 0)], "51.500+-0.125");
    EXPECT_EQ(l[commentAt(0, 0)], "{               trk=000 - d=100.2}");
}

TEST(Outline, Names) {
    const LocalDateTime when{2011, 5, 6, 14, 30, 59, 0};
    const std::tuple<OutlineSender, const char*> cases[] = {
        {OutlineSender::Saveoutfile1, "rizuzez.out"},
        {OutlineSender::Saveoutfilewithdate1, "rizuzez.2011-05-06.out"},
        {OutlineSender::Timer1, "rizuzez.2011-05-06.14-30.out"},
    };
    for (auto [sender, name] : cases) {
        EXPECT_EQ(outlineFileName(sender, when), name);
        EXPECT_EQ(outlineFilePath("/opt/rz/outlines", sender, when),
                  std::string("/opt/rz/outlines/") + name);
        EXPECT_EQ(outlineFilePath("/opt/rz/outlines/", sender, when),
                  std::string("/opt/rz/outlines/") + name);
    }
    EXPECT_EQ(outlineFileName(OutlineSender::Timer1, {2024, 12, 31, 0, 5, 0, 0}),
              "rizuzez.2024-12-31.00-05.out");
}

TEST(Outline, WritesTheFileAtomically) {
    const fs::path dir =
        fs::temp_directory_path() /
        ("rizuzez_outline_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    PlotTable t{};
    t[3][100] = {250.0, 48.0, 9.0};
    const std::string path = (dir / "rizuzez.2011-05-06.14-30.out").string();
    std::ofstream(path) << "old";
    ASSERT_TRUE(WriteOutlineFile(path, t, 47.0, 8.0, ','));
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), OutlineText(t, 47.0, 8.0, "rizuzez.2011-05-06.14-30.out", '.'));
    EXPECT_EQ(lines(ss.str())[1], "{ rizuzez.2011-05-06.14-30.out }");
    EXPECT_FALSE(WriteOutlineFile((dir / "missing" / "rizuzez.out").string(), t, 0, 0, '.'));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) {
        left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"rizuzez.2011-05-06.14-30.out"});
    fs::remove_all(dir);
}

} // namespace
