// The picture that shows the radar plot.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

namespace rizuzez {

// Shows an image at its natural size; empty until the first one is set.
class PlotView : public QWidget {
public:
    using QWidget::QWidget;
    void setImage(const QImage& image) {
        m_image = image;
        update();
    }
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!m_image.isNull()) {
            QPainter(this).drawImage(0, 0, m_image);
        }
    }

private:
    QImage m_image;
};

} // namespace rizuzez
