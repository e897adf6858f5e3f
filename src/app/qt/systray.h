// The notification-area icon: minimising the main window puts the program there, a click on
// the icon brings the window back.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>

class QWidget;

namespace rizuzez {

// Contract: while the icon is shown the main window is hidden (no taskbar entry); a left
// click or a double click on the icon shows the window at its old place, in front, and
// removes the icon; a right click does nothing. Without a notification area on the desktop
// AppMinimize leaves a plain minimised window. The icon goes with this object, so none is
// left behind however the program ends.
class TSystrayStuff : public QObject {
    Q_OBJECT
public:
    TSystrayStuff(QWidget* mainWindow, const QIcon& icon, QObject* parent = nullptr);
    ~TSystrayStuff() override;

    // True while the icon is registered with the notification area (the calls made, not
    // their success: the area may drop the icon without telling).
    bool IconShown() const { return m_iconShown; }
    // The tip shown over the icon.
    static inline const QString TipText = QStringLiteral("Rizuzez");

    void TaskBarAddIcon();
    void TaskBarRemoveIcon();
    // The main window has just been minimised.
    void AppMinimize();
    // Mouse activity on the icon.
    void TrayIconMessage(QSystemTrayIcon::ActivationReason reason);
    // While in the tray: when the notification area has gone (its program ended), the window
    // comes back, since the icon that would bring it back went with the area. Cheap enough
    // for every tick.
    void checkTray();

    QSystemTrayIcon* trayIcon() { return m_icon; }

    // Whether AppMinimize hides the window into the tray; by default whether the desktop has
    // a notification area when the window is minimised.
    static bool trayAvailable();

private:
    QPointer<QWidget> m_window;
    QSystemTrayIcon* m_icon;
    bool m_iconShown = false;
    QPoint m_place; // the window's place before it went into the tray
    bool m_placeKnown = false;
};

} // namespace rizuzez
