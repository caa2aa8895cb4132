#pragma once

#include "TestDesk.h"
#include "platform/Notifier.h"
#include "platform/ProcessWatch.h"
#include "shell/UnattendedStation.h"

#include <QHash>
#include <QSet>

/// Watches nothing: records what it was asked to watch; `end(pid)` plays a
/// process ending.
class FakeProcessWatch : public ProcessWatch
{
public:
    Result<Way> watch(qint64 pid) override;
    void unwatch(qint64 pid) override { watched.remove(pid); }
    std::optional<qint64> findRunning(const QString &fileName) override;

    /// Ends a watched process, as the real watch reports it.
    void end(qint64 pid);

    QSet<qint64> watched;
    QHash<QString, qint64> running; ///< file name (lower case) -> pid, for findRunning
    bool refuse = false;            ///< when set, watch fails
};

/// Records notifications and the tray's count.
class FakeNotifier : public Notifier
{
public:
    struct Note {
        QString summary;
        QString body;
    };
    void notify(const QString &summary, const QString &body) override { notes.append({summary, body}); }
    void showUnread(int count) override
    {
        counts.append(count);
        trayShown = true;
    }
    void hideTray() override { trayShown = false; }
    void click() { emit activated(); }

    QList<Note> notes;
    QList<int> counts;
    bool trayShown = true; ///< as the desktop's tray icon stands from the start
};

/// A TestDesk with the unattended-station features wired in.
struct UnattendedDesk {
    UnattendedDesk();

    /// The lines of today's station log, without their time stamps.
    QStringList loggedEvents() const;
    /// The whole lines of today's station log.
    QStringList logLines() const;

    TestDesk desk;
    FakeNotifier notifier;
    FakeProcessWatch watch;
    UnattendedStation station;
};
