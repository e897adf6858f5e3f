// The QPainter canvas: pixel-exact edge rules and the rendered radar plot.
#include "display/qt/qpaintercanvas.h"
#include "display/radarplot.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

using namespace rizuzez;

namespace {

constexpr Rgb Ink{255, 0, 0};
const QRgb Paper = qRgb(0, 0, 0);
const QRgb InkPixel = qRgb(255, 0, 0);

using Pixels = std::set<std::pair<int, int>>;

Pixels inked(const QImage& img) {
    Pixels out;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) == InkPixel) {
                out.emplace(x, y);
            }
        }
    }
    return out;
}

struct Bounds {
    int left, top, right, bottom; // inclusive
    bool operator==(const Bounds&) const = default;
};

Bounds bounds(const Pixels& px) {
    Bounds b{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
    for (auto [x, y] : px) {
        b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y)};
    }
    return b;
}

struct EdgeCase {
    const char* name;
    std::function<void(Canvas&)> draw;
    Bounds expected; // bounding box of the painted pixels, inclusive
    std::vector<std::pair<int, int>> painted;
    std::vector<std::pair<int, int>> unpainted;
};

TEST(QPainterCanvas, EdgeRules) {
    const EdgeCase cases[] = {
        {"fillrect_excludes_right_and_bottom",
         [](Canvas& c) {
             c.setBrushStyle(BrushStyle::Solid);
             c.setBrushColor(Ink);
             c.FillRect(2, 3, 7, 9);
         },
         {2, 3, 6, 8},
         {{2, 3}, {6, 8}},
         {{7, 8}, {6, 9}}},
        {"ellipse_outline_inside_box",
         [](Canvas& c) {
             c.setPenColor(Ink);
             c.setBrushStyle(BrushStyle::Clear);
             c.Ellipse(1, 2, 11, 14);
         },
         {1, 2, 10, 13},
         {},
         {{5, 7}}},
        {"ellipse_solid_brush_fills",
         [](Canvas& c) {
             c.setPenColor(Ink);
             c.setBrushColor(Ink);
             c.setBrushStyle(BrushStyle::Solid);
             c.Ellipse(1, 2, 11, 14);
         },
         {1, 2, 10, 13},
         {{5, 7}},
         {}},
        {"lineto_excludes_end_point",
         [](Canvas& c) {
             c.setPenColor(Ink);
             c.MoveTo(1, 1);
             c.LineTo(6, 6);
         },
         {1, 1, 5, 5},
         {{1, 1}, {3, 3}},
         {{6, 6}}},
        {"vertical_line_upwards",
         [](Canvas& c) {
             c.setPenColor(Ink);
             c.MoveTo(3, 10);
             c.LineTo(3, 5);
         },
         {3, 6, 3, 10},
         {{3, 10}},
         {{3, 5}}},
        {"polyline_joins_without_gaps",
         [](Canvas& c) {
             c.setPenColor(Ink);
             c.MoveTo(2, 2);
             c.LineTo(10, 2);
             c.LineTo(10, 10);
             c.LineTo(2, 2);
         },
         {2, 2, 10, 10},
         {{10, 2}, {10, 10}, {6, 6}, {2, 2}},
         {}},
        {"clipped_far_outside",
         [](Canvas& c) {
             c.setPenColor(Ink);
             c.MoveTo(5, 5);
             c.LineTo(5 + (1 << 20), 5);
         },
         {5, 5, 15, 5},
         {},
         {}},
    };
    for (const EdgeCase& c : cases) {
        QImage img = makePlotImage(16, 16);
        {
            QPainterCanvas canvas(img);
            c.draw(canvas);
        }
        const Pixels px = inked(img);
        EXPECT_EQ(bounds(px), c.expected) << c.name;
        for (const auto& p : c.painted) {
            EXPECT_TRUE(px.count(p)) << c.name << " (" << p.first << "," << p.second << ")";
        }
        for (const auto& p : c.unpainted) {
            EXPECT_FALSE(px.count(p)) << c.name << " (" << p.first << "," << p.second << ")";
        }
    }
}

TEST(QPainterCanvas, ZeroLengthLinePaintsNothing) {
    QImage img = makePlotImage(8, 8);
    {
        QPainterCanvas canvas(img);
        canvas.setPenColor(Ink);
        canvas.MoveTo(3, 3);
        canvas.LineTo(3, 3);
    }
    EXPECT_TRUE(inked(img).empty());
    EXPECT_EQ(img.pixel(3, 3), Paper);
}

QRgb rgbOf(Rgb c) {
    return qRgb(c.r, c.g, c.b);
}

TEST(QPainterCanvas, LineEndKeepsWhatWasThere) {
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        QImage img(8, 8, format);
        img.fill(Qt::transparent);
        {
            QPainterCanvas canvas(img);
            canvas.setBrushColor(Ink);
            canvas.FillRect(6, 6, 7, 7);
            canvas.setPenColor({0, 0, 255});
            canvas.MoveTo(1, 2);
            canvas.LineTo(6, 2);
            canvas.LineTo(6, 6);
            canvas.LineTo(1, 6);
        }
        const QRgb blue = qRgb(0, 0, 255);
        EXPECT_EQ(img.pixel(5, 2), blue) << format;
        EXPECT_EQ(img.pixel(6, 2), blue) << format; // the next line's start
        EXPECT_EQ(img.pixel(6, 5), blue) << format;
        EXPECT_EQ(img.pixel(6, 6), blue) << format; // painted red, then by the third line
        EXPECT_EQ(img.pixel(2, 6), blue) << format;
        const QRgb untouched = format == QImage::Format_RGB32 ? qRgb(0, 0, 0) : qRgba(0, 0, 0, 0);
        EXPECT_EQ(img.pixel(1, 6), untouched) << format; // end point of the last line
    }
}

TEST(QPainterCanvas, LineEndingOnPaintKeepsIt) {
    QImage img = makePlotImage(8, 8);
    {
        QPainterCanvas canvas(img);
        canvas.setBrushColor(Ink);
        canvas.FillRect(6, 2, 7, 3);
        canvas.setPenColor({0, 0, 255});
        canvas.MoveTo(1, 2);
        canvas.LineTo(6, 2);
    }
    EXPECT_EQ(img.pixel(5, 2), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(6, 2), InkPixel);
}

TEST(QPainterCanvas, RenderedRadarPlot) {
    PlotTable t{};
    t[1][60].Dist = 100.0; // P = 240: vertex (122, 71)
    QImage img = makePlotImage(PlotWidth, PlotHeight);
    {
        QPainterCanvas canvas(img);
        DrawRadarPlot(canvas, t, 240, 1);
    }
    const QRgb green = rgbOf(PlotBackground), grey = rgbOf(PlotGrid), lime = rgbOf(PlotBandOutline);
    EXPECT_EQ(img.pixel(5, 40), green);
    EXPECT_EQ(img.pixel(170, 40), green);
    // Column 89 above the centre crosses the tops of rings 1 to 4 (radii 22, 45, 68, 90) and
    // no cross line.
    std::vector<int> greyRows;
    for (int y = 0; y < 89; ++y) {
        const QRgb p = img.pixel(89, y);
        EXPECT_TRUE(p == grey || p == green) << y;
        if (p == grey) {
            greyRows.push_back(y);
        }
    }
    EXPECT_EQ(greyRows, (std::vector<int>{0, 22, 45, 68}));
    // Cross lines reach the picture's corners and edges.
    EXPECT_EQ(img.pixel(0, 0), grey);
    EXPECT_EQ(img.pixel(179, 179), grey);
    EXPECT_EQ(img.pixel(1, 179), grey);
    EXPECT_EQ(img.pixel(0, 90), grey);
    EXPECT_EQ(img.pixel(90, 179), grey);
    // The outline: a spike from the centre to the one vertex and back.
    Bounds lb{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
    for (int y = 0; y < PlotHeight; ++y) {
        for (int x = 0; x < PlotWidth; ++x) {
            if (img.pixel(x, y) == lime) {
                lb = {std::min(lb.left, x), std::min(lb.top, y), std::max(lb.right, x),
                      std::max(lb.bottom, y)};
            }
        }
    }
    EXPECT_EQ(lb, (Bounds{90, 71, 122, 90}));
    EXPECT_EQ(img.pixel(122, 71), lime);
    EXPECT_EQ(img.pixel(90, 90), lime);
}

TEST(QPainterCanvas, AllBandsOutlineIsYellow) {
    PlotTable t{};
    for (int b = 0; b < BearingCount; ++b) {
        t[3][b].Dist = 120.0; // ring of radius 45 at P = 240
    }
    QImage img = makePlotImage(PlotWidth, PlotHeight);
    {
        QPainterCanvas canvas(img);
        DrawRadarPlot(canvas, t, 240, SelectorAllBands);
    }
    EXPECT_EQ(img.pixel(90, 45), rgbOf(PlotAllOutline));
    EXPECT_EQ(img.pixel(90, 135), rgbOf(PlotAllOutline));
}

} // namespace
