#include "RadioLink.h"

#include "LoopbackSocket.h"
#include "RadioSession.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

using LoopbackSocket::closeWithReset;
using LoopbackSocket::systemError;

RadioLink::RadioLink(QObject *parent)
    : QObject(parent)
{
    m_poll.setInterval(500);
    connect(&m_poll, &QTimer::timeout, this, &RadioLink::poll);
    connect(&m_agw, &AgwConnection::statusLine, this, &RadioLink::statusLine);
    connect(&m_agw, &AgwConnection::ready, &m_poll, qOverload<>(&QTimer::start));
    connect(&m_agw, &AgwConnection::lost, this, &RadioLink::onModemLost);
    connect(&m_agw, &AgwConnection::frameArrived, this, &RadioLink::handle);
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
    return m_session ? m_session->retries() : m_lastRetries;
}

void RadioLink::start(const QString &host, quint16 port, const QString &callsign, int retryMs)
{
    stop();
    m_agw.aim(host, port, callsign.trimmed().toUpper().toLatin1(), retryMs);
    if (!AgwFrame::isCallsign(this->callsign())) {
        emit statusLine(tr("Radio link not started: the station ID \"%1\" is not a callsign the modem can register "
                           "(1 to 6 letters or digits, optionally -0 to -15). Type your callsign as the station ID.")
                            .arg(callsign));
        return;
    }
    if (const PortalOutcome dial = openDialListener(); !dial) {
        emit statusLine(tr("Radio link not started: no loopback port for the data link (%1).").arg(dial.why()));
        return;
    }
    m_agw.open();
}

void RadioLink::stop()
{
    m_poll.stop();
    m_busyCallers.disconnectAll(m_agw.call());
    if (m_session)
        endSession(false, tr("Radio session with %1 broken off: the radio link was switched off here.")
                              .arg(m_session->remoteText()));
    m_agw.close();
    m_armed.clear();
}

void RadioLink::onModemLost()
{
    m_poll.stop();
    // Their sessions ended with the modem program.
    m_busyCallers.clear();
    if (m_session) {
        endSession(false, tr("Radio session with %1 broken off: the modem program is gone. %2")
                              .arg(m_session->remoteText(), m_session->summary()));
    }
}

void RadioLink::handle(const AgwFrame &frame)
{
    switch (frame.kind) {
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
    const PortalResult<LoopbackSocket::Listener> listener = LoopbackSocket::listener(4);
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
    if (!m_agw.registered()) {
        QString why = m_agw.lastFailure().isEmpty()
                          ? tr("the radio link is not ready (the modem program has not registered %1 yet)").arg(callsign())
                          : m_agw.lastFailure();
        if (why.endsWith(u'.'))
            why.chop(1);
        return PortalOutcome::failure(why);
    }
    if (!AgwFrame::isCallsign(call)) {
        return PortalOutcome::failure(
            tr("\"%1\" is not a callsign; pick a station whose list entry starts with its callsign").arg(remote));
    }
    if (m_session)
        return PortalOutcome::failure(tr("a radio session with %1 is still open").arg(m_session->remoteText()));
    m_armed = call.toLatin1();
    return {};
}

void RadioLink::openSession(const QByteArray &remote, bool outgoing, int fd)
{
    m_session = std::make_unique<RadioSession>(remote, outgoing);
    m_session->linked = !outgoing;
    m_session->fd = fd;
    // Nothing goes out on a call of ours before the session is connected.
    watchLocal(!outgoing);
}

void RadioLink::watchLocal(bool readable)
{
    RadioSession &s = *m_session;
    s.readable = new QSocketNotifier(s.fd, QSocketNotifier::Read, this);
    s.readable->setEnabled(readable);
    connect(s.readable, &QSocketNotifier::activated, this, &RadioLink::onLocalReadable);
    s.writable = new QSocketNotifier(s.fd, QSocketNotifier::Write, this);
    s.writable->setEnabled(false);
    connect(s.writable, &QSocketNotifier::activated, this, &RadioLink::onLocalWritable);
}

void RadioLink::onDial()
{
    const int fd = ::accept4(m_dialFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    // Only the data link dials here, and only right after arm().
    if (m_armed.isEmpty() || m_session || !m_agw.registered()) {
        closeWithReset(fd);
        return;
    }
    openSession(std::exchange(m_armed, QByteArray()), true, fd);
    emit sendStatusLine(tr("Radio: calling %1 through the modem program (AX.25 connect).").arg(m_session->remoteText()));
    send(AgwFrame::connectTo(0, m_agw.call(), m_session->remote));
}

void RadioLink::onConnectNotice(const AgwFrame &frame)
{
    const QString remote = QString::fromLatin1(frame.callFrom);
    if (m_session && m_session->outgoing && frame.callFrom == m_session->remote && !m_session->linked) {
        m_session->linked = true;
        m_session->lastProgressMs = m_session->elapsedMs();
        emit sendStatusLine(tr("Radio: connected to %1 after %2 s; sending.")
                                .arg(remote)
                                .arg(m_session->elapsedMs() / 1000.0, 0, 'f', 1));
        pump();
        return;
    }
    if (m_session) {
        if (frame.callFrom != m_session->remote && !m_busyCallers.contains(frame.callFrom)) {
            // AX.25 cannot hold a caller back: it is told to call again instead of being taken and dropped.
            emit statusLine(tr("A radio call from %1 was turned away: a session with %2 is in progress.")
                                .arg(remote, m_session->remoteText()));
            m_busyCallers.turnAway(frame, m_agw.call(), m_session->remote);
        }
        return;
    }
    // A caller still being told it is busy has not called again.
    if (m_busyCallers.contains(frame.callFrom))
        return;
    const PortalResult<LoopbackSocket::Pair> pair =
        m_handOver ? LoopbackSocket::pair()
                   : PortalResult<LoopbackSocket::Pair>(PortalOutcome::failure(tr("nothing here takes calls")));
    if (!pair) {
        send(AgwFrame::disconnect(frame.port, m_agw.call(), frame.callFrom));
        emit statusLine(
            tr("A radio call from %1 was turned away: no loopback connection for it (%2).").arg(remote, pair.why()));
        return;
    }
    openSession(frame.callFrom, false, pair->ours);
    emit statusLine(tr("Radio: %1 connected to %2 (AX.25 session).").arg(remote, callsign()));
    m_handOver(pair->theirs, remote);
}

void RadioLink::onDisconnectNotice(const AgwFrame &frame)
{
    // A busy caller that hung up by itself needs no disconnect from here.
    if (m_busyCallers.forget(frame.callFrom) && (!m_session || frame.callFrom != m_session->remote))
        return;
    if (!m_session || frame.callFrom != m_session->remote)
        return;
    const RadioSession::Ending ending = m_session->endOf(QString::fromLatin1(frame.data).remove(QChar(0)).trimmed());
    endSession(ending.orderly, ending.line);
}

void RadioLink::hangUp()
{
    m_session->disconnectSent = true;
    send(AgwFrame::disconnect(0, m_agw.call(), m_session->remote));
}

void RadioLink::onSessionData(const AgwFrame &frame)
{
    if (!m_session || frame.callFrom != m_session->remote || m_session->fd < 0)
        return;
    m_session->received += frame.data.size();
    m_session->lastProgressMs = m_session->elapsedMs();
    m_session->toLocal += frame.data;
    if (m_session->toLocal.size() > localBacklogLimit) {
        hangUp();
        endSession(false, tr("Radio session with %1 broken off: more than %2 bytes waited for the portal.")
                              .arg(m_session->remoteText())
                              .arg(localBacklogLimit));
        return;
    }
    flushToLocal();
    if (!m_session)
        return;
    if (!m_session->outgoing) {
        reportProgress(false);
        return;
    }
    if (!m_session->answered(frame.data))
        return;
    // Its modem confirms our frames all the same: the rest is not sent, and the end is no delivery.
    emit sendStatusLine(tr("Radio: %1 turned the call away: \"%2\"").arg(m_session->remoteText(), m_session->busy));
    m_session->readable->setEnabled(false);
    if (!m_session->disconnectSent)
        hangUp();
}

void RadioLink::flushToLocal()
{
    RadioSession &s = *m_session;
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
        hangUp();
        endSession(false, tr("Radio session with %1 broken off: the portal's side closed (%2).")
                              .arg(s.remoteText(), systemError(error)));
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
    RadioSession &s = *m_session;
    if (!s.linked || s.localEnded || s.disconnectSent) {
        s.readable->setEnabled(false);
        return;
    }
    bool handed = false;
    while (!s.waitingCount && int(s.inFlight.size()) < window) {
        char buffer[frameBytes];
        const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            send(AgwFrame::sessionData(0, m_agw.call(), s.remote, QByteArray(buffer, int(n))));
            s.handed(n);
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
        hangUp();
        endSession(false, tr("Radio session with %1 ended: the portal broke the connection off (%2).")
                              .arg(s.remoteText(), systemError(error)));
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
    send(AgwFrame::outstanding(0, m_agw.call(), m_session->remote));
}

void RadioLink::onOutstanding(const AgwFrame &frame)
{
    if (m_busyCallers.onCount(frame, m_agw.call()))
        return;
    if (!m_session || frame.callTo != m_session->remote)
        return;
    m_session->waitingCount = false;
    m_session->unconfirmed(frame.number());
    if (frame.number() < 0)
        return;
    if (m_session->allConfirmed() && !m_session->disconnectSent) {
        // Every byte the data link gave is acknowledged: ending the session is the end of the transfer.
        hangUp();
        return;
    }
    pump();
}

void RadioLink::onOwnFrame(const AgwFrame &frame)
{
    if (!m_session || frame.callTo != m_session->remote || !m_session->ownFrame(frame.data))
        return;
    emit statusLine(tr("Radio: the modem program sent a frame to %1 again (retry %2).")
                        .arg(m_session->remoteText())
                        .arg(m_session->retries()));
}

void RadioLink::poll()
{
    m_busyCallers.poll(m_agw.call(), m_stallLimitMs);
    if (!m_session)
        return;
    RadioSession &s = *m_session;
    if (s.stalled(m_stallLimitMs)) {
        hangUp();
        endSession(false, tr("Radio session with %1 given up: %2 for %3 s. %4")
                              .arg(s.remoteText(),
                                   s.linked ? tr("no frame was confirmed") : tr("the call was not answered"))
                              .arg(m_stallLimitMs / 1000.0)
                              .arg(s.summary()));
        return;
    }
    if (s.linked && !s.disconnectSent && (!s.inFlight.isEmpty() || s.localEnded))
        askOutstanding();
    else if (s.linked && !s.disconnectSent)
        pump();
    if (m_session)
        reportProgress(false);
}

void RadioLink::reportProgress(bool force)
{
    const std::optional<QString> line = m_session->progress(force);
    if (!line)
        return;
    if (m_session->outgoing)
        emit sendStatusLine(*line);
    else
        emit statusLine(*line);
}

void RadioLink::endSession(bool orderly, const QString &line)
{
    std::unique_ptr<RadioSession> s = std::move(m_session);
    m_lastRetries = s->retries();
    delete std::exchange(s->readable, nullptr);
    delete std::exchange(s->writable, nullptr);
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
    m_session = std::move(s);
    watchLocal(false);
    flushToLocal();
}
