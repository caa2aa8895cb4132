#pragma once

#include "ReceiveFolderEntries.h"
#include "shell/Outcome.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <optional>

class QTimer;

/// The receive-folder scanner: lists the folder on every tick of a timer it
/// borrows, and raises `FileReceived` once when at least one file name is
/// new since the previous tick. Names present when monitoring starts are
/// the baseline and are never announced, and a file the desk renames so it
/// can be opened is the same message, not a new one.
class FileMonitors : public QObject
{
    Q_OBJECT
public:
    /// The watched folder, as stored; empty means no folder is set.
    QString folderpath;

    /// The timer whose ticks drive the scan; it stays its owner's.
    void SetTimerControl(QTimer *timer);

    /// Takes the baseline and starts ticking once a second. Returns the
    /// reason when it cannot start.
    Outcome StartMonitoring();
    void StopMonitoring();
    bool IsRunning() const;

    /// One tick: lists the folder and compares it with the previous list.
    void scan();

signals:
    void FileReceived();

private:
    ReceiveFolderEntries::Snapshot GetFileList() const;

    QPointer<QTimer> m_timerScan;
    ReceiveFolderEntries::Snapshot m_lastFileList;
};
