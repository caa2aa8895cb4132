#include "DataLink.h"

#include "LinkText.h"
#include "Outbox.h"
#include "Speaker.h"
#include "StatusText.h"
#include "Wire.h"

#include <QDir>
#include <QSocketNotifier>
#include <QTcpSocket>

using namespace SocketDescriptor;
using LinkText::errorNumber;
using StatusText::errorLine;
using StatusText::shortName;

namespace {

constexpr qint64 readBufferSize = 1024 * 1024;
// Progress of a transfer shows after its first second, then now and then.
constexpr qint64 firstProgressMs = 1000;
constexpr qint64 progressEveryMs = 5000;

} // namespace

DataLink::DataLink(const PortalSetup &setup, Speaker &speaker, QObject *parent)
    : QObject(parent)
    , m_setup(setup)
    , m_speaker(speaker)
    , m_listenPort(setup.listenPort)
    , m_receive(
          setup.receiveDirectory, [this](const QString &line) { emit connectionStatusPrepended(line); },
          [this](const TransferRecord &record) { emit transferEnded(record); })
    , m_machine(m_receive.machine())
{
    setObjectName(QStringLiteral("Winsock1"));
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(setup.connectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, &DataLink::onConnectTimeout);
    m_firstLineTimer.setSingleShot(true);
    m_firstLineTimer.setInterval(setup.firstLineTimeoutMs);
    connect(&m_firstLineTimer, &QTimer::timeout, this, &DataLink::onFirstLineTimeout);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(setup.transferIdleTimeoutMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &DataLink::onIdleTimeout);
    m_calls.setArrival([this](qintptr descriptor) { onIncoming(descriptor); });
}

DataLink::~DataLink()
{
    // The program ends: a transfer under way is broken off so the peer sees a
    // reset, and a part file is thrown away. The window's boxes may be gone already.
    blockSignals(true);
    endLocally(QStringLiteral("the program was closed"));
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    if (m_watch >= 0)
        closeDescriptor(std::exchange(m_watch, -1));
    // Calls still waiting are closed by the queue as it goes.
    for (QSocketNotifier *delivery : findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly))
        closeDescriptor(delivery->socket());
}

DataLink::SocketPhase DataLink::state() const
{
    if (m_socket)
        return LinkState::phaseOf(m_socket->state());
    return m_calls.isListening() ? SocketPhase::Listening : SocketPhase::Closed;
}

void DataLink::stopCarrying(Carrying what)
{
    if (m_carrying == what)
        m_carrying = Carrying::Nothing;
}

QString DataLink::addressText(const QHostAddress &address)
{
    return LinkText::addressText(address);
}

QString DataLink::peerText() const
{
    if (!m_peerLabel.isEmpty())
        return m_peerLabel;
    if (!m_peer.isNull())
        return addressText(m_peer);
    return m_remoteHost;
}

bool DataLink::transferInProgress() const
{
    return m_carrying == Carrying::Transfer || m_machine.fileOpen();
}

QString DataLink::localIp() const
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        return addressText(m_socket->localAddress());
    // A listener bound to every address reports the station's own address.
    return LinkText::ownAddress();
}

quint16 DataLink::localPort() const
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        return m_socket->localPort();
    return m_listenPort;
}

void DataLink::LogSocketStatus()
{
    emit connectionStatusAdded(QStringLiteral("[] Socket status: %1, LocalIP=%2, LocalPort=%3")
                                   .arg(stateName(state()), localIp())
                                   .arg(localPort()));
}

bool DataLink::StartListening()
{
    dropSocket();
    for (const QString &line : m_receive.sweepOnce())
        emit connectionStatusAdded(line);
    // The listener stays open across connections: callers that arrive while
    // one is served wait in the queue instead of being turned away.
    bool listening = m_calls.isListening();
    if (!listening) {
        listening = m_calls.listen(m_listenPort);
        if (listening && m_listenPort == 0)
            m_listenPort = m_calls.serverPort();
    } else {
        m_calls.resume();
    }
    LogSocketStatus();
    if (!listening)
        emit connectionStatusAdded(LinkText::listenFailure(m_listenPort, m_calls.server()));
    if (!m_calls.isEmpty())
        QTimer::singleShot(0, this, &DataLink::serveNext);
    return listening;
}

void DataLink::listenAgain()
{
    // A port that could not be opened has been said in words; claiming to
    // listen on it would send callers' operators looking in the wrong place.
    if (StartListening())
        emit connectionStatusPrepended(QStringLiteral("Listening again on port ") + QString::number(m_listenPort));
}

void DataLink::ResetReceiveState()
{
    if (m_machine.fileOpen())
        breakOffReceive(QStringLiteral("the connection was ended here"));
    m_machine.reset();
}

void DataLink::breakOffReceive(const QString &why)
{
    m_idleTimer.stop();
    m_receive.breakOff(peerText(), why);
}

TransferRecord DataLink::sentRecord(TransferRecord::Result result, const QString &detail) const
{
    return m_send.record(result, detail, m_carrying == Carrying::Transfer);
}

void DataLink::dropPendingSend(const QString &why)
{
    // A send still being connected would otherwise vanish without a word.
    if ((m_sendMode != SendMode::File && m_sendMode != SendMode::Mail) || !m_socket ||
        m_carrying == Carrying::Transfer)
        return;
    const TransferRecord record = sentRecord(TransferRecord::Result::BrokenOff, why);
    emit sendStatusAppended(tr("Send of %1 broken off before it began: %2.").arg(record.file, why));
    emit transferEnded(record);
}

bool DataLink::endLocally(const QString &why)
{
    const bool receiving = m_machine.fileOpen();
    const bool sending = m_carrying == Carrying::Transfer;
    if (receiving)
        breakOffReceive(why);
    if (sending) {
        const TransferRecord record = sentRecord(TransferRecord::Result::BrokenOff, why);
        emit sendStatusAppended(QStringLiteral("Send of %1 broken off: %2; the other station sees the connection "
                                               "reset and keeps nothing.")
                                    .arg(record.file, why));
        emit transferEnded(record);
    }
    if (!receiving && !sending)
        return false;
    dropSocket(Close::Reset);
    return true;
}

void DataLink::finishReceiveFile(bool endKnown)
{
    m_idleTimer.stop();
    m_receive.finish(peerText(), endKnown);
}

void DataLink::dropSocket(Close how)
{
    m_connectTimer.stop();
    m_firstLineTimer.stop();
    m_idleTimer.stop();
    m_send.pump().close();
    // A transfer that did not complete is ended with a reset, whatever the caller asked.
    if (m_carrying == Carrying::Transfer) {
        m_carrying = Carrying::Nothing;
        how = Close::Reset;
    }
    // The second descriptor goes first, or the close below would not reach the peer.
    if (m_watch >= 0)
        closeDescriptor(std::exchange(m_watch, -1));
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    m_peer.clear();
    m_peerLabel.clear();
    if (!socket)
        return;
    socket->disconnect(this);
    endConnection(socket, how);
}

void DataLink::closeAndListen()
{
    // Every caller ends a connection that failed or was refused: the peer
    // sees a reset, never the clean close that means "taken whole".
    dropSocket(Close::Reset);
    ResetReceiveState();
    stopCarrying(Carrying::Chat);
    m_sendMode = SendMode::Idle;
    listenAgain();
}

void DataLink::adopt(QTcpSocket *socket)
{
    m_socket = socket;
    socket->setParent(this);
    socket->setReadBufferSize(readBufferSize);
    connect(socket, &QTcpSocket::connected, this, &DataLink::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &DataLink::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &DataLink::onBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &DataLink::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &DataLink::onSocketError);
}

void DataLink::connectToPeer()
{
    endLocally(QStringLiteral("a new connection was started here"));
    dropSocket(Close::Abort);
    m_peer.clear();
    adopt(new QTcpSocket(this));
    m_answer.clear();
    m_connectTimer.start();
    const Route route = m_router ? m_router(m_remoteHost) : Route{m_remoteHost, m_setup.peerPort, {}};
    m_peerLabel = route.label;
    m_deliveryLimitMs = route.deliveryLimitMs;
    m_socket->connectToHost(route.host, route.port);
}

void DataLink::SendNewestOutboxFile(const QString &remoteHost)
{
    emit sendStatusCleared();
    const QString folder = m_setup.sendDirectory;
    if (!QDir(folder).exists()) {
        emit sendStatusAdded(errorLine(QStringLiteral("[SEND INIT ERR "), 76,
                                       QStringLiteral("Path not found: ") + QDir::toNativeSeparators(folder)));
        return;
    }
    const QString name = Outbox::newestFile(folder);
    if (name.isEmpty()) {
        m_speaker.say(QStringLiteral("No Files Found"));
        emit sendStatusAdded(QStringLiteral("No files found!"));
        return;
    }
    sendOutboxFile(remoteHost, name, nullptr);
}

bool DataLink::sendBusy() const
{
    return transferInProgress() || ((m_sendMode == SendMode::File || m_sendMode == SendMode::Mail) && m_socket) ||
           m_send.deliveriesWatched() > 0;
}

PortalOutcome DataLink::retrySend(const TransferRecord &record)
{
    if (!record.retryable())
        return PortalOutcome::failure(tr("Not retried: only a send that did not complete can be sent again."));
    if (m_machine.fileOpen())
        return PortalOutcome::failure(
            tr("Not retried: a file is being received now. Retry when the transfer has ended."));
    if (sendBusy())
        return PortalOutcome::failure(tr("Not retried: another send is in flight (%1). Retry when it has ended.")
                                          .arg(m_send.deliveriesWatched() > 0 && !m_socket
                                                   ? tr("the other station has not yet confirmed the last file")
                                                   : m_send.outgoing().file));
    const QString refusal = TransferLog::retryRefusal(m_setup.sendDirectory, record);
    if (!refusal.isEmpty())
        return PortalOutcome::failure(tr("Not retried: ") + refusal);
    emit sendStatusCleared();
    emit sendStatusAdded(tr("Retrying the send of %1 to %2.").arg(record.file, record.peer));
    sendOutboxFile(record.peer, record.file, &record);
    return {};
}

void DataLink::sendOutboxFile(const QString &remoteHost, const QString &name, const TransferRecord *retryOf)
{
    const QString folder = m_setup.sendDirectory;
    m_send.setName(name);
    if (const QString refusal = OutgoingSend::refusal(folder, name, m_confirm); !refusal.isEmpty()) {
        emit sendStatusAdded(refusal);
        return;
    }

    dropPendingSend(tr("another send was started here"));
    // The record this send's status lines and log entry come from.
    m_send.begin(StatusText::trimSpaces(remoteHost), QDir(folder).filePath(name), retryOf);
    if (chatModeActive() && !transferInProgress() && m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        // The one data connection is needed for the mail: the chat ends the
        // way End Chat ends it, so the peer knows.
        m_socket->write(Wire::endChatLines());
        dropSocket(Close::Graceful);
        stopCarrying(Carrying::Chat);
        emit connectionStatusPrepended(QStringLiteral("Chat ended: the connection is needed to send %1.").arg(name));
        emit chatEndedBySend();
    }
    stopCarrying(Carrying::Chat);
    const bool mail = Wire::isMailName(name);
    m_sendMode = mail ? SendMode::Mail : SendMode::File;
    emit sendStatusAdded((mail ? QStringLiteral("Preparing MAIL: ") : QStringLiteral("Preparing FILE: ")) + name);
    m_remoteHost = StatusText::trimSpaces(remoteHost);
    const quint16 port = m_setup.peerPort;
    const int mode = statusNumber(m_sendMode);
    connectToPeer();
    emit sendStatusAdded(QStringLiteral("Connect attempted to %1 on port %2, sendMode=%3, file=%4")
                             .arg(m_remoteHost)
                             .arg(port)
                             .arg(mode)
                             .arg(name));
}

void DataLink::onConnected()
{
    m_connectTimer.stop();
    if (!m_socket)
        return;
    m_peer = m_socket->peerAddress();
    m_watch = watchOf(m_socket);
    setKeepAlive(m_socket, m_setup);
    if (m_sendMode == SendMode::File || m_sendMode == SendMode::Mail) {
        startSending();
    } else if (m_sendMode == SendMode::Chat) {
        m_carrying = Carrying::Chat;
        emit connectionStatusAdded(QStringLiteral("Chat connection confirmed. State=%1, RemoteHost=%2, Port=%3")
                                       .arg(statusNumber(state()))
                                       .arg(m_remoteHost)
                                       .arg(m_setup.peerPort));
    }
}

void DataLink::startSending()
{
    const bool mail = m_sendMode == SendMode::Mail;
    const QString &name = m_send.name();
    m_send.setPeer(peerText());
    QString why;
    switch (m_send.open(QDir(m_setup.sendDirectory).filePath(name), why)) {
    case OutgoingSend::Opening::Failed: {
        emit connectionStatusAdded(errorLine(QStringLiteral("[CONNECT ERR "), 53, QStringLiteral("File not found: ") + why));
        const TransferRecord record = sentRecord(TransferRecord::Result::BrokenOff, why);
        dropSocket(Close::Abort);
        ResetReceiveState();
        StartListening();
        emit transferEnded(record);
        return;
    }
    case OutgoingSend::Opening::Changed:
        emit sendStatusAppended(tr("Not retried: %1 changed in the outbox just before sending; nothing was sent.").arg(name));
        dropSocket(Close::Reset);
        ResetReceiveState();
        m_sendMode = SendMode::Idle;
        StartListening();
        return;
    case OutgoingSend::Opening::Opened:
        break;
    }
    m_carrying = Carrying::Transfer;
    setResetOnClose(m_socket, true);
    const QByteArray header = Wire::transferHeader(name);
    m_send.pump().start(header.size());
    m_progressClock.start();
    m_nextProgressMs = firstProgressMs;
    m_idleTimer.start();
    m_socket->write(header);
    pumpFile();
    m_speaker.say(mail ? QStringLiteral("Mail send Started") : QStringLiteral("File send Started"));
    emit sendStatusAdded((mail ? QStringLiteral("MAIL send started: ") : QStringLiteral("FILE send started: ")) + name);
}

void DataLink::pumpFile()
{
    if (!m_socket)
        return;
    if (const PortalOutcome filled = m_send.pump().fill(*m_socket); !filled) {
        const TransferRecord record = sentRecord(TransferRecord::Result::BrokenOff, filled.why());
        emit sendStatusAppended(QStringLiteral("Send failed for %1: %2").arg(record.file, filled.why()));
        closeAndListen();
        emit transferEnded(record);
    }
}

void DataLink::reportProgress(bool sending)
{
    const qint64 elapsed = m_progressClock.elapsed();
    if (elapsed < m_nextProgressMs)
        return;
    m_nextProgressMs = elapsed + progressEveryMs;
    if (sending) {
        emit sendStatusAppended(m_send.progressLine());
    } else {
        emit connectionStatusPrepended(m_receive.progressLine());
    }
}

void DataLink::onBytesWritten(qint64 bytes)
{
    if (!m_socket)
        return;
    if (m_carrying == Carrying::Transfer) {
        m_send.pump().taken(bytes);
        m_idleTimer.start();
        reportProgress(true);
    }
    if (m_send.pump().reading())
        pumpFile();
    if (!m_socket || m_send.pump().reading() || m_socket->bytesToWrite() > 0)
        return;
    if (m_carrying == Carrying::Transfer || m_sendMode == SendMode::Chat)
        sendComplete();
}

void DataLink::sendComplete()
{
    emit sendStatusAdded(QStringLiteral("SendComplete. State=%1, sendMode=%2, last=%3")
                             .arg(statusNumber(state()))
                             .arg(statusNumber(m_sendMode))
                             .arg(m_send.name()));
    if (m_sendMode == SendMode::File || m_sendMode == SendMode::Mail) {
        const QString &name = m_send.name();
        const qint64 sent = m_send.pump().sent();
        // Every byte is with the network now: from here a clean close delivers them.
        stopCarrying(Carrying::Transfer);
        setResetOnClose(m_socket, false);
        emit sendStatusAppended(
            QStringLiteral("%1: %2 bytes handed to %3.").arg(name).arg(sent).arg(peerText()));
        // The end of the content is our close; whether the other station took
        // it whole shows in how it closes its side. "Send complete" waits for that.
        const int watch = std::exchange(m_watch, -1);
        if (watch >= 0) {
            m_send.watchDelivery(
                this, watch, peerText(), m_deliveryLimitMs > 0 ? m_deliveryLimitMs : m_setup.transferIdleTimeoutMs,
                [this](const QString &line) { emit sendStatusAppended(line); },
                [this](const TransferRecord &record) { emit transferEnded(record); });
        } else {
            emit sendStatusAppended(QStringLiteral("Send complete for ") + name);
            emit transferEnded(sentRecord(TransferRecord::Result::Complete, {}));
        }
        dropSocket();
        emit sendStatusAdded(QStringLiteral("Non-chat send complete. Socket closed."));
        ResetReceiveState();
        m_sendMode = SendMode::Idle;
        listenAgain();
    } else if (m_sendMode == SendMode::Chat) {
        emit sendStatusAdded(QStringLiteral("Chat send complete. Socket remains open."));
    }
}

void DataLink::onReadyRead()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (turnedAwayBusy(bytes))
        return;
    handle(m_machine.feed(bytes, chatModeActive()));
    if (m_machine.fileOpen()) {
        m_idleTimer.start();
        reportProgress(false);
    }
}

bool DataLink::turnedAwayBusy(const QByteArray &bytes)
{
    // A station busy with another one answers a call with one line and keeps nothing of what it is sent.
    if ((m_sendMode != SendMode::File && m_sendMode != SendMode::Mail) || m_machine.fileOpen())
        return false;
    const QString busy = m_answer.take(bytes);
    if (busy.isEmpty())
        return false;
    const TransferRecord record = sentRecord(TransferRecord::Result::Refused, busy);
    emit sendStatusAppended(
        QStringLiteral("Send of %1 refused: %2 answered \"%3\"; it kept nothing.").arg(record.file, peerText(), busy));
    closeAndListen();
    emit transferEnded(record);
    return true;
}

void DataLink::handle(const QList<ReceiveMachine::Event> &events)
{
    using Kind = ReceiveMachine::Kind;
    for (const ReceiveMachine::Event &event : events) {
        switch (event.kind) {
        case Kind::FileOpened:
            m_firstLineTimer.stop();
            m_progressClock.start();
            m_nextProgressMs = firstProgressMs;
            emit connectionStatusPrepended(QStringLiteral("Opened receive file: ") + shortName(event.text));
            break;
        case Kind::ChatText:
            // A chat line makes this a chat connection, which may idle.
            m_firstLineTimer.stop();
            emit chatReceived(event.text);
            break;
        case Kind::NameRefused:
            m_receive.refused(peerText(), event);
            closeAndListen();
            return;
        case Kind::Overflow:
            emit connectionStatusPrepended(
                QStringLiteral("A line from %1 grew past %2 bytes without a line end; connection closed.")
                    .arg(peerText())
                    .arg(m_machine.lineLimit()));
            closeAndListen();
            return;
        case Kind::WriteFailed:
            m_receive.writeFailed(peerText(), event);
            closeAndListen();
            return;
        case Kind::EndChat:
            remoteEndOfChat();
            return;
        case Kind::Reset:
            ResetReceiveState();
            m_sendMode = SendMode::Idle;
            m_speaker.say(QStringLiteral("Port reset Ready to receive in comming connection Request"));
            listenAgain();
            return;
        }
    }
}

void DataLink::onPeerClosed()
{
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (!m_socket)
        return;
    const PeerEnding ending = peerEnd(m_watch);
    const PeerEnd end = ending.end;
    const QString &why = ending.cause;
    if (m_carrying == Carrying::Transfer) {
        const QString cause = QStringLiteral("the peer closed the connection%1")
                                  .arg(end == PeerEnd::Reset ? QStringLiteral(" (") + why + u')' : QString());
        const TransferRecord record = sentRecord(TransferRecord::Result::BrokenOff, cause);
        m_carrying = Carrying::Nothing;
        emit sendStatusAppended(QStringLiteral("Send of %1 broken off: %2.").arg(record.file, cause));
        emit transferEnded(record);
    }
    if (m_machine.fileOpen()) {
        if (end == PeerEnd::Reset)
            breakOffReceive(why);
        else
            finishReceiveFile(end != PeerEnd::Unknown);
    }
    m_machine.reset();
    stopCarrying(Carrying::Chat);
    // Never left deaf: after the peer's close the portal listens again.
    dropSocket(Close::Abort);
    m_sendMode = SendMode::Idle;
    listenAgain();
}

void DataLink::onSocketError()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    // The peer's close is handled when the socket reports it disconnected.
    if (error == QAbstractSocket::RemoteHostClosedError && m_socket->state() != QAbstractSocket::UnconnectedState)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onPeerClosed();
        return;
    }
    const QString description = m_socket->errorString();
    emit connectionStatusPrepended(errorLine(QStringLiteral("[SOCKET ERR "), errorNumber(error),
                                             QStringLiteral("%1 (%2 port %3)")
                                                 .arg(description, peerText().isEmpty() ? m_socket->peerName() : peerText())
                                                 .arg(m_socket->peerPort() ? m_socket->peerPort() : m_setup.peerPort)));
    if (m_sendMode == SendMode::File || m_sendMode == SendMode::Mail) {
        // A station that turns the call away refused the file; any other failure broke the send off.
        const bool refused = error == QAbstractSocket::ConnectionRefusedError && m_carrying != Carrying::Transfer;
        const TransferRecord record =
            sentRecord(refused ? TransferRecord::Result::Refused : TransferRecord::Result::BrokenOff, description);
        emit sendStatusAppended(QStringLiteral("Send failed for %1: %2").arg(record.file, description));
        emit transferEnded(record);
    }
    // The connection broke: what arrived is known to be incomplete.
    if (m_machine.fileOpen())
        breakOffReceive(description);
    closeAndListen();
}

void DataLink::onConnectTimeout()
{
    if (!m_socket || m_socket->state() == QAbstractSocket::ConnectedState)
        return;
    emit connectionStatusPrepended(errorLine(QStringLiteral("[SOCKET ERR "), 10060,
                                             QStringLiteral("No answer from %1 on port %2 within %3 seconds")
                                                 .arg(m_remoteHost)
                                                 .arg(m_setup.peerPort)
                                                 .arg(m_setup.connectTimeoutMs / 1000)));
    if (m_sendMode == SendMode::File || m_sendMode == SendMode::Mail) {
        const TransferRecord record =
            sentRecord(TransferRecord::Result::BrokenOff, tr("no answer from %1").arg(m_remoteHost));
        emit sendStatusAppended(QStringLiteral("Send failed for %1: no answer from %2").arg(record.file, m_remoteHost));
        emit transferEnded(record);
    }
    closeAndListen();
}

void DataLink::onFirstLineTimeout()
{
    if (!m_socket || transferInProgress())
        return;
    emit connectionStatusPrepended(QStringLiteral("No transfer header or chat line from %1 within %2 seconds; "
                                                  "connection closed so that other stations can reach this one.")
                                       .arg(peerText())
                                       .arg(m_setup.firstLineTimeoutMs / 1000.0));
    closeAndListen();
}

void DataLink::onIdleTimeout()
{
    if (!m_socket || !transferInProgress())
        return;
    const QString why = QStringLiteral("no data moved for %1 seconds").arg(m_setup.transferIdleTimeoutMs / 1000.0);
    endLocally(why);
    ResetReceiveState();
    stopCarrying(Carrying::Chat);
    m_sendMode = SendMode::Idle;
    listenAgain();
}

void DataLink::abortTransfer()
{
    if (!endLocally(QStringLiteral("stopped here")))
        return;
    ResetReceiveState();
    stopCarrying(Carrying::Chat);
    m_sendMode = SendMode::Idle;
    listenAgain();
}
