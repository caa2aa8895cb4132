#pragma once

#include <QObject>
#include <QString>

/// Telling the desktop about arrivals: a notification, and a tray icon with
/// the number of unread messages. Either is quietly left out where the
/// desktop has no such service.
class Notifier : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Notifier() override = default;

    /// A desktop notification; never waits for the desktop's answer.
    virtual void notify(const QString &summary, const QString &body) = 0;
    /// Shows the tray icon (again) with this count; 0 shows it without a
    /// badge.
    virtual void showUnread(int count) = 0;
    /// Takes the tray icon away until the next `showUnread`; nothing to do
    /// where there is no tray.
    virtual void hideTray() {}

signals:
    /// The operator clicked the tray icon.
    void activated();
};
