// QPainter adapter of the Canvas seam.
#include "display/qt/qpaintercanvas.h"

#include <QPen>
#include <QRect>

#include <algorithm>

namespace rizuzez {
namespace {

QColor toQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

// Box in Canvas terms (right and bottom edge excluded), normalised like the GDI calls whose
// semantics the contract follows. Empty when either side has no pixels.
struct Box {
    int left, top, right, bottom;
    bool empty() const { return right <= left || bottom <= top; }
};

Box normalise(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

} // namespace

QPainterCanvas::QPainterCanvas(QImage& image) : m_image(image), m_painter(&image) {
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black);
    pen.setWidth(0); // cosmetic: one pixel whatever the transform
    pen.setCosmetic(true);
    // Square caps make an aliased cosmetic line cover both end points; LineTo then gives the end
    // point back (Qt's flat cap drops whichever end comes last in its own drawing order).
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    m_painter.setPen(pen);
    applyBrush();
}

QPainterCanvas::~QPainterCanvas() {
    m_painter.end();
}

void QPainterCanvas::setPenColor(Rgb c) {
    QPen pen = m_painter.pen();
    pen.setColor(toQColor(c));
    m_painter.setPen(pen);
}

void QPainterCanvas::setBrushColor(Rgb c) {
    m_brushColor = toQColor(c);
    applyBrush();
}

void QPainterCanvas::setBrushStyle(BrushStyle s) {
    m_brushStyle = s;
    applyBrush();
}

void QPainterCanvas::applyBrush() {
    m_painter.setBrush(m_brushStyle == BrushStyle::Solid ? QBrush(m_brushColor) : QBrush());
}

void QPainterCanvas::FillRect(int left, int top, int right, int bottom) {
    const Box b = normalise(left, top, right, bottom);
    if (b.empty() || m_brushStyle == BrushStyle::Clear) {
        return;
    }
    m_painter.fillRect(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top), m_brushColor);
}

void QPainterCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    const Box b = normalise(x1, y1, x2, y2);
    if (b.empty()) {
        return;
    }
    // An aliased one-pixel outline of drawEllipse(QRect(x, y, w, h)) covers x..x+w, so the
    // rectangle is one pixel smaller than the box to stop short of its right and bottom edge.
    m_painter.drawEllipse(QRect(b.left, b.top, b.right - b.left - 1, b.bottom - b.top - 1));
}

void QPainterCanvas::MoveTo(int x, int y) {
    m_x = x;
    m_y = y;
}

void QPainterCanvas::LineTo(int x, int y) {
    // A zero-length line paints nothing (its only pixel is the excluded end point).
    if (x != m_x || y != m_y) {
        const bool endInside = m_image.rect().contains(x, y);
        const QRgb under = endInside ? m_image.pixel(x, y) : 0;
        m_painter.drawLine(m_x, m_y, x, y);
        if (endInside) {
            // Copy the old value back as it was, alpha included, rather than blending it.
            const QPainter::CompositionMode mode = m_painter.compositionMode();
            m_painter.setCompositionMode(QPainter::CompositionMode_Source);
            m_painter.fillRect(QRect(x, y, 1, 1), QColor::fromRgba(under));
            m_painter.setCompositionMode(mode);
        }
    }
    m_x = x;
    m_y = y;
}

QImage makePlotImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

} // namespace rizuzez
