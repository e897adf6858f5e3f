// Radar plot drawing calls: rings, cross lines, outline vertices and band selection.
#include "display/radarplot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

using namespace rizuzez;

namespace {

// Records every canvas call in order.
class RecordingCanvas final : public Canvas {
public:
    enum class Kind { Pen, Brush, Style, Fill, Ellipse, Move, Line };
    struct Op {
        Kind kind;
        int a = 0, b = 0, c = 0, d = 0;
        Rgb colour{};
        BrushStyle style = BrushStyle::Solid;
    };
    std::vector<Op> ops;

    void setPenColor(Rgb c) override { ops.push_back({Kind::Pen, 0, 0, 0, 0, c}); }
    void setBrushColor(Rgb c) override { ops.push_back({Kind::Brush, 0, 0, 0, 0, c}); }
    void setBrushStyle(BrushStyle s) override { ops.push_back({Kind::Style, 0, 0, 0, 0, {}, s}); }
    void FillRect(int l, int t, int r, int b) override { ops.push_back({Kind::Fill, l, t, r, b}); }
    void Ellipse(int x1, int y1, int x2, int y2) override {
        ops.push_back({Kind::Ellipse, x1, y1, x2, y2});
    }
    void MoveTo(int x, int y) override { ops.push_back({Kind::Move, x, y}); }
    void LineTo(int x, int y) override { ops.push_back({Kind::Line, x, y}); }

    std::vector<Op> ofKind(Kind k) const {
        std::vector<Op> out;
        for (const Op& o : ops) {
            if (o.kind == k) {
                out.push_back(o);
            }
        }
        return out;
    }
    // The outline's points: everything from the last pen change on (MoveTo, then LineTos).
    std::vector<std::pair<int, int>> outline() const {
        std::size_t i = ops.size();
        while (i > 0 && ops[i - 1].kind != Kind::Pen) {
            --i;
        }
        std::vector<std::pair<int, int>> pts;
        for (; i < ops.size(); ++i) {
            pts.emplace_back(ops[i].a, ops[i].b);
        }
        return pts;
    }
    Rgb outlineColour() const { return ofKind(Kind::Pen).back().colour; }
};

RecordingCanvas draw(const PlotTable& t, int range, int selector) {
    RecordingCanvas c;
    DrawRadarPlot(c, t, range, selector);
    return c;
}

struct RingCase {
    const char* name;
    int range;
    int radii[6];
};

TEST(RadarPlot, RingBoxesByRange) {
    const RingCase cases[] = {
        {"p60", 60, {90, 180, 270, 360, 450, 540}}, {"p80", 80, {68, 135, 202, 270, 338, 405}},
        {"p240", 240, {22, 45, 68, 90, 112, 135}},  {"p300", 300, {18, 36, 54, 72, 90, 108}},
        {"p360", 360, {15, 30, 45, 60, 75, 90}},
    };
    for (const RingCase& c : cases) {
        const auto rings = draw(PlotTable{}, c.range, 4).ofKind(RecordingCanvas::Kind::Ellipse);
        ASSERT_EQ(rings.size(), 6u) << c.name;
        for (int k = 0; k < 6; ++k) {
            const int r = c.radii[k];
            EXPECT_EQ(std::tie(rings[k].a, rings[k].b, rings[k].c, rings[k].d),
                      std::make_tuple(90 - r, 90 - r, 90 + r, 90 + r))
                << c.name << " ring " << k + 1;
        }
    }
}

TEST(RadarPlot, BackgroundGridThenOutline) {
    using K = RecordingCanvas::Kind;
    const RecordingCanvas c = draw(PlotTable{}, 240, 1);
    const auto& ops = c.ops;
    ASSERT_GE(ops.size(), 19u);
    EXPECT_EQ(ops[0].kind, K::Style);
    EXPECT_EQ(ops[0].style, BrushStyle::Solid);
    EXPECT_EQ(ops[1].kind, K::Brush);
    EXPECT_EQ(ops[1].colour, (Rgb{0, 128, 0}));
    EXPECT_EQ(ops[2].kind, K::Fill);
    EXPECT_EQ(std::tie(ops[2].a, ops[2].b, ops[2].c, ops[2].d), std::make_tuple(0, 0, 180, 180));
    EXPECT_EQ(ops[3].kind, K::Pen);
    EXPECT_EQ(ops[3].colour, (Rgb{128, 128, 128}));
    EXPECT_EQ(ops[4].kind, K::Style);
    EXPECT_EQ(ops[4].style, BrushStyle::Clear);
    // Cross lines after the six rings: diagonals, horizontal, vertical.
    const int cross[8][3] = {{0, 0, 0},  {1, 180, 180}, {0, 0, 180}, {1, 180, 0},
                             {0, 0, 90}, {1, 180, 90},  {0, 90, 0},  {1, 90, 180}};
    for (int i = 0; i < 8; ++i) {
        const auto& o = ops[11 + i];
        EXPECT_EQ(o.kind, cross[i][0] ? K::Line : K::Move) << i;
        EXPECT_EQ(std::tie(o.a, o.b), std::make_tuple(cross[i][1], cross[i][2])) << i;
    }
    EXPECT_EQ(ops[19].kind, K::Pen);
    // One MoveTo and 360 LineTos: 361 outline points, closed on the first.
    const auto pts = c.outline();
    ASSERT_EQ(pts.size(), 361u);
    EXPECT_EQ(ops[20].kind, K::Move);
    EXPECT_EQ(c.ofKind(K::Line).size(), 4u + 360u);
    EXPECT_EQ(pts.front(), pts.back());
    // Empty table: every vertex on the centre.
    for (const auto& p : pts) {
        EXPECT_EQ(p, std::make_pair(90, 90));
    }
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

struct VertexCase {
    const char* name;
    int range, selector;
    std::vector<std::tuple<int, int, double>> cells; // band, bearing, dist
    int bearing;
    int x, y;
};

TEST(RadarPlot, Vertices) {
    const VertexCase cases[] = {
        {"p240_north_edge", 240, 0, {{0, 0, 240.0}}, 0, 90, 0},
        {"p240_east_beyond_last_column", 240, 0, {{0, 90, 240.0}}, 90, 180, 90},
        {"p240_south_half", 240, 0, {{0, 180, 120.0}}, 180, 90, 135},
        {"p240_west_half_pixel_to_even", 240, 0, {{0, 270, 60.0}}, 270, 68, 90},
        {"p300_north_east", 300, 3, {{3, 45, 150.0}}, 45, 122, 58},
        {"all_takes_largest",
         240,
         4,
         {{0, 10, 10.0}, {1, 10, 50.0}, {2, 10, 30.0}},
         10,
         90 + 3,
         90 - 18},
        {"all_four_zero_at_centre", 240, 4, {}, 10, 90, 90},
        {"selector_2_ignores_other_bands", 240, 2, {{2, 90, 120.0}, {3, 90, 240.0}}, 90, 135, 90},
        {"selector_2_empty_while_others_reach",
         240,
         2,
         {{0, 90, 120.0}, {3, 90, 240.0}},
         90,
         90,
         90},
        {"nan_at_centre", 240, 1, {{1, 90, NaN}}, 90, 90, 90},
        {"infinity_at_centre", 240, 1, {{1, 90, Inf}}, 90, 90, 90},
        {"negative_at_centre", 240, 1, {{1, 90, -50.0}}, 90, 90, 90},
        {"all_skips_unsound_values",
         240,
         4,
         {{0, 90, Inf}, {1, 90, NaN}, {2, 90, 120.0}},
         90,
         135,
         90},
        {"range_below_minimum_draws_at_60", 0, 0, {{0, 90, 30.0}}, 90, 135, 90},
    };
    for (const VertexCase& c : cases) {
        PlotTable t{};
        for (auto [band, bearing, dist] : c.cells) {
            t[band][bearing].Dist = dist;
        }
        const RecordingCanvas rc = draw(t, c.range, c.selector);
        const auto pts = rc.outline();
        ASSERT_EQ(pts.size(), 361u) << c.name;
        EXPECT_EQ(pts[c.bearing], std::make_pair(c.x, c.y)) << c.name;
        EXPECT_EQ(rc.outlineColour(), c.selector == 4 ? (Rgb{255, 255, 0}) : (Rgb{0, 255, 0}))
            << c.name;
    }
}

TEST(RadarPlot, HugeDistancesStayOnTheirBearingWithinIntRange) {
    PlotTable t{};
    t[0][45].Dist = 1e300;
    t[0][90].Dist = std::numeric_limits<double>::max();
    t[0][200].Dist = 5e9;
    const auto pts = draw(t, 360, 0).outline();
    const int limit = 1 << 20;
    // North-east: equal offsets, far outside the picture.
    EXPECT_EQ(pts[45].first - 90, 90 - pts[45].second);
    EXPECT_GT(pts[45].first, 100000);
    EXPECT_EQ(pts[90], std::make_pair(90 + limit, 90));
    EXPECT_LT(pts[200].first, 90);
    EXPECT_GT(pts[200].second, 90);
    for (const auto& p : pts) {
        EXPECT_LE(std::abs(p.first - 90), limit);
        EXPECT_LE(std::abs(p.second - 90), limit);
    }
}

TEST(RadarPlot, PolarToXYAndRounding) {
    const XY n = PolarToXY(0, 100.0);
    EXPECT_DOUBLE_EQ(n.east, 0.0);
    EXPECT_DOUBLE_EQ(n.north, 100.0);
    const XY e = PolarToXY(90, 100.0);
    EXPECT_DOUBLE_EQ(e.east, 100.0);
    EXPECT_NEAR(e.north, 0.0, 1e-12);
    const std::pair<double, int> rounding[] = {{22.5, 22}, {67.5, 68}, {-22.5, -22},
                                               {0.5, 0},   {1.5, 2},   {-0.4, 0}};
    for (auto [v, expected] : rounding) {
        EXPECT_EQ(nearestPixel(v), expected) << v;
    }
}

} // namespace
