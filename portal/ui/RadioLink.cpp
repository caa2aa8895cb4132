#include "RadioLink.h"

#include "Wire.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qint64 progressEveryMs = 5000;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A close after a zero linger time is a reset: the data link never takes
// a session that ended any other way for one that ended in order.
void closeWithReset(int fd)
{
    linger option{};
    option.l_onoff = 1;
    option.l_linger = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    ::close(fd);
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

struct Listener
{
    int fd = -1;
    quint16 port = 0;
};

// A listening socket on a free loopback port, or the reason there is none.
PortalResult<Listener> loopbackListener(int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return PortalOutcome::failure(systemError(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        return PortalOutcome::failure(systemError(error));
    }
    return Listener{fd, ntohs(address.sin_port)};
}

// Two ends of one loopback TCP connection: the data link takes one as an
// accepted call, this link keeps the other.
struct ConnectionPair
{
    int ours = -1;
    int theirs = -1;
};

PortalResult<ConnectionPair> connectionPair()
{
    const PortalResult<Listener> listener = loopbackListener(1);
    if (!listener)
        return listener.outcome();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener->port);
    bool made = client >= 0 && ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    int accepted = -1;
    if (made) {
        // The loopback connection is complete at once; wait briefly all the same.
        for (int round = 0; round < 100 && accepted < 0; ++round) {
            accepted = ::accept4(listener->fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                ::usleep(1000);
            else if (accepted < 0)
                break;
        }
        made = accepted >= 0;
    }
    const int error = errno;
    if (!made && client >= 0)
        ::close(client);
    ::close(listener->fd);
    if (!made)
        return PortalOutcome::failure(systemError(error));
    setNonBlocking(client);
    return ConnectionPair{client, accepted};
}

} // namespace

struct RadioLink::Session
{
    QByteArray remote;
    bool outgoing = false;
    bool linked = false;         ///< the modem reported the AX.25 session connected
    bool localEnded = false;     ///< the data link closed its side in order
    bool disconnectSent = false; ///< we asked the modem to end the session
    bool waitingCount = false;   ///< a 'Y' question is open
    int fd = -1;
    QSocketNotifier *readable = nullptr;
    QSocketNotifier *writable = nullptr;
    QByteArray toLocal;
    bool closeAfterFlush = false;
    QByteArray answer; ///< the first bytes the called station sent
    QString busy;      ///< its busy line when it turned the call away
    QList<int> inFlight; ///< sizes of frames handed to the modem, oldest first
    int outstanding = 0;
    qint64 handed = 0;
    qint64 acknowledged = 0;
    qint64 received = 0;
    int framesHanded = 0;
    int framesSeen = 0;  ///< our data frames the modem reported sending
    int connectsSeen = 0;
    QElapsedTimer clock;
    qint64 nextReportMs = progressEveryMs;
    qint64 lastProgressMs = 0; ///< when the session last moved: connected, confirmed, received
};

RadioLink::RadioLink(QObject *parent)
    : QObject(parent)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &RadioLink::connectToModem);
    m_poll.setInterval(500);
    connect(&m_poll, &QTimer::timeout, this, &RadioLink::poll);
    connect(&m_agw, &QTcpSocket::connected, this, &RadioLink::onModemConnected);
    connect(&m_agw, &QTcpSocket::readyRead, this, &RadioLink::onModemBytes);
    connect(&m_agw, &QTcpSocket::disconnected, this, &RadioLink::onModemClosed);
    connect(&m_agw, &QTcpSocket::errorOccurred, this, &RadioLink::onModemError);
}

RadioLink::~RadioLink()
{
    blockSignals(true);
    m_agw.disconnect(this);
    if (m_session) {
        if (m_session->fd >= 0)
            closeWithReset(m_session->fd);
        m_session.reset();
    }
    if (m_dialFd >= 0)
        ::close(m_dialFd);
}

QString RadioLink::callsignOf(const QString &entry)
{
    const QStringList pieces = entry.trimmed().toUpper().split(u'-');
    // An SSID is a second piece of one or two digits that is no address.
    if (pieces.size() >= 2) {
        const QString withSsid = pieces.at(0).trimmed() + u'-' + pieces.at(1).trimmed();
        if (pieces.at(1).trimmed().size() <= 2 && AgwFrame::isCallsign(withSsid))
            return withSsid;
    }
    const QString call = pieces.at(0).trimmed();
    return AgwFrame::isCallsign(call) ? call : QString();
}

int RadioLink::retries() const
{
    if (!m_session)
        return m_lastRetries;
    return qMax(0, m_session->framesSeen - m_session->framesHanded) + qMax(0, m_session->connectsSeen - 1);
}

void RadioLink::start(const QString &host, quint16 port, const QString &callsign, int retryMs)
{
    stop();
    m_host = host;
    m_port = port;
    m_call = callsign.trimmed().toUpper().toLatin1();
    m_retry.setInterval(retryMs);
    m_wanted = true;
    m_lastFailure.clear();
    if (!AgwFrame::isCallsign(QString::fromLatin1(m_call))) {
        m_wanted = false;
        emit statusLine(tr("Radio link not started: the station ID \"%1\" is not a callsign the modem can register "
                           "(1 to 6 letters or digits, optionally -0 to -15). Type your callsign as the station ID.")
                            .arg(callsign));
        return;
    }
    if (const PortalOutcome dial = openDialListener(); !dial) {
        m_wanted = false;
        emit statusLine(tr("Radio link not started: no loopback port for the data link (%1).").arg(dial.why()));
        return;
    }
    connectToModem();
}

void RadioLink::stop()
{
    m_wanted = false;
    m_retry.stop();
    m_poll.stop();
    m_busyCallers.disconnectAll(m_call);
    if (m_session)
        endSession(false, tr("Radio session with %1 broken off: the radio link was switched off here.")
                              .arg(QString::fromLatin1(m_session->remote)));
    if (m_agw.state() == QAbstractSocket::ConnectedState && m_registered) {
        send(AgwFrame::unregisterCall(m_call));
        m_agw.flush();
    }
    m_registered = false;
    closeQuietly();
    m_parser.reset();
    m_armed.clear();
}

void RadioLink::closeQuietly()
{
    // A close of our own is no news of the modem program: no line for it.
    const QSignalBlocker quiet(m_agw);
    m_agw.abort();
}

void RadioLink::connectToModem()
{
    if (!m_wanted || m_agw.state() != QAbstractSocket::UnconnectedState)
        return;
    m_parser.reset();
    m_agw.connectToHost(m_host, m_port);
}

void RadioLink::onModemConnected()
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

void RadioLink::onModemError()
{
    if (m_agw.error() == QAbstractSocket::RemoteHostClosedError)
        return; // handled as the close
    const QString why = tr("No radio modem program at %1 port %2: %3. Start the modem program (direwolf) with its AGW "
                           "port there, or set the host and port in the radio setting file; trying again every %4 s.")
                            .arg(m_host)
                            .arg(m_port)
                            .arg(m_agw.errorString())
                            .arg(m_retry.interval() / 1000);
    modemGone(why);
}

void RadioLink::onModemClosed()
{
    modemGone(tr("The radio modem program at %1 port %2 closed the AGW connection: it stopped or was ended. "
                 "Trying again every %3 s.")
                  .arg(m_host)
                  .arg(m_port)
                  .arg(m_retry.interval() / 1000));
}

void RadioLink::modemGone(const QString &why)
{
    const bool wasRegistered = m_registered;
    m_registered = false;
    m_poll.stop();
    // Their sessions ended with the modem program.
    m_busyCallers.clear();
    if (m_session) {
        endSession(false, tr("Radio session with %1 broken off: the modem program is gone. %2")
                              .arg(QString::fromLatin1(m_session->remote), summary()));
    }
    if (m_agw.state() != QAbstractSocket::UnconnectedState)
        closeQuietly();
    // The same failure every few seconds would bury the box: say it once.
    if (why != m_lastFailure || wasRegistered)
        emit statusLine(why);
    m_lastFailure = why;
    if (m_wanted)
        m_retry.start();
}

void RadioLink::send(const AgwFrame &frame)
{
    if (m_agw.state() == QAbstractSocket::ConnectedState)
        m_agw.write(frame.encode());
}

void RadioLink::onModemBytes()
{
    const QList<AgwFrame> frames = m_parser.feed(m_agw.readAll());
    for (const AgwFrame &frame : frames) {
        handle(frame);
        if (m_agw.state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (m_parser.failed()) {
        closeQuietly();
        modemGone(tr("Radio link closed: %1.").arg(m_parser.failure()));
    }
}

void RadioLink::handle(const AgwFrame &frame)
{
    switch (frame.kind) {
    case 'R':
        if (frame.data.size() >= 8) {
            AgwFrame major;
            major.data = frame.data.left(4);
            AgwFrame minor;
            minor.data = frame.data.mid(4, 4);
            emit statusLine(tr("Radio modem program speaks AGW version %1.%2.").arg(major.number()).arg(minor.number()));
        }
        break;
    case 'X':
        if (frame.data.isEmpty() || frame.data.at(0) != 1) {
            m_wanted = false;
            emit statusLine(tr("The radio modem program refused the callsign %1 (another program may have it "
                               "registered). The radio link is off; change the station ID or end the other program, "
                               "then choose the radio modem again.")
                                .arg(QString::fromLatin1(m_call)));
            m_lastFailure = tr("the modem program refused the callsign %1").arg(QString::fromLatin1(m_call));
            closeQuietly();
            return;
        }
        m_registered = true;
        m_poll.start();
        emit statusLine(tr("Radio link ready: %1 registered with the modem program; calls to it arrive here.")
                            .arg(QString::fromLatin1(m_call)));
        break;
    case 'C': onConnectNotice(frame); break;
    case 'd': onDisconnectNotice(frame); break;
    case 'D': onSessionData(frame); break;
    case 'Y': onOutstanding(frame); break;
    case 'T': onOwnFrame(frame); break;
    default: break;
    }
}

PortalOutcome RadioLink::openDialListener()
{
    if (m_dialFd >= 0)
        return {};
    const PortalResult<Listener> listener = loopbackListener(4);
    if (!listener)
        return listener.outcome();
    m_dialFd = listener->fd;
    m_dialPort = listener->port;
    m_dialNotifier = new QSocketNotifier(m_dialFd, QSocketNotifier::Read, this);
    connect(m_dialNotifier, &QSocketNotifier::activated, this, &RadioLink::onDial);
    return {};
}

PortalOutcome RadioLink::arm(const QString &remote)
{
    const QString call = remote.trimmed().toUpper();
    if (!m_registered) {
        QString why = m_lastFailure.isEmpty()
                          ? tr("the radio link is not ready (the modem program has not registered %1 yet)")
                                .arg(QString::fromLatin1(m_call))
                          : m_lastFailure;
        if (why.endsWith(u'.'))
            why.chop(1);
        return PortalOutcome::failure(why);
    }
    if (!AgwFrame::isCallsign(call)) {
        return PortalOutcome::failure(
            tr("\"%1\" is not a callsign; pick a station whose list entry starts with its callsign").arg(remote));
    }
    if (m_session)
        return PortalOutcome::failure(tr("a radio session with %1 is still open").arg(QString::fromLatin1(m_session->remote)));
    m_armed = call.toLatin1();
    return {};
}

void RadioLink::onDial()
{
    const int fd = ::accept4(m_dialFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    // Only the data link dials here, and only right after arm().
    if (m_armed.isEmpty() || m_session || !m_registered) {
        closeWithReset(fd);
        return;
    }
    m_session = std::make_unique<Session>();
    m_session->remote = std::exchange(m_armed, QByteArray());
    m_session->outgoing = true;
    m_session->fd = fd;
    m_session->clock.start();
    m_session->readable = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_session->readable->setEnabled(false); // nothing goes out before the session is connected
    connect(m_session->readable, &QSocketNotifier::activated, this, &RadioLink::onLocalReadable);
    m_session->writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_session->writable->setEnabled(false);
    connect(m_session->writable, &QSocketNotifier::activated, this, &RadioLink::onLocalWritable);
    emit sendStatusLine(tr("Radio: calling %1 through the modem program (AX.25 connect).")
                            .arg(QString::fromLatin1(m_session->remote)));
    send(AgwFrame::connectTo(0, m_call, m_session->remote));
}

void RadioLink::onConnectNotice(const AgwFrame &frame)
{
    const QString remote = QString::fromLatin1(frame.callFrom);
    if (m_session && m_session->outgoing && frame.callFrom == m_session->remote && !m_session->linked) {
        m_session->linked = true;
        m_session->lastProgressMs = m_session->clock.elapsed();
        emit sendStatusLine(tr("Radio: connected to %1 after %2 s; sending.")
                                .arg(remote)
                                .arg(m_session->clock.elapsed() / 1000.0, 0, 'f', 1));
        pump();
        return;
    }
    if (m_session) {
        if (frame.callFrom != m_session->remote && !m_busyCallers.contains(frame.callFrom)) {
            // AX.25 cannot hold a caller back: it is told to call again instead of being taken and dropped.
            emit statusLine(tr("A radio call from %1 was turned away: a session with %2 is in progress.")
                                .arg(remote, QString::fromLatin1(m_session->remote)));
            m_busyCallers.turnAway(frame, m_call, m_session->remote);
        }
        return;
    }
    // A caller still being told it is busy has not called again.
    if (m_busyCallers.contains(frame.callFrom))
        return;
    const PortalResult<ConnectionPair> pair =
        m_handOver ? connectionPair() : PortalResult<ConnectionPair>(PortalOutcome::failure(tr("nothing here takes calls")));
    if (!pair) {
        send(AgwFrame::disconnect(frame.port, m_call, frame.callFrom));
        emit statusLine(
            tr("A radio call from %1 was turned away: no loopback connection for it (%2).").arg(remote, pair.why()));
        return;
    }
    const int ours = pair->ours;
    const int theirs = pair->theirs;
    m_session = std::make_unique<Session>();
    m_session->remote = frame.callFrom;
    m_session->linked = true;
    m_session->fd = ours;
    m_session->clock.start();
    m_session->readable = new QSocketNotifier(ours, QSocketNotifier::Read, this);
    connect(m_session->readable, &QSocketNotifier::activated, this, &RadioLink::onLocalReadable);
    m_session->writable = new QSocketNotifier(ours, QSocketNotifier::Write, this);
    m_session->writable->setEnabled(false);
    connect(m_session->writable, &QSocketNotifier::activated, this, &RadioLink::onLocalWritable);
    emit statusLine(tr("Radio: %1 connected to %2 (AX.25 session).").arg(remote, QString::fromLatin1(m_call)));
    m_handOver(theirs, remote);
}

void RadioLink::onDisconnectNotice(const AgwFrame &frame)
{
    // A busy caller that hung up by itself needs no disconnect from here.
    if (m_busyCallers.forget(frame.callFrom) && (!m_session || frame.callFrom != m_session->remote))
        return;
    if (!m_session || frame.callFrom != m_session->remote)
        return;
    const QString remote = QString::fromLatin1(m_session->remote);
    const QString notice = QString::fromLatin1(frame.data).remove(QChar(0)).trimmed();
    const bool retryOut = notice.contains(QStringLiteral("RETRY"), Qt::CaseInsensitive);
    if (!m_session->busy.isEmpty()) {
        endSession(false, tr("Radio session with %1 ended: %1 was busy and kept nothing. %2").arg(remote, summary()));
        return;
    }
    if (m_session->disconnectSent && !retryOut) {
        endSession(true, tr("Radio session with %1 ended in order: %2").arg(remote, summary()));
        return;
    }
    if (!m_session->outgoing && !retryOut) {
        // The caller ended the session: its whole transfer is in, as a clean close on the IP link says.
        endSession(true, tr("Radio session from %1 ended by the caller: %2 bytes received in %3 s.")
                             .arg(remote)
                             .arg(m_session->received)
                             .arg(m_session->clock.elapsed() / 1000.0, 0, 'f', 1));
        return;
    }
    // Still a reset for the data link: without the last acknowledgement nothing is known delivered.
    if (m_session->localEnded && !retryOut) {
        endSession(false, tr("Radio session with %1 ended by %1 before every frame was confirmed (\"%2\"): %3")
                              .arg(remote, notice, summary()));
        return;
    }
    endSession(false, tr("Radio session with %1 broken off by the modem program (\"%2\"): %3")
                          .arg(remote, notice, summary()));
}

void RadioLink::onSessionData(const AgwFrame &frame)
{
    if (!m_session || frame.callFrom != m_session->remote || m_session->fd < 0)
        return;
    m_session->received += frame.data.size();
    m_session->lastProgressMs = m_session->clock.elapsed();
    m_session->toLocal += frame.data;
    if (m_session->toLocal.size() > localBacklogLimit) {
        send(AgwFrame::disconnect(0, m_call, m_session->remote));
        m_session->disconnectSent = true;
        endSession(false, tr("Radio session with %1 broken off: more than %2 bytes waited for the portal.")
                              .arg(QString::fromLatin1(m_session->remote))
                              .arg(localBacklogLimit));
        return;
    }
    flushToLocal();
    if (m_session && m_session->outgoing)
        readAnswer(frame.data);
    else if (m_session)
        reportProgress(false);
}

void RadioLink::readAnswer(const QByteArray &data)
{
    Session &s = *m_session;
    if (!s.busy.isEmpty() || s.answer.size() > Wire::busyAnswerLimit)
        return;
    s.answer += data.left(Wire::busyAnswerLimit + 2 - s.answer.size());
    s.busy = Wire::busyAnswer(s.answer);
    if (s.busy.isEmpty())
        return;
    // Its modem confirms our frames all the same: no end of this session may pass for a delivery.
    emit sendStatusLine(tr("Radio: %1 turned the call away: \"%2\"").arg(QString::fromLatin1(s.remote), s.busy));
    s.readable->setEnabled(false);
    if (!s.disconnectSent) {
        s.disconnectSent = true;
        send(AgwFrame::disconnect(0, m_call, s.remote));
    }
}

void RadioLink::flushToLocal()
{
    Session &s = *m_session;
    while (!s.toLocal.isEmpty()) {
        const ssize_t n = ::send(s.fd, s.toLocal.constData(), size_t(s.toLocal.size()), MSG_NOSIGNAL);
        if (n > 0) {
            s.toLocal.remove(0, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            s.writable->setEnabled(true);
            return;
        }
        // The data link is gone: the other station must not think its bytes arrived.
        const int error = errno;
        send(AgwFrame::disconnect(0, m_call, s.remote));
        s.disconnectSent = true;
        endSession(false, tr("Radio session with %1 broken off: the portal's side closed (%2).")
                              .arg(QString::fromLatin1(s.remote), systemError(error)));
        return;
    }
    s.writable->setEnabled(false);
    if (s.closeAfterFlush) {
        ::close(std::exchange(s.fd, -1));
        m_session.reset();
    }
}

void RadioLink::onLocalWritable()
{
    if (m_session && m_session->fd >= 0)
        flushToLocal();
}

void RadioLink::onLocalReadable()
{
    pump();
}

void RadioLink::pump()
{
    if (!m_session || m_session->fd < 0)
        return;
    Session &s = *m_session;
    if (!s.linked || s.localEnded || s.disconnectSent) {
        s.readable->setEnabled(false);
        return;
    }
    bool handed = false;
    while (!s.waitingCount && int(s.inFlight.size()) < window) {
        char buffer[frameBytes];
        const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            send(AgwFrame::sessionData(0, m_call, s.remote, QByteArray(buffer, int(n))));
            s.inFlight.append(int(n));
            s.handed += n;
            ++s.framesHanded;
            handed = true;
            continue;
        }
        if (n == 0) {
            s.localEnded = true;
            break;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        // A reset from the data link: the transfer was broken off there.
        const int error = errno;
        send(AgwFrame::disconnect(0, m_call, s.remote));
        s.disconnectSent = true;
        endSession(false, tr("Radio session with %1 ended: the portal broke the connection off (%2).")
                              .arg(QString::fromLatin1(s.remote), systemError(error)));
        return;
    }
    s.readable->setEnabled(!s.localEnded && int(s.inFlight.size()) < window && !s.waitingCount);
    if (handed || s.localEnded)
        askOutstanding();
    if (s.outgoing)
        reportProgress(false);
}

void RadioLink::askOutstanding()
{
    if (!m_session || m_session->waitingCount)
        return;
    m_session->waitingCount = true;
    m_session->readable->setEnabled(false);
    send(AgwFrame::outstanding(0, m_call, m_session->remote));
}

void RadioLink::onOutstanding(const AgwFrame &frame)
{
    if (m_busyCallers.onCount(frame, m_call))
        return;
    if (!m_session || frame.callTo != m_session->remote)
        return;
    Session &s = *m_session;
    s.waitingCount = false;
    const qint64 count = frame.number();
    if (count < 0)
        return;
    s.outstanding = int(qMin<qint64>(count, s.inFlight.size()));
    if (s.inFlight.size() > s.outstanding)
        s.lastProgressMs = s.clock.elapsed();
    while (s.inFlight.size() > s.outstanding)
        s.acknowledged += s.inFlight.takeFirst();
    if (s.localEnded && s.inFlight.isEmpty() && !s.disconnectSent) {
        // Every byte the data link gave is acknowledged: ending the session is the end of the transfer.
        s.disconnectSent = true;
        send(AgwFrame::disconnect(0, m_call, s.remote));
        return;
    }
    pump();
}

void RadioLink::onOwnFrame(const AgwFrame &frame)
{
    if (!m_session || frame.callTo != m_session->remote)
        return;
    const int before = retries();
    if (frame.data.contains("<I "))
        ++m_session->framesSeen;
    else if (frame.data.contains("<SABM"))
        ++m_session->connectsSeen;
    const int after = retries();
    if (after > before) {
        emit statusLine(tr("Radio: the modem program sent a frame to %1 again (retry %2).")
                            .arg(QString::fromLatin1(m_session->remote))
                            .arg(after));
    }
}

void RadioLink::poll()
{
    m_busyCallers.poll(m_call, m_stallLimitMs);
    if (!m_session)
        return;
    Session &s = *m_session;
    const bool waiting = !s.linked || !s.inFlight.isEmpty() || (s.localEnded && !s.closeAfterFlush);
    if (waiting && s.clock.elapsed() - s.lastProgressMs > m_stallLimitMs) {
        const QString remote = QString::fromLatin1(s.remote);
        send(AgwFrame::disconnect(0, m_call, s.remote));
        s.disconnectSent = true;
        endSession(false, tr("Radio session with %1 given up: %2 for %3 s. %4")
                              .arg(remote,
                                   s.linked ? tr("no frame was confirmed") : tr("the call was not answered"))
                              .arg(m_stallLimitMs / 1000.0)
                              .arg(summary()));
        return;
    }
    if (m_session->linked && !m_session->disconnectSent && (!m_session->inFlight.isEmpty() || m_session->localEnded))
        askOutstanding();
    else if (m_session->linked && !m_session->disconnectSent)
        pump();
    if (m_session)
        reportProgress(false);
}

QString RadioLink::summary() const
{
    if (!m_session)
        return {};
    const Session &s = *m_session;
    const double seconds = s.clock.elapsed() / 1000.0;
    if (s.outgoing) {
        return tr("%1 of %2 bytes sent were acknowledged by %3, %4 bytes received, in %5 s (%6 bytes/s), %7 retries.")
            .arg(s.acknowledged)
            .arg(s.handed)
            .arg(QString::fromLatin1(s.remote))
            .arg(s.received)
            .arg(seconds, 0, 'f', 1)
            .arg(seconds > 0 ? s.acknowledged / seconds : 0.0, 0, 'f', 0)
            .arg(retries());
    }
    return tr("%1 bytes received from %2 in %3 s, %4 bytes sent, %5 retries.")
        .arg(s.received)
        .arg(QString::fromLatin1(s.remote))
        .arg(seconds, 0, 'f', 1)
        .arg(s.handed)
        .arg(retries());
}

void RadioLink::reportProgress(bool force)
{
    Session &s = *m_session;
    if (!force && s.clock.elapsed() < s.nextReportMs)
        return;
    s.nextReportMs = s.clock.elapsed() + progressEveryMs;
    if (s.outgoing && s.linked && s.handed > 0) {
        emit sendStatusLine(tr("Radio to %1: %2 bytes given to the modem, %3 acknowledged, %4 retries.")
                                .arg(QString::fromLatin1(s.remote))
                                .arg(s.handed)
                                .arg(s.acknowledged)
                                .arg(retries()));
    } else if (!s.outgoing && s.received > 0) {
        emit statusLine(tr("Radio from %1: %2 bytes received so far.").arg(QString::fromLatin1(s.remote)).arg(s.received));
    }
}

void RadioLink::endSession(bool orderly, const QString &line)
{
    std::unique_ptr<Session> s = std::move(m_session);
    m_lastRetries = qMax(0, s->framesSeen - s->framesHanded) + qMax(0, s->connectsSeen - 1);
    delete s->readable;
    delete s->writable;
    s->readable = nullptr;
    s->writable = nullptr;
    if (s->outgoing)
        emit sendStatusLine(line);
    else
        emit statusLine(line);
    if (s->fd < 0)
        return;
    if (!orderly) {
        closeWithReset(s->fd);
        return;
    }
    if (s->toLocal.isEmpty()) {
        ::close(s->fd);
        return;
    }
    // What came before the end still reaches the portal, then the close.
    s->closeAfterFlush = true;
    s->writable = new QSocketNotifier(s->fd, QSocketNotifier::Write, this);
    s->readable = new QSocketNotifier(s->fd, QSocketNotifier::Read, this);
    s->readable->setEnabled(false);
    connect(s->writable, &QSocketNotifier::activated, this, &RadioLink::onLocalWritable);
    m_session = std::move(s);
    flushToLocal();
}
