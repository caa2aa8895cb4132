#include "WindowHandOver.h"

#include "DeskContext.h"
#include "platform/Desktop.h"
#include "platform/Prompter.h"

#include <QObject>

namespace WindowHandOver {

void raisePacketProgram(DeskContext &context)
{
    // WinTNC is preferred when both run; titles match exactly.
    if (context.desktop.raiseWindow(QStringLiteral("WinTNC V 2.12")) || context.desktop.raiseWindow(QStringLiteral("Term")))
        return;
    context.prompter.inform(QStringLiteral("Neither WinTNC nor EasyTerm window found."), Prompter::Icon::Exclamation);
}

void raisePortal(DeskContext &context)
{
    if (context.desktop.raiseWindow(QStringLiteral("telnet server")))
        return;
    context.prompter.inform(QObject::tr("The NPR portal window (\"telnet server\") was not found. "
                                        "Start tavrixportal first."),
                            Prompter::Icon::Exclamation);
}

} // namespace WindowHandOver
