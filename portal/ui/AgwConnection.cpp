#include "AgwConnection.h"

AgwConnection::AgwConnection(QObject *parent)
    : QObject(parent)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &AgwConnection::connectToModem);
    connect(&m_socket, &QTcpSocket::connected, this, &AgwConnection::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &AgwConnection::onBytes);
    connect(&m_socket, &QTcpSocket::disconnected, this, &AgwConnection::onClosed);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &AgwConnection::onError);
}

AgwConnection::~AgwConnection()
{
    // The socket goes last: its end is no news for a half-destroyed connection.
    m_socket.disconnect(this);
}

void AgwConnection::aim(const QString &host, quint16 port, const QByteArray &call, int retryMs)
{
    m_host = host;
    m_port = port;
    m_call = call;
    m_retry.setInterval(retryMs);
    m_lastFailure.clear();
}

void AgwConnection::open()
{
    m_wanted = true;
    connectToModem();
}

void AgwConnection::close()
{
    m_wanted = false;
    m_retry.stop();
    if (m_socket.state() == QAbstractSocket::ConnectedState && m_registered) {
        send(AgwFrame::unregisterCall(m_call));
        m_socket.flush();
    }
    m_registered = false;
    closeQuietly();
    m_parser.reset();
}

void AgwConnection::closeQuietly()
{
    // A close of our own is no news of the modem program: no line for it.
    const QSignalBlocker quiet(m_socket);
    m_socket.abort();
}

void AgwConnection::connectToModem()
{
    if (!m_wanted || m_socket.state() != QAbstractSocket::UnconnectedState)
        return;
    m_parser.reset();
    m_socket.connectToHost(m_host, m_port);
}

void AgwConnection::onConnected()
{
    m_lastFailure.clear();
    emit statusLine(tr("Radio modem program answers at %1 port %2; registering %3.")
                        .arg(m_host)
                        .arg(m_port)
                        .arg(QString::fromLatin1(m_call)));
    send(AgwFrame::version());
    send(AgwFrame::registerCall(m_call));
    // Our own transmitted frames come back as reports: repeated ones are the retries.
    send(AgwFrame::monitor());
}

void AgwConnection::onError()
{
    if (m_socket.error() == QAbstractSocket::RemoteHostClosedError)
        return; // handled as the close
    const QString why = tr("No radio modem program at %1 port %2: %3. Start the modem program (direwolf) with its AGW "
                           "port there, or set the host and port in the radio setting file; trying again every %4 s.")
                            .arg(m_host)
                            .arg(m_port)
                            .arg(m_socket.errorString())
                            .arg(m_retry.interval() / 1000);
    gone(why);
}

void AgwConnection::onClosed()
{
    gone(tr("The radio modem program at %1 port %2 closed the AGW connection: it stopped or was ended. "
            "Trying again every %3 s.")
             .arg(m_host)
             .arg(m_port)
             .arg(m_retry.interval() / 1000));
}

void AgwConnection::gone(const QString &why)
{
    const bool wasRegistered = m_registered;
    m_registered = false;
    emit lost();
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        closeQuietly();
    // The same failure every few seconds would bury the box: say it once.
    if (why != m_lastFailure || wasRegistered)
        emit statusLine(why);
    m_lastFailure = why;
    if (m_wanted)
        m_retry.start();
}

void AgwConnection::send(const AgwFrame &frame)
{
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.write(frame.encode());
}

void AgwConnection::onBytes()
{
    const QList<AgwFrame> frames = m_parser.feed(m_socket.readAll());
    for (const AgwFrame &frame : frames) {
        if (!answer(frame))
            emit frameArrived(frame);
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (m_parser.failed()) {
        closeQuietly();
        gone(tr("Radio link closed: %1.").arg(m_parser.failure()));
    }
}

bool AgwConnection::answer(const AgwFrame &frame)
{
    if (frame.kind == 'R') {
        if (frame.data.size() >= 8) {
            AgwFrame major;
            major.data = frame.data.left(4);
            AgwFrame minor;
            minor.data = frame.data.mid(4, 4);
            emit statusLine(tr("Radio modem program speaks AGW version %1.%2.").arg(major.number()).arg(minor.number()));
        }
        return true;
    }
    if (frame.kind != 'X')
        return false;
    if (frame.data.isEmpty() || frame.data.at(0) != 1) {
        m_wanted = false;
        emit statusLine(tr("The radio modem program refused the callsign %1 (another program may have it "
                           "registered). The radio link is off; change the station ID or end the other program, "
                           "then choose the radio modem again.")
                            .arg(QString::fromLatin1(m_call)));
        m_lastFailure = tr("the modem program refused the callsign %1").arg(QString::fromLatin1(m_call));
        closeQuietly();
        return true;
    }
    m_registered = true;
    emit ready();
    emit statusLine(tr("Radio link ready: %1 registered with the modem program; calls to it arrive here.")
                        .arg(QString::fromLatin1(m_call)));
    return true;
}
