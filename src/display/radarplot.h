// The radar plot: the coverage table drawn as a 180 x 180 polar diagram, north up.
#pragma once

#include "coverage/plotdata.h"
#include "display/canvas.h"

namespace rizuzez {

// The picture and its centre, in pixels.
inline constexpr int PlotWidth = 180;
inline constexpr int PlotHeight = 180;
inline constexpr int PlotCentreX = PlotWidth / 2;
inline constexpr int PlotCentreY = PlotHeight / 2;

// Display range (NM from the centre to the picture's edge along the cross lines), as the
// range track bar offers it: 60 to 360, keys stepping by 60, any integer by dragging.
inline constexpr int PlotRangeMin = 60;
inline constexpr int PlotRangeMax = 360;
inline constexpr int PlotRangeStep = 60;
inline constexpr int PlotRingCount = 6;

// Band selector: 0..3 one altitude band, 4 all bands together.
inline constexpr int SelectorAllBands = 4;

inline constexpr Rgb PlotBackground{0, 128, 0};   // green
inline constexpr Rgb PlotGrid{128, 128, 128};     // grey: range rings and cross lines
inline constexpr Rgb PlotBandOutline{0, 255, 0};  // lime: one band selected
inline constexpr Rgb PlotAllOutline{255, 255, 0}; // yellow: all bands

// Offsets of a point at dist (any unit) on a whole-degree bearing; bearing 0 is north, 90 east.
struct XY {
    double east, north;
};
XY PolarToXY(int bearing, double dist);

// Rounds to the nearest integer, an exact half to the even neighbour.
int nearestPixel(double v);

// Draws the whole picture from the Dist fields of plot: background, six range rings (60 NM
// apart), cross lines, then the closed outline of the selected band(s). range is clamped to
// 60..360 and selector to 0..4. A distance that is NaN, infinite or negative counts as 0 (the
// vertex sits on the centre); a finite distance so large that its vertex would lie more than
// 2^20 pixels out is drawn at that radius on its bearing, which is far outside the picture
// either way and keeps every coordinate well within int.
void DrawRadarPlot(Canvas& canvas, const PlotTable& plot, int range, int selector);

} // namespace rizuzez
