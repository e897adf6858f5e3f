// The connection lamp.
#include "app/qt/lamp.h"

#include <QPainter>

namespace rizuzez {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {
    m_blink.setInterval(BlinkMs);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_lit = !m_lit;
        update();
    });
}

void Lamp::setValue(bool on) {
    if (on == m_on) {
        return;
    }
    m_on = on;
    m_lit = on;
    if (on) {
        m_blink.start();
    } else {
        m_blink.stop();
    }
    update();
}

void Lamp::setTrueColor(const QColor& c) {
    m_trueColor = c;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    p.setPen(QPen(QColor(64, 64, 64), 1.0));
    p.setBrush(shownColor());
    p.drawEllipse(r);
}

} // namespace rizuzez
