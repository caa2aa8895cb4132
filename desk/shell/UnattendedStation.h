#pragma once

#include "ArrivalAlert.h"
#include "StationLog.h"
#include "UnattendedSettings.h"
#include "launcher/LauncherWatchdog.h"
#include "receive/ReceiveFolderEntries.h"

#include <QObject>
#include <QSet>
#include <QThreadPool>

class Clock;
class Notifier;
class ProcessWatch;
class Prompter;
class SettingFiles;
class Speaker;

/// What keeps an unattended station told: the repeating arrival alert with
/// the unread count, desktop notifications, the launcher's watchdog and the
/// station log, switched by the station's own settings file. Screens call
/// it with one line per event.
class UnattendedStation : public QObject
{
    Q_OBJECT
public:
    UnattendedStation(const SettingFiles &files, const Clock &clock, Speaker &speaker, Prompter &prompter,
                      Notifier &notifier, ProcessWatch &watch, QObject *parent = nullptr);
    ~UnattendedStation() override;

    const UnattendedSettings &settings() const { return m_settings; }
    /// Stores the settings and follows them at once; a failed store
    /// changes nothing.
    Outcome apply(const UnattendedSettings &settings);

    ArrivalAlert &alert() { return m_alert; }
    LauncherWatchdog &watchdog() { return m_watchdog; }
    const StationLog &log() const { return m_log; }

    /// The names in `folder` now are no arrivals.
    void baseline(const QString &folder);
    /// The monitor (re)starts on `folder`: a folder watched before is
    /// caught up (what came while nobody watched counts as arrived), a new
    /// one is taken as it is.
    void watchFolder(const QString &folder);
    /// The monitor saw new names: finds them (with their sizes), logs each,
    /// counts them unread, alerts and notifies. Returns the new names as the
    /// operator reads them.
    QStringList takeArrivals(const QString &folder);
    /// As `takeArrivals`, with the folder listed on a worker thread, so a
    /// large receive folder never holds the window up; the rest follows on
    /// this object's thread. Listings are taken one at a time, in order.
    void takeArrivalsInBackground(const QString &folder);
    /// The part of `takeArrivals` after the listing: `present` is what the
    /// folder holds now. A file the desk renamed so it can be opened stays
    /// the message it was (unread or not), with no second arrival.
    QStringList takeArrivalsFrom(const QString &folder, const ReceiveFolderEntries::Snapshot &present);
    /// The messages in `folder`, as the monitor counts them.
    static ReceiveFolderEntries::Snapshot namesIn(const QString &folder);

    /// The desk renamed files in `folder` so they can be opened:
    /// (key before, name now). Each stays the message it was, unread or not.
    void renamedByDesk(const QString &folder, const QList<std::pair<QString, QString>> &renames);

    /// One line in the log; a failing log is reported to the operator once,
    /// not at every event.
    void record(const QString &event);

    void messageRead(const QString &name);
    /// `trashPath` empty: deleted for good, as there is no trash.
    void messageDeleted(const QString &name, const QString &trashPath);

signals:
    /// The operator asked (through the tray icon) to see the main menu.
    void frontRequested();

private:
    void follow();
    void noteRenames(const QList<std::pair<QString, QString>> &renames);
    // Unread entries follow the files present.
    void forgetUnreadGone();

    const SettingFiles &m_files;
    Prompter &m_prompter;
    Notifier &m_notifier;
    UnattendedSettings m_settings;
    StationLog m_log;
    ArrivalAlert m_alert;
    LauncherWatchdog m_watchdog;
    QString m_folder;
    ReceiveFolderEntries::Snapshot m_known;
    bool m_logFailing = false;
    QThreadPool m_lister;
};
