// A status line split into panels of fixed widths; the last one reaches the right end.
#pragma once

#include <QLabel>
#include <QWidget>

#include <vector>

namespace rizuzez {

class PanelBar : public QWidget {
    Q_OBJECT
public:
    PanelBar(const std::vector<int>& widths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(m_panels.size()); }
    QString text(int panel) const { return m_panels.at(static_cast<std::size_t>(panel))->text(); }
    void setText(int panel, const QString& text);
    QLabel* panel(int index) { return m_panels.at(static_cast<std::size_t>(index)); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    std::vector<int> m_widths;
    std::vector<QLabel*> m_panels;
};

} // namespace rizuzez
