#include "DataLink.h"

#include "Outbox.h"
#include "SocketDescriptor.h"
#include "ReceiveName.h"
#include "RegularFileOpen.h"
#include "Speaker.h"
#include "StatusText.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace SocketDescriptor;
using StatusText::errorLine;
using StatusText::shortName;

namespace {

constexpr qint64 readBufferSize = 1024 * 1024;
// Progress of a transfer shows after its first second, then now and then.
constexpr qint64 firstProgressMs = 1000;
constexpr qint64 progressEveryMs = 5000;

QString word(bool flag)
{
    return flag ? QStringLiteral("True") : QStringLiteral("False");
}

// Numbers as the operator knows them from Windows sockets.
int errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::NetworkError: return 10050;
    default: return 10000 + static_cast<int>(error);
    }
}

QString percent(qint64 part, qint64 whole)
{
    return whole > 0 ? QStringLiteral(" (%1%)").arg(part * 100 / whole) : QString();
}

} // namespace

DataLink::DataLink(const PortalSetup &setup, Speaker &speaker, QObject *parent)
    : QObject(parent)
    , m_setup(setup)
    , m_speaker(speaker)
    , m_listenPort(setup.listenPort)
    , m_receiveFolder(setup.receiveDirectory)
    , m_machine(m_receiveFolder)
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
    m_server.take = [this](qintptr descriptor) { onIncoming(descriptor); };
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
    for (const qintptr descriptor : std::as_const(m_waiting))
        closeDescriptor(descriptor);
    for (QSocketNotifier *delivery : findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly))
        closeDescriptor(delivery->socket());
}

DataLink::SocketPhase DataLink::state() const
{
    if (m_socket) {
        switch (m_socket->state()) {
        case QAbstractSocket::UnconnectedState: return SocketPhase::Closed;
        case QAbstractSocket::HostLookupState: return SocketPhase::Resolving;
        case QAbstractSocket::ConnectingState: return SocketPhase::Connecting;
        case QAbstractSocket::ConnectedState: return SocketPhase::Connected;
        case QAbstractSocket::BoundState: return SocketPhase::Bound;
        case QAbstractSocket::ClosingState: return SocketPhase::Closing;
        case QAbstractSocket::ListeningState: return SocketPhase::Listening;
        }
    }
    return m_server.isListening() ? SocketPhase::Listening : SocketPhase::Closed;
}

int DataLink::statusNumber(SocketPhase phase)
{
    switch (phase) {
    case SocketPhase::Closed: return 0;
    case SocketPhase::Bound: return 1;
    case SocketPhase::Listening: return 2;
    case SocketPhase::Resolving: return 4;
    case SocketPhase::Connecting: return 6;
    case SocketPhase::Connected: return 7;
    case SocketPhase::Closing: return 8;
    }
    return 0;
}

int DataLink::statusNumber(SendMode mode)
{
    switch (mode) {
    case SendMode::Idle: return 0;
    case SendMode::File: return 1;
    case SendMode::Mail: return 2;
    case SendMode::Chat: return 3;
    }
    return 0;
}

QString DataLink::stateName(SocketPhase phase)
{
    switch (phase) {
    case SocketPhase::Closed: return QStringLiteral("CLOSED");
    case SocketPhase::Listening: return QStringLiteral("LISTENING");
    case SocketPhase::Connected: return QStringLiteral("CONNECTED");
    case SocketPhase::Closing: return QStringLiteral("CLOSING");
    default: return QStringLiteral("State=") + QString::number(statusNumber(phase));
    }
}

void DataLink::stopCarrying(Carrying what)
{
    if (m_carrying == what)
        m_carrying = Carrying::Nothing;
}

QString DataLink::addressText(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
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
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return QStringLiteral("127.0.0.1");
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

QString DataLink::listenFailure() const
{
    QString why = QStringLiteral("Not listening on port %1: %2.").arg(m_listenPort).arg(m_server.errorString());
    if (m_server.serverError() == QAbstractSocket::SocketAccessError) {
        why += QStringLiteral(" Ports below 1024 need privileges: run tavrixportal as root, or allow it once with"
                              " \"sudo setcap cap_net_bind_service=+ep %1\".")
                   .arg(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
    } else if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        why += QStringLiteral(" Another program uses the port; Check Port Status shows it.");
    }
    return why + QStringLiteral(" Sending and chat still work.");
}

void DataLink::removeLeftovers()
{
    m_leftoversChecked = true;
    const ReceiveFolder::Sweep sweep = m_receiveFolder.removeLeftovers();
    const int removed = sweep.removed;
    if (removed > 0) {
        emit connectionStatusAdded(QStringLiteral("Removed %1 unfinished receive file(s) left from an earlier run "
                                                  "(the portal was stopped during a transfer).")
                                       .arg(removed));
    }
    if (!sweep.outcome)
        emit connectionStatusAdded(QStringLiteral("An unfinished receive file could not be removed: ") + sweep.outcome.why());
}

void DataLink::StartListening()
{
    dropSocket();
    if (!m_leftoversChecked)
        removeLeftovers();
    // The listener stays open across connections: callers that arrive while
    // one is served wait in the queue instead of being turned away.
    bool listening = m_server.isListening();
    if (!listening) {
        listening = m_server.listen(QHostAddress::Any, m_listenPort);
        if (listening && m_listenPort == 0)
            m_listenPort = m_server.serverPort();
    } else if (m_waiting.size() < waitingLimit) {
        m_server.resumeAccepting();
    }
    LogSocketStatus();
    if (!listening)
        emit connectionStatusAdded(listenFailure());
    if (!m_waiting.isEmpty())
        QTimer::singleShot(0, this, &DataLink::serveNext);
}

void DataLink::listenAgain()
{
    StartListening();
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
    const TransferRecord record =
        receivedRecord(m_machine.receiveName(), m_machine.written(), TransferRecord::Result::BrokenOff, why);
    m_idleTimer.stop();
    m_machine.discardFile();
    emit connectionStatusPrepended(QStringLiteral("Receive file %1 broken off after %2 bytes: %3; nothing of it kept.")
                                       .arg(shortName(record.file))
                                       .arg(record.bytes)
                                       .arg(record.detail));
    emit transferEnded(record);
}

TransferRecord DataLink::receivedRecord(const QString &name, qint64 bytes, TransferRecord::Result result,
                                        const QString &detail) const
{
    TransferRecord record;
    record.time = QDateTime::currentDateTime();
    record.direction = TransferRecord::Direction::Received;
    record.peer = peerText();
    record.file = name;
    record.bytes = bytes;
    record.result = result;
    record.detail = detail;
    return record;
}

TransferRecord DataLink::sentRecord(TransferRecord::Result result, const QString &detail) const
{
    TransferRecord record = m_outgoing;
    record.time = QDateTime::currentDateTime();
    record.bytes = m_carrying == Carrying::Transfer || result == TransferRecord::Result::Complete ? m_pump.sent() : 0;
    record.result = result;
    record.detail = detail;
    return record;
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
    TransferRecord record =
        receivedRecord(m_machine.receiveName(), m_machine.written(), TransferRecord::Result::Complete, {});
    const QString name = shortName(record.file);
    const bool lineEnd = m_machine.endsWithLineEnd();
    const PortalOutcome kept = m_machine.finishFile();
    m_idleTimer.stop();
    emit connectionStatusPrepended(QStringLiteral("Closed receive file: ") + name);
    if (!kept) {
        record.result = TransferRecord::Result::BrokenOff;
        record.detail = kept.why();
        emit connectionStatusPrepended(QStringLiteral("The received file %1 could not be kept: %2").arg(name, kept.why()));
        emit transferEnded(record);
        return;
    }
    emit connectionStatusPrepended(
        QStringLiteral("Received %1: %2 bytes from %3.").arg(name).arg(record.bytes).arg(record.peer));
    QStringList doubts;
    // The wire has no length: a sender that stopped early and closed in order
    // is seen only by a message file that lacks its closing line end.
    if (!lineEnd) {
        doubts.append(tr("it does not end with a line end (CR LF)"));
        emit connectionStatusPrepended(
            QStringLiteral("The received file %1 may be incomplete: it does not end with a line end (CR LF) as every "
                           "message file does. It was kept; ask the sender to send it again.")
                .arg(name));
    }
    if (!endKnown) {
        doubts.append(tr("whether the sender closed in order is unknown"));
        emit connectionStatusPrepended(QStringLiteral("The received file %1 may be incomplete: this system "
                                                      "cannot tell whether the sender closed in order.")
                                           .arg(name));
    }
    if (!doubts.isEmpty()) {
        record.result = TransferRecord::Result::PossiblyIncomplete;
        record.detail = doubts.join(QStringLiteral("; "));
    }
    emit transferEnded(record);
}

void DataLink::dropSocket(Close how)
{
    m_connectTimer.stop();
    m_firstLineTimer.stop();
    m_idleTimer.stop();
    m_pump.close();
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
    if (how == Close::Reset) {
        setResetOnClose(socket, true);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (how == Close::Graceful && socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // What is queued still reaches the peer before the close; a peer that
        // stops reading cannot keep the socket forever.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QAbstractSocket::errorOccurred, socket, &QObject::deleteLater);
        QTimer::singleShot(10000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
        return;
    }
    if (how == Close::Graceful && socket->state() == QAbstractSocket::ConnectedState)
        socket->disconnectFromHost();
    else
        socket->abort();
    socket->deleteLater();
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
           m_deliveriesWatched > 0;
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
                                          .arg(m_deliveriesWatched > 0 && !m_socket
                                                   ? tr("the other station has not yet confirmed the last file")
                                                   : m_outgoing.file));
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
    m_sendFileName = name;
    // A line end inside the name would end the header early: the receiver
    // would take the rest of the name for content.
    const QString controls = ReceiveName::controlCharacters(name);
    if (!controls.isEmpty()) {
        QString shown = name;
        for (QChar &c : shown) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                c = u'?';
        }
        emit sendStatusAdded(QStringLiteral("Not sent: the name of the newest outbox file \"%1\" holds a control "
                                            "character (%2), which would break the transfer header. Rename or "
                                            "remove the file in %3.")
                                 .arg(shortName(shown), controls, QDir::toNativeSeparators(folder)));
        return;
    }
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (const QString kind = RegularFileOpen::kindAt(path); !kind.isEmpty()) {
        // A FIFO would hold the send in open(), a device would be sent without end.
        emit sendStatusAdded(QStringLiteral("Not sent: %1 is %2, not a regular file. Remove it from the outbox.")
                                 .arg(QDir::toNativeSeparators(path), kind));
        return;
    }
    if (const PortalOutcome opened = RegularFileOpen::openForReading(file); !opened) {
        emit sendStatusAdded(errorLine(QStringLiteral("[SEND INIT ERR "), 75,
                                       QStringLiteral("Path/File access error: %1").arg(opened.why())));
        return;
    }
    if (file.size() == 0) {
        emit sendStatusAdded(errorLine(QStringLiteral("[SEND INIT ERR "), 62,
                                       QStringLiteral("Input past end of file: %1 is empty").arg(QDir::toNativeSeparators(path))));
        return;
    }
    file.close();
    if (!ReceiveName::storesContent(name)) {
        const QString question =
            QStringLiteral("The newest outbox file \"%1\" does not begin with \"MAIL\" or \"FILE\". The other station "
                           "will not keep it: it refuses such a transfer and stores nothing.\n\nSend it anyway?")
                .arg(shortName(name));
        if (!m_confirm || !m_confirm(question)) {
            emit sendStatusAdded(QStringLiteral("Not sent: \"%1\" does not begin with \"MAIL\" or \"FILE\", so the "
                                                "other station would not keep it.")
                                     .arg(shortName(name)));
            return;
        }
    }

    dropPendingSend(tr("another send was started here"));
    // The record this send's status lines and log entry come from. A retry
    // keeps the version of the file it was asked to send.
    const QFileInfo sent(path);
    m_outgoing = {};
    m_outgoing.direction = TransferRecord::Direction::Sent;
    m_outgoing.file = name;
    m_outgoing.peer = StatusText::trimSpaces(remoteHost);
    m_outgoing.fileSize = retryOf ? retryOf->fileSize : sent.size();
    m_outgoing.fileModified = retryOf ? retryOf->fileModified : sent.lastModified();
    m_retrying = retryOf != nullptr;
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
        const bool mail = m_sendMode == SendMode::Mail;
        const QString path = QDir(m_setup.sendDirectory).filePath(m_sendFileName);
        m_outgoing.peer = peerText();
        if (const PortalOutcome opened = m_pump.open(path); !opened) {
            emit connectionStatusAdded(errorLine(QStringLiteral("[CONNECT ERR "), 53,
                                                 QStringLiteral("File not found: ") + opened.why()));
            const TransferRecord record = sentRecord(TransferRecord::Result::BrokenOff, opened.why());
            dropSocket(Close::Abort);
            ResetReceiveState();
            StartListening();
            emit transferEnded(record);
            return;
        }
        const QFileInfo opened(path);
        if (m_retrying && (opened.size() != m_outgoing.fileSize ||
                           opened.lastModified().toMSecsSinceEpoch() != m_outgoing.fileModified.toMSecsSinceEpoch())) {
            // Changed between the retry's check and now: never send another file in its place.
            m_pump.close();
            emit sendStatusAppended(tr("Not retried: %1 changed in the outbox just before sending; nothing was sent.")
                                        .arg(m_sendFileName));
            dropSocket(Close::Reset);
            ResetReceiveState();
            m_sendMode = SendMode::Idle;
            StartListening();
            return;
        }
        m_outgoing.fileSize = opened.size();
        m_outgoing.fileModified = opened.lastModified();
        m_carrying = Carrying::Transfer;
        setResetOnClose(m_socket, true);
        const QByteArray header = Wire::transferHeader(m_sendFileName);
        m_pump.start(header.size());
        m_progressClock.start();
        m_nextProgressMs = firstProgressMs;
        m_idleTimer.start();
        m_socket->write(header);
        pumpFile();
        m_speaker.say(mail ? QStringLiteral("Mail send Started") : QStringLiteral("File send Started"));
        emit sendStatusAdded((mail ? QStringLiteral("MAIL send started: ") : QStringLiteral("FILE send started: ")) +
                             m_sendFileName);
    } else if (m_sendMode == SendMode::Chat) {
        m_carrying = Carrying::Chat;
        emit connectionStatusAdded(QStringLiteral("Chat connection confirmed. State=%1, RemoteHost=%2, Port=%3")
                                       .arg(statusNumber(state()))
                                       .arg(m_remoteHost)
                                       .arg(m_setup.peerPort));
    }
}

void DataLink::pumpFile()
{
    if (!m_socket)
        return;
    if (const PortalOutcome filled = m_pump.fill(*m_socket); !filled) {
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
        emit sendStatusAppended(QStringLiteral("Sending %1: %2 of %3 bytes%4")
                                    .arg(m_sendFileName)
                                    .arg(m_pump.sent())
                                    .arg(m_pump.size())
                                    .arg(percent(m_pump.sent(), m_pump.size())));
    } else {
        emit connectionStatusPrepended(QStringLiteral("Receiving %1: %2 bytes so far")
                                           .arg(shortName(m_machine.receiveName()))
                                           .arg(m_machine.written()));
    }
}

void DataLink::onBytesWritten(qint64 bytes)
{
    if (!m_socket)
        return;
    if (m_carrying == Carrying::Transfer) {
        m_pump.taken(bytes);
        m_idleTimer.start();
        reportProgress(true);
    }
    if (m_pump.reading())
        pumpFile();
    if (!m_socket || m_pump.reading() || m_socket->bytesToWrite() > 0)
        return;
    if (m_carrying == Carrying::Transfer || m_sendMode == SendMode::Chat)
        sendComplete();
}

void DataLink::sendComplete()
{
    emit sendStatusAdded(QStringLiteral("SendComplete. State=%1, sendMode=%2, last=%3")
                             .arg(statusNumber(state()))
                             .arg(statusNumber(m_sendMode))
                             .arg(m_sendFileName));
    if (m_sendMode == SendMode::File || m_sendMode == SendMode::Mail) {
        // Every byte is with the network now: from here a clean close delivers them.
        stopCarrying(Carrying::Transfer);
        setResetOnClose(m_socket, false);
        emit sendStatusAppended(
            QStringLiteral("%1: %2 bytes handed to %3.").arg(m_sendFileName).arg(m_pump.sent()).arg(peerText()));
        // The end of the content is our close; whether the other station took
        // it whole shows in how it closes its side. "Send complete" waits for that.
        const int watch = std::exchange(m_watch, -1);
        if (watch >= 0) {
            watchDelivery(watch, m_sendFileName, m_pump.sent());
        } else {
            emit sendStatusAppended(QStringLiteral("Send complete for ") + m_sendFileName);
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

void DataLink::watchDelivery(int watch, const QString &name, qint64 bytes)
{
    // The delivery is judged later, when the other station closes: the record waits for it.
    TransferRecord record = sentRecord(TransferRecord::Result::Complete, {});
    record.bytes = bytes;
    ++m_deliveriesWatched;
    SocketDescriptor::watchDelivery(
        this, watch, name, peerText(), bytes, m_deliveryLimitMs > 0 ? m_deliveryLimitMs : m_setup.transferIdleTimeoutMs,
        [this, record](const QString &line, Delivery delivery) mutable {
            emit sendStatusAppended(line);
            if (delivery == Delivery::Pending)
                return;
            --m_deliveriesWatched;
            record.time = QDateTime::currentDateTime();
            record.result = delivery == Delivery::Taken     ? TransferRecord::Result::Complete
                            : delivery == Delivery::Refused ? TransferRecord::Result::Refused
                                                            : TransferRecord::Result::PossiblyIncomplete;
            if (delivery != Delivery::Taken)
                record.detail = line;
            emit transferEnded(record);
        });
}

void DataLink::takeCall(qintptr descriptor, const QString &label)
{
    m_callLabels.insert(descriptor, label);
    onIncoming(descriptor);
}

void DataLink::onIncoming(qintptr descriptor)
{
    if (m_waiting.size() >= waitingLimit + 64) {
        // Far past what a station sends at once: the kernel's backlog was emptied into the queue.
        emit connectionStatusPrepended(QStringLiteral("A call from %1 was turned away: %2 calls already wait.")
                                           .arg(addressText(peerOfDescriptor(descriptor)))
                                           .arg(m_waiting.size()));
        // The number is free for the next call: its name must not outlive it.
        m_callLabels.remove(descriptor);
        closeDescriptor(descriptor);
        return;
    }
    m_waiting.append(descriptor);
    // Later callers stay in the kernel's backlog until the queue shortens.
    if (m_waiting.size() >= waitingLimit)
        m_server.pauseAccepting();
    if (m_socket) {
        emit connectionStatusPrepended(
            QStringLiteral("A call from %1 waits until the current connection ends.").arg(addressText(peerOfDescriptor(descriptor))));
        return;
    }
    serveNext();
}

void DataLink::serveNext()
{
    if (m_socket || m_waiting.isEmpty())
        return;
    const qintptr descriptor = m_waiting.takeFirst();
    if (m_waiting.size() < waitingLimit && m_server.isListening())
        m_server.resumeAccepting();
    onConnectionRequest(descriptor);
}

void DataLink::onConnectionRequest(qintptr descriptor)
{
    emit connectionStatusAdded(QStringLiteral("ConnectionRequest fired. State=%1, chatModeActive=%2")
                                   .arg(statusNumber(state()))
                                   .arg(word(chatModeActive())));
    const QString label = m_callLabels.take(descriptor);
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

void DataLink::onReadyRead()
{
    if (!m_socket)
        return;
    handle(m_machine.feed(m_socket->readAll(), chatModeActive()));
    if (m_machine.fileOpen()) {
        m_idleTimer.start();
        reportProgress(false);
    }
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
        case Kind::NameRefused: {
            const TransferRecord record = receivedRecord(event.text, 0, TransferRecord::Result::Refused, event.detail);
            emit connectionStatusPrepended(
                QStringLiteral("Refused receive file \"%1\" from %2: %3. The transfer was refused: nothing was "
                               "created or changed; connection closed.")
                    .arg(shortName(record.file), record.peer, record.detail));
            emit transferEnded(record);
            closeAndListen();
            return;
        }
        case Kind::Overflow:
            emit connectionStatusPrepended(
                QStringLiteral("A line from %1 grew past %2 bytes without a line end; connection closed.")
                    .arg(peerText())
                    .arg(m_machine.lineLimit()));
            closeAndListen();
            return;
        case Kind::WriteFailed: {
            const TransferRecord record =
                receivedRecord(event.text, m_machine.written(), TransferRecord::Result::BrokenOff, event.detail);
            emit connectionStatusPrepended(QStringLiteral("ERROR in DataArrival: 75 - %1. The transfer of %2 was "
                                                          "stopped and nothing of it kept; connection closed.")
                                               .arg(record.detail, shortName(record.file)));
            emit transferEnded(record);
            closeAndListen();
            return;
        }
        case Kind::EndChat:
            remoteEndOfChat();
            return;
        case Kind::Reset:
            ResetReceiveState();
            m_sendMode = SendMode::Idle;
            StartListening();
            m_speaker.say(QStringLiteral("Port reset Ready to receive in comming connection Request"));
            emit connectionStatusPrepended(QStringLiteral("Listening again on port ") + QString::number(m_listenPort));
            return;
        }
    }
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
    StartListening();
    emit connectionStatusPrepended(QStringLiteral("Listening again on port ") + QString::number(m_listenPort));
    emit connectionStatusPrepended(QStringLiteral(" CHAT Session Ended"));
}
