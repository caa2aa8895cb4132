#include "ModemLink.h"

#include "AnsiText.h"
#include "ModemText.h"
#include "StatusText.h"

#include <QTcpSocket>

ModemLink::ModemLink(const QString &address, quint16 port, int connectTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_port(port)
{
    setObjectName(QStringLiteral("Winsockwho"));
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(connectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        emit lineShown(QStringLiteral("The modem at %1 did not answer on port %2.").arg(m_address).arg(m_port));
        dropSocket();
    });
}

ModemLink::~ModemLink()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

bool ModemLink::connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void ModemLink::connectToModem()
{
    if (connected() || (m_socket && (m_socket->state() == QAbstractSocket::ConnectingState ||
                                     m_socket->state() == QAbstractSocket::HostLookupState)))
        return;
    // A link the modem hung up on is closed before the new one starts.
    dropSocket();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &ModemLink::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &ModemLink::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &ModemLink::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ModemLink::onError);
    m_connectTimer.start();
    m_socket->connectToHost(m_address, m_port);
}

void ModemLink::onConnected()
{
    m_connectTimer.stop();
    // An empty line makes the modem answer with its prompt.
    m_socket->write("\r\n");
}

bool ModemLink::sendCommand(const QString &command)
{
    const QString trimmed = StatusText::trimSpaces(command);
    if (!connected() || trimmed.isEmpty())
        return false;
    m_socket->write(AnsiText::encode(trimmed) + "\r\n");
    return true;
}

void ModemLink::onReadyRead()
{
    for (const QString &line : ModemText::visibleLines(m_socket->readAll()))
        emit lineShown(line);
}

void ModemLink::onDisconnected()
{
    emit lineShown(QStringLiteral("The modem closed the connection."));
    dropSocket();
}

void ModemLink::onError()
{
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return; // reported when the socket says it is disconnected
    emit lineShown(QStringLiteral("Modem link error: %1 (%2 port %3)").arg(m_socket->errorString(), m_address).arg(m_port));
    dropSocket();
}

void ModemLink::endConnection()
{
    if (!m_socket)
        return;
    if (connected())
        m_socket->write("\x03"); // Ctrl-C; the graceful close below delivers it first
    dropSocket();
    emit lineShown(QStringLiteral("Connection closed."));
}

void ModemLink::dropSocket()
{
    m_connectTimer.stop();
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState) {
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(5000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
        return;
    }
    socket->abort();
    socket->deleteLater();
}
