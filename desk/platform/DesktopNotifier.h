#pragma once

#include "Notifier.h"

#include <QDBusConnection>

class QSystemTrayIcon;

/// Notifications through the freedesktop notification service on the
/// session bus (Qt D-Bus), and a tray icon where the desktop has a tray.
/// Without a session bus or a tray the matching part does nothing.
class DesktopNotifier : public Notifier
{
    Q_OBJECT
public:
    /// `bus` is the session bus in the program; tests pass their own.
    explicit DesktopNotifier(const QString &applicationName,
                             QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
    ~DesktopNotifier() override;

    void notify(const QString &summary, const QString &body) override;
    void showUnread(int count) override;
    void hideTray() override;

    /// The tray icon, when the desktop has a tray.
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    /// How many notifications were handed to the bus.
    int sent() const { return m_sent; }

private:
    QString m_applicationName;
    QDBusConnection m_bus;
    QSystemTrayIcon *m_tray = nullptr;
    uint m_lastId = 0;
    int m_sent = 0;
};
