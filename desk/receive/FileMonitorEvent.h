#pragma once

#include <QObject>

struct DeskContext;
class FileMonitors;

/// The arrival reaction: answers the scanner's `FileReceived` with the
/// spoken warning, the main menu's arrival notice and a fresh received list.
class FileMonitorEvent : public QObject
{
    Q_OBJECT
public:
    explicit FileMonitorEvent(DeskContext &context);

    void Initialize(FileMonitors *monitorInstance);
    void Monitor_FileReceived();

private:
    DeskContext &m_context;
};
