// The chat side of the data link: a connection that stays open for lines
// both ways until either station ends it.
#include "DataLink.h"

#include "Speaker.h"
#include "StatusText.h"
#include "Wire.h"

#include <QTcpSocket>

void DataLink::chatConnect(const QString &remoteHost)
{
    dropPendingSend(tr("a chat connection was started here"));
    m_sendMode = SendMode::Chat;
    stopCarrying(Carrying::Chat);
    emit connectionStatusPrepended(QStringLiteral("Chat mode armed. Next connect will stay open."));
    m_remoteHost = StatusText::trimSpaces(remoteHost);
    connectToPeer();
}

void DataLink::reconnect(const QString &remoteHost)
{
    dropPendingSend(tr("Reconnect Last IP was used"));
    endLocally(QStringLiteral("Reconnect Last IP was used"));
    dropSocket(Close::Abort);
    ResetReceiveState();
    m_sendMode = SendMode::Chat;
    stopCarrying(Carrying::Chat);
    m_remoteHost = StatusText::trimSpaces(remoteHost);
    const QString host = m_remoteHost;
    connectToPeer();
    emit connectionStatusPrepended(QStringLiteral("Reconnect attempted to %1 on port %2").arg(host).arg(m_setup.peerPort));
}

bool DataLink::sendChat(const QString &message)
{
    // Chat bytes on a transfer connection would land inside the file.
    if (state() != SocketPhase::Connected || !chatModeActive() || m_sendMode != SendMode::Chat || transferInProgress())
        return false;
    m_firstLineTimer.stop();
    m_socket->write(Wire::chatLine(message));
    return true;
}

void DataLink::endChat()
{
    emit connectionStatusCleared();
    dropPendingSend(tr("End Chat was used"));
    const bool transfer = endLocally(QStringLiteral("End Chat was used"));
    if (chatModeActive()) {
        stopCarrying(Carrying::Chat);
        emit connectionStatusPrepended(QStringLiteral("Chat mode terminated by user."));
        // The graceful close below hands both lines to the network before the connection ends.
        if (!transfer && m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->write(Wire::endChatLines());
    }
    dropSocket();
    ResetReceiveState();
    m_sendMode = SendMode::Idle;
    listenAgain();
    emit connectionStatusPrepended(QStringLiteral(" CHAT Session Ended"));
}

void DataLink::remoteEndOfChat()
{
    m_speaker.say(QStringLiteral("Chat session ended."));
    emit remoteEndedChat();
    stopCarrying(Carrying::Chat);
    dropSocket();
    emit connectionStatusPrepended(QStringLiteral("Remote terminated chat session."));
    ResetReceiveState();
    m_sendMode = SendMode::Idle;
    listenAgain();
}
