#include "ModemConsole.h"

#include "DataLink.h"
#include "ModemLink.h"
#include "SocketList.h"
#include "SocketTable.h"
#include "StatusBox.h"
#include "StatusText.h"

#include <QLineEdit>
#include <QPlainTextEdit>

ModemConsole::ModemConsole(QLineEdit *command, QPlainTextEdit *box, ModemLink &modem, DataLink &link,
                           SocketList &sockets, QObject *parent)
    : QObject(parent)
    , m_command(command)
    , m_box(box)
    , m_modem(modem)
    , m_link(link)
    , m_sockets(sockets)
{
    connect(&m_modem, &ModemLink::lineShown, this, [this](const QString &line) { StatusBox::appendLine(m_box, line); });
}

void ModemConsole::sendCommand()
{
    const QString command = StatusText::trimSpaces(m_command->text());
    if (!m_modem.sendCommand(command))
        return;
    StatusBox::appendLine(m_box, QStringLiteral(">> ") + command);
    m_command->clear();
}

void ModemConsole::checkPort()
{
    m_box->clear();
    const quint16 port = m_link.listenPort();
    QStringList lines;
    if (const PortalOutcome read = m_sockets.read(lines); !read) {
        StatusBox::addBelow(m_box, StatusText::errorLine(QStringLiteral("[CHECKPORT ERR "), 53, read.why()));
        return;
    }
    for (const QString &line : SocketTable::usingPort(lines, port))
        StatusBox::prepend(m_box, QStringLiteral("[CheckPort] Port %1 is in use: %2").arg(port).arg(line));
    StatusBox::addBelow(m_box, QStringLiteral("[CheckPort] Scan complete for port ") + QString::number(port));
}
