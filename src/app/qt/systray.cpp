// The notification-area icon over QSystemTrayIcon.
#include "app/qt/systray.h"

#include <QTimer>
#include <QWidget>

namespace rizuzez {

TSystrayStuff::TSystrayStuff(QWidget* mainWindow, const QIcon& icon, QObject* parent)
    : QObject(parent), m_window(mainWindow), m_icon(new QSystemTrayIcon(icon, this)) {
    m_icon->setToolTip(TipText);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TSystrayStuff::TrayIconMessage);
}

TSystrayStuff::~TSystrayStuff() {
    TaskBarRemoveIcon();
}

bool TSystrayStuff::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TSystrayStuff::TaskBarAddIcon() {
    if (!m_iconShown) {
        m_icon->show();
        m_iconShown = true;
    }
}

void TSystrayStuff::TaskBarRemoveIcon() {
    if (m_iconShown) {
        m_icon->hide();
        m_iconShown = false;
    }
}

void TSystrayStuff::AppMinimize() {
    if (!m_window || !trayAvailable()) {
        return; // a plain minimised window, reachable from the taskbar
    }
    TaskBarAddIcon();
    if (m_window->isVisible()) {
        m_place = m_window->pos();
        m_placeKnown = true;
        // Hidden after the minimise has been delivered, not inside it: hiding from within
        // the state change leaves some window managers with a stale iconic window.
        QTimer::singleShot(0, m_window, [w = m_window, this] {
            if (w && m_iconShown) {
                w->hide();
            }
        });
    }
}

void TSystrayStuff::checkTray() {
    if (m_iconShown && !trayAvailable()) {
        TrayIconMessage(QSystemTrayIcon::Trigger);
    }
}

void TSystrayStuff::TrayIconMessage(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) {
        return;
    }
    if (!m_window || !m_iconShown) {
        return; // the second half of a double click, after the first has restored
    }
    QWidget* w = m_window;
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    if (m_placeKnown && w->pos() != m_place) {
        w->move(m_place);
    }
    w->show();
    w->raise();
    w->activateWindow();
    TaskBarRemoveIcon();
}

} // namespace rizuzez
