#include "FileMonitors.h"

#include "ReceiveFolderEntries.h"

#include <QTimer>

namespace {
constexpr int scanIntervalMs = 1000;
}

void FileMonitors::SetTimerControl(QTimer *timer)
{
    if (m_timerScan)
        disconnect(m_timerScan, nullptr, this, nullptr);
    m_timerScan = timer;
    if (m_timerScan)
        connect(m_timerScan, &QTimer::timeout, this, &FileMonitors::scan);
}

Outcome FileMonitors::StartMonitoring()
{
    if (!m_timerScan)
        return Outcome::failure(QStringLiteral("Error: Timer control is not set!"));
    if (folderpath.isEmpty())
        return Outcome::failure(QStringLiteral("Error: Folder path is not set!"));
    // A folder that does not exist yet is watched until it does; a file in
    // its place never becomes one by itself.
    if (const QString found = ReceiveFolderEntries::notAFolder(folderpath); !found.isEmpty())
        return Outcome::failure(QStringLiteral("Error initializing monitoring: ")
                                + tr("%1. Choose the receive folder again in the directory setup.").arg(found));
    m_lastFileList = GetFileList();
    m_timerScan->setInterval(scanIntervalMs);
    m_timerScan->start();
    return {};
}

void FileMonitors::StopMonitoring()
{
    if (m_timerScan)
        m_timerScan->stop();
    SetTimerControl(nullptr);
}

bool FileMonitors::IsRunning() const
{
    return m_timerScan && m_timerScan->isActive();
}

ReceiveFolderEntries::Snapshot FileMonitors::GetFileList() const
{
    // A folder that is missing or unreadable simply lists nothing. Only
    // what the received list shows is announced.
    return ReceiveFolderEntries::snapshot(folderpath);
}

void FileMonitors::scan()
{
    ReceiveFolderEntries::Snapshot current = GetFileList();
    // Hashed, so a crowded folder costs little more than its listing.
    const bool anyNew = !ReceiveFolderEntries::compare(m_lastFileList, current).arrived.isEmpty();
    m_lastFileList = std::move(current);
    if (anyNew)
        emit FileReceived();
}
