#pragma once

#include "ProcessWatch.h"

#include <QHash>

class QSocketNotifier;
class QTimer;

/// Watches processes on Linux: a pidfd (pidfd_open, Linux 5.3 and later)
/// becomes readable the moment its process ends; where the kernel refuses
/// one, the process is checked under /proc every few seconds instead.
class LinuxProcessWatch : public ProcessWatch
{
    Q_OBJECT
public:
    explicit LinuxProcessWatch(int pollIntervalMs = 3000, QObject *parent = nullptr);
    ~LinuxProcessWatch() override;

    Result<Way> watch(qint64 pid) override;
    void unwatch(qint64 pid) override;
    std::optional<qint64> findRunning(const QString &fileName) override;

    /// Never uses pidfds, so the checks every few seconds can be tried.
    void forcePolling(bool on) { m_forcePolling = on; }

    /// True while `pid` names a process that has not ended (a zombie has).
    static bool isAlive(qint64 pid);

private:
    void pollAll();
    void ended(qint64 pid);

    QHash<qint64, QSocketNotifier *> m_pidfds;
    QList<qint64> m_polled;
    QTimer *m_pollTimer = nullptr;
    bool m_forcePolling = false;
};
