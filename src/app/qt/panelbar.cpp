// The status lines.
#include "app/qt/panelbar.h"

namespace rizuzez {

PanelBar::PanelBar(const std::vector<int>& widths, QWidget* parent)
    : QWidget(parent), m_widths(widths) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(2);
        label->setTextFormat(Qt::PlainText);
        m_panels.push_back(label);
    }
    place();
}

void PanelBar::setText(int panel, const QString& text) {
    m_panels.at(static_cast<std::size_t>(panel))->setText(text);
}

void PanelBar::resizeEvent(QResizeEvent*) {
    place();
}

void PanelBar::place() {
    int x = 0;
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        const bool last = i + 1 == m_panels.size();
        const int w = last ? std::max(m_widths[i], width() - x) : m_widths[i];
        m_panels[i]->setGeometry(x, 0, w, height());
        x += w;
    }
}

} // namespace rizuzez
