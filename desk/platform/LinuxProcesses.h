#pragma once

#include "Processes.h"

/// Processes on Linux: the running ones from /proc, Windows program files
/// through Wine when it is installed.
class LinuxProcesses : public Processes
{
public:
    bool isRunning(const QString &fileName) override;
    Result<qint64> start(const QString &path) override;
    Outcome open(const QString &file, const QString &workingDirectory) override;

    /// The program file names of all running processes that can be seen.
    static QStringList runningProgramNames();
};
