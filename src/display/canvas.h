// The drawing surface the radar plot is rendered on.
#pragma once

#include <cstdint>

namespace rizuzez {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

enum class BrushStyle { Solid, Clear };

// Contract: integer pixel coordinates, origin top-left, y down. The pen is solid and one
// pixel wide. A rectangle or ellipse box covers its left and top edge and stops short of its
// right and bottom edge; LineTo paints every pixel of the line except its end point and makes
// the end point the current position; whatever falls outside the surface is clipped.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void setPenColor(Rgb c) = 0;
    virtual void setBrushColor(Rgb c) = 0;
    virtual void setBrushStyle(BrushStyle s) = 0;
    // Fills with the brush, no outline.
    virtual void FillRect(int left, int top, int right, int bottom) = 0;
    // Outline with the pen, interior with the brush (untouched for BrushStyle::Clear).
    virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
};

} // namespace rizuzez
