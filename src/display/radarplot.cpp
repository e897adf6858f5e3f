// Radar plot drawing on the Canvas seam.
#include "display/radarplot.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rizuzez {
namespace {

// Largest pixel offset of a vertex from the centre; far beyond the picture and far within int.
constexpr double MaxVertexOffset = 1 << 20;

double soundDistance(double d) {
    return std::isfinite(d) && d > 0.0 ? d : 0.0;
}

} // namespace

XY PolarToXY(int bearing, double dist) {
    const double angle = bearing * std::numbers::pi / 180.0;
    return {std::sin(angle) * dist, std::cos(angle) * dist};
}

int nearestPixel(double v) {
    // std::nearbyint honours the current rounding mode, which is round-to-nearest-even unless
    // somebody changed it; callers keep |v| far below INT_MAX.
    return static_cast<int>(std::nearbyint(v));
}

void DrawRadarPlot(Canvas& canvas, const PlotTable& plot, int range, int selector) {
    const int p = std::clamp(range, PlotRangeMin, PlotRangeMax);
    const int sel = std::clamp(selector, 0, SelectorAllBands);

    canvas.setBrushStyle(BrushStyle::Solid);
    canvas.setBrushColor(PlotBackground);
    canvas.FillRect(0, 0, PlotWidth, PlotHeight);

    canvas.setPenColor(PlotGrid);
    canvas.setBrushStyle(BrushStyle::Clear);
    for (int k = 1; k <= PlotRingCount; ++k) {
        const int r = nearestPixel(5400.0 * k / p);
        canvas.Ellipse(PlotCentreX - r, PlotCentreY - r, PlotCentreX + r, PlotCentreY + r);
    }
    canvas.MoveTo(0, 0);
    canvas.LineTo(PlotWidth, PlotHeight);
    canvas.MoveTo(0, PlotHeight);
    canvas.LineTo(PlotWidth, 0);
    canvas.MoveTo(0, PlotCentreY);
    canvas.LineTo(PlotWidth, PlotCentreY);
    canvas.MoveTo(PlotCentreX, 0);
    canvas.LineTo(PlotCentreX, PlotHeight);

    canvas.setPenColor(sel == SelectorAllBands ? PlotAllOutline : PlotBandOutline);
    // A vertex at this distance is MaxVertexOffset pixels out; |east| and |north| never exceed
    // the distance, so capping it bounds both offsets without turning the bearing.
    const double maxDist = MaxVertexOffset * 2.0 * p / PlotWidth;
    int x0 = PlotCentreX, y0 = PlotCentreY;
    for (int b = 0; b < BearingCount; ++b) {
        double d = 0.0;
        if (sel == SelectorAllBands) {
            for (int band = 0; band < BandCount; ++band) {
                const double v = soundDistance(plot[band][b].Dist);
                if (v > d) {
                    d = v;
                }
            }
        } else {
            d = soundDistance(plot[sel][b].Dist);
        }
        d = std::min(d, maxDist);
        const XY xy = PolarToXY(b, d);
        const int x = PlotCentreX + nearestPixel(xy.east / (2.0 * p) * PlotWidth);
        const int y = PlotCentreY - nearestPixel(xy.north / (2.0 * p) * PlotHeight);
        if (b == 0) {
            x0 = x;
            y0 = y;
            canvas.MoveTo(x, y);
        } else {
            canvas.LineTo(x, y);
        }
    }
    canvas.LineTo(x0, y0);
}

} // namespace rizuzez
