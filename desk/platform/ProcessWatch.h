#pragma once

#include "shell/Outcome.h"

#include <QObject>
#include <QString>
#include <optional>

/// Watching other programs' processes until they end.
class ProcessWatch : public QObject
{
    Q_OBJECT
public:
    /// How an end is noticed: as it happens, or by a check every few seconds.
    enum class Way { Event, Polling };

    using QObject::QObject;
    ~ProcessWatch() override = default;

    /// Starts watching `pid`; `stopped(pid)` follows once when it ends (at
    /// once, from the event loop, when it is gone already).
    virtual Result<Way> watch(qint64 pid) = 0;
    /// Stops watching `pid` without a `stopped`.
    virtual void unwatch(qint64 pid) = 0;

    /// The id of a running process whose program file name is `fileName`
    /// (letter case ignored), as the Processes port's `isRunning` finds it.
    virtual std::optional<qint64> findRunning(const QString &fileName) = 0;

signals:
    void stopped(qint64 pid);
};
