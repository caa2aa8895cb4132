#pragma once

#include "shell/Outcome.h"

#include <QString>

/// Other programs: whether one runs, starting one, opening a file with one.
class Processes
{
public:
    virtual ~Processes() = default;

    /// True when a process whose program file name is `fileName` runs;
    /// letter case is ignored.
    virtual bool isRunning(const QString &fileName) = 0;

    /// Starts the program at `path` without waiting for it; answers the
    /// started process's id.
    virtual Result<qint64> start(const QString &path) = 0;

    /// Opens `file` through the desktop, with `workingDirectory` as the
    /// working directory of whatever program opens it.
    virtual Outcome open(const QString &file, const QString &workingDirectory) = 0;
};
