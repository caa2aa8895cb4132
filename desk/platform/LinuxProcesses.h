#pragma once

#include "Processes.h"

/// Processes on Linux: the running ones from /proc, Windows program files
/// through Wine when it is installed.
class LinuxProcesses : public Processes
{
public:
    bool isRunning(const QString &fileName) override;
    bool start(const QString &path, QString *error) override;
    bool open(const QString &file, const QString &workingDirectory, QString *error) override;

    /// The program file names of all running processes that can be seen.
    static QStringList runningProgramNames();
};
