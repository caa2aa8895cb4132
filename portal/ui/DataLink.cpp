#include "DataLink.h"

#include "Outbox.h"
#include "Speaker.h"
#include "StatusText.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkInterface>
#include <QTcpSocket>

using StatusText::errorLine;

namespace {

constexpr qint64 chunkSize = 64 * 1024;
// Enough queued to keep the link busy; the file is read on as it drains.
constexpr qint64 highWater = 256 * 1024;
constexpr qint64 readBufferSize = 1024 * 1024;

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

} // namespace

DataLink::DataLink(const PortalSetup &setup, Speaker &speaker, QObject *parent)
    : QObject(parent)
    , m_setup(setup)
    , m_speaker(speaker)
    , m_listenPort(setup.listenPort)
    , m_machine(setup.receiveDirectory)
{
    setObjectName(QStringLiteral("Winsock1"));
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(setup.connectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, &DataLink::onConnectTimeout);
    connect(&m_server, &QTcpServer::newConnection, this, &DataLink::onConnectionRequest);
}

DataLink::~DataLink()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

int DataLink::state() const
{
    if (m_socket) {
        switch (m_socket->state()) {
        case QAbstractSocket::UnconnectedState: return 0;
        case QAbstractSocket::HostLookupState: return 4;
        case QAbstractSocket::ConnectingState: return 6;
        case QAbstractSocket::ConnectedState: return 7;
        case QAbstractSocket::BoundState: return 1;
        case QAbstractSocket::ClosingState: return 8;
        case QAbstractSocket::ListeningState: return 2;
        }
    }
    return m_server.isListening() ? 2 : 0;
}

QString DataLink::stateName(int state)
{
    switch (state) {
    case 0: return QStringLiteral("CLOSED");
    case 2: return QStringLiteral("LISTENING");
    case 7: return QStringLiteral("CONNECTED");
    case 8: return QStringLiteral("CLOSING");
    default: return QStringLiteral("State=") + QString::number(state);
    }
}

QString DataLink::localIp() const
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        return m_socket->localAddress().toString();
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

void DataLink::StartListening()
{
    dropSocket();
    m_server.close();
    const bool listening = m_server.listen(QHostAddress::Any, m_listenPort);
    if (listening && m_listenPort == 0)
        m_listenPort = m_server.serverPort();
    LogSocketStatus();
    if (!listening)
        emit connectionStatusAdded(listenFailure());
}

void DataLink::listenAgain()
{
    StartListening();
    emit connectionStatusPrepended(QStringLiteral("Listening again on port ") + QString::number(m_listenPort));
}

void DataLink::ResetReceiveState()
{
    if (m_machine.fileOpen())
        finishReceiveFile();
    m_machine.reset();
}

void DataLink::finishReceiveFile()
{
    const QString name = m_machine.receiveName();
    const QString failure = m_machine.finishFile();
    emit connectionStatusPrepended(QStringLiteral("Closed receive file: ") + name);
    if (!failure.isEmpty())
        emit connectionStatusPrepended(QStringLiteral("The received file %1 could not be kept: %2").arg(name, failure));
}

void DataLink::dropSocket(bool graceful)
{
    m_connectTimer.stop();
    m_outFile.close();
    m_transferInFlight = false;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    if (graceful && socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
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
    if (graceful && socket->state() == QAbstractSocket::ConnectedState)
        socket->disconnectFromHost();
    else
        socket->abort();
    socket->deleteLater();
}

void DataLink::closeAndListen()
{
    dropSocket(false);
    ResetReceiveState();
    m_chatModeActive = false;
    m_sendMode = Idle;
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
    // The listener is closed while a connection is being made.
    m_server.close();
    dropSocket(false);
    adopt(new QTcpSocket(this));
    m_connectTimer.start();
    m_socket->connectToHost(m_remoteHost, m_setup.peerPort);
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
    m_sendFileName = name;
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        emit sendStatusAdded(errorLine(QStringLiteral("[SEND INIT ERR "), 75,
                                       QStringLiteral("Path/File access error: %1 (%2)")
                                           .arg(QDir::toNativeSeparators(path), file.errorString())));
        return;
    }
    if (file.size() == 0) {
        emit sendStatusAdded(errorLine(QStringLiteral("[SEND INIT ERR "), 62,
                                       QStringLiteral("Input past end of file: %1 is empty").arg(QDir::toNativeSeparators(path))));
        return;
    }
    file.close();

    const bool mail = Wire::isMailName(name);
    m_sendMode = mail ? MailSend : FileSend;
    emit sendStatusAdded((mail ? QStringLiteral("Preparing MAIL: ") : QStringLiteral("Preparing FILE: ")) + name);
    m_remoteHost = StatusText::trimSpaces(remoteHost);
    const quint16 port = m_setup.peerPort;
    const int mode = m_sendMode;
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
    if (m_sendMode == FileSend || m_sendMode == MailSend) {
        const bool mail = m_sendMode == MailSend;
        m_outFile.setFileName(QDir(m_setup.sendDirectory).filePath(m_sendFileName));
        if (!m_outFile.open(QIODevice::ReadOnly)) {
            emit connectionStatusAdded(errorLine(QStringLiteral("[CONNECT ERR "), 53,
                                                 QStringLiteral("File not found: %1 (%2)")
                                                     .arg(QDir::toNativeSeparators(m_outFile.fileName()),
                                                          m_outFile.errorString())));
            dropSocket(false);
            ResetReceiveState();
            StartListening();
            return;
        }
        m_transferInFlight = true;
        m_socket->write(Wire::transferHeader(m_sendFileName));
        pumpFile();
        m_speaker.say(mail ? QStringLiteral("Mail send Started") : QStringLiteral("File send Started"));
        emit sendStatusAdded((mail ? QStringLiteral("MAIL send started: ") : QStringLiteral("FILE send started: ")) +
                             m_sendFileName);
    } else if (m_sendMode == Chat) {
        m_chatModeActive = true;
        emit connectionStatusAdded(QStringLiteral("Chat connection confirmed. State=%1, RemoteHost=%2, Port=%3")
                                       .arg(state())
                                       .arg(m_remoteHost)
                                       .arg(m_setup.peerPort));
    }
}

void DataLink::pumpFile()
{
    // The file goes out in chunks as the socket drains, so its size never sits in memory.
    while (m_socket && m_outFile.isOpen() && m_socket->bytesToWrite() < highWater) {
        const QByteArray chunk = m_outFile.read(chunkSize);
        if (chunk.isEmpty()) {
            if (m_outFile.error() != QFileDevice::NoError) {
                const QString failure = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_outFile.fileName()),
                                                                     m_outFile.errorString());
                emit sendStatusAppended(QStringLiteral("Send failed for %1: %2").arg(m_sendFileName, failure));
                closeAndListen();
                return;
            }
            m_outFile.close();
            break;
        }
        m_socket->write(chunk);
    }
}

void DataLink::onBytesWritten()
{
    if (!m_socket)
        return;
    if (m_outFile.isOpen())
        pumpFile();
    if (!m_socket || m_outFile.isOpen() || m_socket->bytesToWrite() > 0)
        return;
    if (m_transferInFlight || m_sendMode == Chat)
        sendComplete();
}

void DataLink::sendComplete()
{
    emit sendStatusAdded(QStringLiteral("SendComplete. State=%1, sendMode=%2, last=%3")
                             .arg(state())
                             .arg(m_sendMode)
                             .arg(m_sendFileName));
    if (m_sendMode == FileSend || m_sendMode == MailSend) {
        // Said only now that every byte has been handed to the network.
        emit sendStatusAppended(QStringLiteral("Send complete for ") + m_sendFileName);
        dropSocket();
        emit sendStatusAdded(QStringLiteral("Non-chat send complete. Socket closed."));
        ResetReceiveState();
        m_sendMode = Idle;
        listenAgain();
    } else if (m_sendMode == Chat) {
        emit sendStatusAdded(QStringLiteral("Chat send complete. Socket remains open."));
    }
}

void DataLink::onConnectionRequest()
{
    emit connectionStatusAdded(QStringLiteral("ConnectionRequest fired. State=%1, chatModeActive=%2")
                                   .arg(state())
                                   .arg(word(m_chatModeActive)));
    QTcpSocket *incoming = m_server.nextPendingConnection();
    // One connection at a time: the listener closes and later requests are turned away.
    while (m_server.hasPendingConnections()) {
        QTcpSocket *extra = m_server.nextPendingConnection();
        extra->abort();
        extra->deleteLater();
    }
    m_server.close();
    if (!incoming)
        return;
    dropSocket(false);
    m_machine.reset();
    adopt(incoming);
    m_chatModeActive = true;
    m_sendMode = Chat;
    m_speaker.say(QStringLiteral("Connection accepted."));
    emit connectionStatusAdded(QStringLiteral("Connection accepted. Chat mode active."));
    if (incoming->bytesAvailable() > 0)
        onReadyRead();
}

void DataLink::onReadyRead()
{
    if (!m_socket)
        return;
    handle(m_machine.feed(m_socket->readAll(), m_chatModeActive));
}

void DataLink::handle(const QList<ReceiveMachine::Event> &events)
{
    using Kind = ReceiveMachine::Kind;
    for (const ReceiveMachine::Event &event : events) {
        switch (event.kind) {
        case Kind::FileOpened:
            emit connectionStatusPrepended(QStringLiteral("Opened receive file: ") + event.text);
            break;
        case Kind::ChatText:
            emit chatReceived(event.text);
            break;
        case Kind::NameRefused:
            emit connectionStatusPrepended(
                QStringLiteral("Refused receive file \"%1\": %2. Nothing was written; connection closed.")
                    .arg(event.text, event.detail));
            closeAndListen();
            return;
        case Kind::Overflow:
            emit connectionStatusPrepended(
                QStringLiteral("A line from %1 grew past %2 bytes without a line end; connection closed.")
                    .arg(m_socket ? m_socket->peerAddress().toString() : m_remoteHost)
                    .arg(m_machine.lineLimit()));
            closeAndListen();
            return;
        case Kind::WriteFailed:
            emit connectionStatusPrepended(QStringLiteral("ERROR in DataArrival: 75 - %1. The transfer of %2 was "
                                                          "stopped and nothing of it kept; connection closed.")
                                               .arg(event.detail, event.text));
            closeAndListen();
            return;
        case Kind::EndChat:
            remoteEndOfChat();
            return;
        case Kind::Reset:
            ResetReceiveState();
            m_sendMode = Idle;
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
    m_chatModeActive = false;
    dropSocket();
    emit connectionStatusPrepended(QStringLiteral("Remote terminated chat session."));
    ResetReceiveState();
    m_sendMode = Idle;
    listenAgain();
}

void DataLink::onPeerClosed()
{
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (!m_socket)
        return;
    if (m_transferInFlight) {
        emit sendStatusAppended(QStringLiteral("Send of %1 broken off: the peer closed the connection.").arg(m_sendFileName));
    }
    if (m_machine.fileOpen())
        finishReceiveFile();
    m_machine.reset();
    m_chatModeActive = false;
    // Never left deaf: after the peer's close the portal listens again.
    dropSocket(false);
    m_sendMode = Idle;
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
                                                 .arg(description, m_remoteHost.isEmpty() ? m_socket->peerName() : m_remoteHost)
                                                 .arg(m_socket->peerPort() ? m_socket->peerPort() : m_setup.peerPort)));
    if (m_sendMode == FileSend || m_sendMode == MailSend)
        emit sendStatusAppended(QStringLiteral("Send failed for %1: %2").arg(m_sendFileName, description));
    if (m_machine.fileOpen()) {
        // The connection broke: what arrived is known to be incomplete.
        const QString name = m_machine.receiveName();
        m_machine.discardFile();
        emit connectionStatusPrepended(QStringLiteral("Receive file %1 broken off; nothing of it kept.").arg(name));
    }
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
    if (m_sendMode == FileSend || m_sendMode == MailSend)
        emit sendStatusAppended(QStringLiteral("Send failed for %1: no answer from %2").arg(m_sendFileName, m_remoteHost));
    closeAndListen();
}

void DataLink::chatConnect(const QString &remoteHost)
{
    m_sendMode = Chat;
    m_chatModeActive = false;
    emit connectionStatusPrepended(QStringLiteral("Chat mode armed. Next connect will stay open."));
    m_remoteHost = StatusText::trimSpaces(remoteHost);
    connectToPeer();
}

void DataLink::reconnect(const QString &remoteHost)
{
    dropSocket(false);
    m_server.close();
    ResetReceiveState();
    m_sendMode = Chat;
    m_chatModeActive = false;
    m_remoteHost = StatusText::trimSpaces(remoteHost);
    const QString host = m_remoteHost;
    connectToPeer();
    emit connectionStatusPrepended(QStringLiteral("Reconnect attempted to %1 on port %2").arg(host).arg(m_setup.peerPort));
}

bool DataLink::sendChat(const QString &message)
{
    if (state() != 7 || !m_chatModeActive)
        return false;
    m_socket->write(Wire::chatLine(message));
    return true;
}

void DataLink::endChat()
{
    emit connectionStatusCleared();
    if (m_chatModeActive) {
        m_chatModeActive = false;
        emit connectionStatusPrepended(QStringLiteral("Chat mode terminated by user."));
        // The graceful close below hands both lines to the network before the connection ends.
        if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->write(Wire::endChatLines());
    }
    dropSocket();
    m_server.close();
    ResetReceiveState();
    m_sendMode = Idle;
    StartListening();
    emit connectionStatusPrepended(QStringLiteral("Listening again on port ") + QString::number(m_listenPort));
    emit connectionStatusPrepended(QStringLiteral(" CHAT Session Ended"));
}
