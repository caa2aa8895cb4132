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
    // Loading the main menu here would close whatever mail the operator is
    // reading; a closed menu shows the notice when it next opens.
    auto *list = m_context.navigator.loaded<Received>();
    if (auto *menu = m_context.navigator.loaded<MainMenu>())
        MainMenu::showArrivalNotice(menu);
    else if (list)
        list->setPendingArrival();
    if (list && list->isVisible())
        list->refreshList();
}
