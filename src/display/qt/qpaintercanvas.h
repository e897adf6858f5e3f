// The Canvas seam over a QImage, drawn with an aliased QPainter.
#pragma once

#include "display/canvas.h"

#include <QImage>
#include <QPainter>

namespace rizuzez {

// Paints on image for the canvas's lifetime (the painter ends in the destructor). Lines and
// outlines use a one-pixel cosmetic pen without antialiasing; boxes and lines follow the edge
// rules of the Canvas contract.
class QPainterCanvas final : public Canvas {
public:
    explicit QPainterCanvas(QImage& image);
    ~QPainterCanvas() override;
    QPainterCanvas(const QPainterCanvas&) = delete;
    QPainterCanvas& operator=(const QPainterCanvas&) = delete;

    void setPenColor(Rgb c) override;
    void setBrushColor(Rgb c) override;
    void setBrushStyle(BrushStyle s) override;
    void FillRect(int left, int top, int right, int bottom) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;

private:
    void applyBrush();

    const QImage& m_image; // read only, to give the end point of a line back
    QPainter m_painter;
    QColor m_brushColor = Qt::white;
    BrushStyle m_brushStyle = BrushStyle::Solid;
    int m_x = 0, m_y = 0;
};

// A blank image of the radar plot's size in the format QPainterCanvas expects.
QImage makePlotImage(int width, int height);

} // namespace rizuzez
