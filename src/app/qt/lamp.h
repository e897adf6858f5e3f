// A small round indicator lamp: blinks in its on-colour while on, silver while off.
#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace rizuzez {

class Lamp : public QWidget {
    Q_OBJECT
public:
    static constexpr int BlinkMs = 1000;
    static inline const QColor Lime{0, 255, 0};
    static inline const QColor Yellow{255, 255, 0};
    static inline const QColor Silver{192, 192, 192};

    explicit Lamp(QWidget* parent = nullptr);

    // On: alternates between the on-colour and silver every second. Off: silver, steady.
    void setValue(bool on);
    bool value() const { return m_on; }
    void setTrueColor(const QColor& c);
    QColor trueColor() const { return m_trueColor; }
    // The colour painted now.
    QColor shownColor() const { return m_on && m_lit ? m_trueColor : Silver; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_blink;
    QColor m_trueColor = Lime;
    bool m_on = false;
    bool m_lit = false;
};

} // namespace rizuzez
