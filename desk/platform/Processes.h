#pragma once

#include <QString>

/// Other programs: whether one runs, starting one, opening a file with one.
class Processes
{
public:
    virtual ~Processes() = default;

    /// True when a process whose program file name is `fileName` runs;
    /// letter case is ignored.
    virtual bool isRunning(const QString &fileName) = 0;

    /// Starts the program at `path` without waiting for it.
    virtual bool start(const QString &path, QString *error) = 0;

    /// Opens `file` through the desktop, with `workingDirectory` as the
    /// working directory of whatever program opens it.
    virtual bool open(const QString &file, const QString &workingDirectory, QString *error) = 0;
};
