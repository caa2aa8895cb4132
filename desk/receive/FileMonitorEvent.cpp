#include "FileMonitorEvent.h"

#include "FileMonitors.h"
#include "Received.h"
#include "platform/Speaker.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Modsoundcontrol.h"
#include "shell/Navigator.h"

FileMonitorEvent::FileMonitorEvent(DeskContext &context)
    : m_context(context)
{
}

void FileMonitorEvent::Initialize(FileMonitors *monitorInstance)
{
    connect(monitorInstance, &FileMonitors::FileReceived, this, &FileMonitorEvent::Monitor_FileReceived);
}

void FileMonitorEvent::Monitor_FileReceived()
{
    if (Modsoundcontrol(m_context.files).isSoundOn())
        m_context.speaker.speak(QStringLiteral("Message has arrived  Warning Check Running Packet Program to ensure "
                                               "total message received before opening"));
    // Only a loaded main menu shows the notice: loading one here would
    // close whatever mail the operator is reading.
    if (auto *menu = m_context.navigator.loaded<MainMenu>())
        menu->showArrivalNotice(
            QStringLiteral("A Message Has Arrived "),
            QStringLiteral(" Warning Check Packet Program to ensure total message received before opening"));
    if (auto *list = m_context.navigator.loaded<Received>(); list && list->isVisible())
        list->refreshList();
}
