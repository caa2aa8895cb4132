#pragma once

#include "SocketList.h"

/// The socket table on Linux: /proc/net/tcp, and /proc/net/tcp6 where the
/// system has IPv6.
class ProcSocketList : public SocketList
{
public:
    /// The folder holding tcp and tcp6; tests pass a folder of their own.
    explicit ProcSocketList(QString folder = QStringLiteral("/proc/net"));
    PortalOutcome read(QStringList &lines) override;

private:
    QString m_folder;
};
