// The data link taking calls: from its own listener or handed over by
// another link, queued while a connection is served, then served in turn.
#include "DataLink.h"

#include "LinkText.h"
#include "Speaker.h"
#include "StatusText.h"

#include <QTcpSocket>
#include <QTimer>

using namespace SocketDescriptor;
using LinkText::errorNumber;
using LinkText::word;
using StatusText::errorLine;

void DataLink::takeCall(qintptr descriptor, const QString &label)
{
    m_calls.name(descriptor, label);
    onIncoming(descriptor);
}

void DataLink::onIncoming(qintptr descriptor)
{
    if (m_calls.size() >= CallQueue::hardLimit) {
        // Far past what a station sends at once: the kernel's backlog was emptied into the queue.
        emit connectionStatusPrepended(QStringLiteral("A call from %1 was turned away: %2 calls already wait.")
                                           .arg(addressText(peerOfDescriptor(descriptor)))
                                           .arg(m_calls.size()));
    }
    if (!m_calls.admit(descriptor))
        return;
    if (m_socket) {
        emit connectionStatusPrepended(
            QStringLiteral("A call from %1 waits until the current connection ends.").arg(addressText(peerOfDescriptor(descriptor))));
        return;
    }
    serveNext();
}

void DataLink::serveNext()
{
    if (m_socket)
        return;
    if (const std::optional<CallQueue::Call> call = m_calls.next())
        onConnectionRequest(call->descriptor, call->label);
}

void DataLink::onConnectionRequest(qintptr descriptor, const QString &label)
{
    emit connectionStatusAdded(QStringLiteral("ConnectionRequest fired. State=%1, chatModeActive=%2")
                                   .arg(statusNumber(state()))
                                   .arg(word(chatModeActive())));
    auto *incoming = new QTcpSocket(this);
    if (!incoming->setSocketDescriptor(descriptor)) {
        emit connectionStatusAdded(errorLine(QStringLiteral("[ACCEPT ERR "), errorNumber(incoming->error()),
                                             incoming->errorString()));
        closeDescriptor(descriptor);
        delete incoming;
        QTimer::singleShot(0, this, &DataLink::serveNext);
        return;
    }
    dropSocket(Close::Abort);
    m_machine.reset();
    adopt(incoming);
    m_peerLabel = label;
    m_peer = incoming->peerAddress();
    m_watch = watchOf(incoming);
    setKeepAlive(incoming, m_setup);
    m_carrying = Carrying::Chat;
    m_sendMode = SendMode::Chat;
    m_speaker.say(QStringLiteral("Connection accepted."));
    emit connectionStatusAdded(QStringLiteral("Connection accepted. Chat mode active."));
    emit connectionStatusAdded(
        QStringLiteral("Call from %1 (port %2).").arg(addressText(incoming->peerAddress())).arg(incoming->peerPort()));
    m_firstLineTimer.start();
    if (incoming->bytesAvailable() > 0)
        onReadyRead();
}
