#include "SocketDescriptor.h"

#include "Wire.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace SocketDescriptor {

void endConnection(QTcpSocket *socket, Ending how)
{
    if (how == Ending::Reset) {
        setResetOnClose(socket, true);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (how == Ending::Graceful && socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // What is queued still reaches the peer before the close; a peer that
        // stops reading cannot keep the socket forever.
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, &QObject::deleteLater);
        QTimer::singleShot(10000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
        return;
    }
    if (how == Ending::Graceful && socket->state() == QAbstractSocket::ConnectedState)
        socket->disconnectFromHost();
    else
        socket->abort();
    socket->deleteLater();
}

// Qt reports a reset (recv() failing with ECONNRESET) as the same "remote
// host closed" as an orderly close, and it has closed its own descriptor by
// then. A second descriptor keeps the connection alive long enough to ask the
// kernel: a peer's FIN leaves it in CLOSE-WAIT, a reset leaves it CLOSED.
PeerEnding peerEnd(int watch)
{
#ifdef Q_OS_LINUX
    if (watch < 0)
        return {};
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(watch, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0)
        return {PeerEnd::Reset, QString::fromLocal8Bit(std::strerror(error))};
    tcp_info info{};
    length = sizeof info;
    if (::getsockopt(watch, IPPROTO_TCP, TCP_INFO, &info, &length) == 0) {
        if (info.tcpi_state == TCP_CLOSE_WAIT)
            return {PeerEnd::Orderly, {}};
        if (info.tcpi_state == TCP_CLOSE)
            return {PeerEnd::Reset, QStringLiteral("the peer reset the connection")};
    }
#else
    Q_UNUSED(watch);
#endif
    return {};
}

int watchOf(const QTcpSocket *socket)
{
#ifdef Q_OS_UNIX
    const qintptr descriptor = socket->socketDescriptor();
    return descriptor >= 0 ? ::dup(int(descriptor)) : -1;
#else
    Q_UNUSED(socket);
    return -1;
#endif
}

void closeDescriptor(qintptr descriptor)
{
#ifdef Q_OS_UNIX
    if (descriptor >= 0)
        ::close(int(descriptor));
#else
    Q_UNUSED(descriptor);
#endif
}

// With a zero linger time a close sends a reset: a transfer that ends any way
// but its own (a kill of this program included) never looks complete to the peer.
void setResetOnClose(const QTcpSocket *socket, bool reset)
{
#ifdef Q_OS_UNIX
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return;
    linger option{};
    option.l_onoff = reset ? 1 : 0;
    option.l_linger = 0;
    ::setsockopt(int(descriptor), SOL_SOCKET, SO_LINGER, &option, sizeof option);
#else
    Q_UNUSED(socket);
    Q_UNUSED(reset);
#endif
}

// A peer whose network vanished sends nothing more, not even a reset;
// keep-alive probes find out, also on an idle chat.
void setKeepAlive(const QTcpSocket *socket, const PortalSetup &setup)
{
#ifdef Q_OS_LINUX
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return;
    const int fd = int(descriptor);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &setup.keepAliveIdleS, sizeof setup.keepAliveIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &setup.keepAliveIntervalS, sizeof setup.keepAliveIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &setup.keepAliveCount, sizeof setup.keepAliveCount);
#else
    Q_UNUSED(setup);
    const_cast<QTcpSocket *>(socket)->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#endif
}

QHostAddress peerOfDescriptor(qintptr descriptor)
{
#ifdef Q_OS_UNIX
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr *>(&address), &length) == 0)
        return QHostAddress(reinterpret_cast<sockaddr *>(&address));
#else
    Q_UNUSED(descriptor);
#endif
    return {};
}

void watchDelivery(QObject *owner, int watch, const QString &name, const QString &peer, qint64 bytes, int limitMs,
                   const std::function<void(const QString &line, Delivery delivery)> &report)
{
#ifdef Q_OS_UNIX
    ::shutdown(watch, SHUT_WR);
    auto *notifier = new QSocketNotifier(watch, QSocketNotifier::Read, owner);
    auto *limit = new QTimer(notifier);
    limit->setSingleShot(true);
    auto answer = std::make_shared<Wire::BusyWatch>();
    const auto finish = [report, notifier, limit, watch](const QString &line, Delivery delivery) {
        limit->stop();
        notifier->setEnabled(false);
        // Out of the list the destructor closes: this descriptor is closed here.
        notifier->setParent(nullptr);
        notifier->deleteLater();
        ::close(watch);
        report(line, delivery);
    };
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [=] {
        char buffer[4096];
        // Whatever the peer still sends is no part of the transfer; a bounded
        // amount is read per wake-up so a chatty peer cannot hold the thread.
        for (int round = 0; round < 16; ++round) {
            const ssize_t n = ::recv(watch, buffer, sizeof buffer, MSG_DONTWAIT);
            // A station busy with another one answers with one line and keeps nothing.
            if (n > 0) {
                if (const QString busy = answer->take(QByteArray(buffer, int(n))); !busy.isEmpty()) {
                    finish(QStringLiteral("%1 was refused: %2 answered \"%3\"; it kept nothing.").arg(name, peer, busy),
                           Delivery::Refused);
                    return;
                }
            }
            if (n > 0)
                continue;
            if (n == 0) {
                report(QStringLiteral("Send complete for ") + name, Delivery::Pending);
                finish(QStringLiteral("%1 delivered: %2 took all %3 bytes and closed in order.").arg(name, peer).arg(bytes),
                       Delivery::Taken);
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                finish(QStringLiteral("%1 was not kept by the other station: it reset the connection after the send (%2).")
                           .arg(name, QString::fromLocal8Bit(std::strerror(errno))),
                       Delivery::Refused);
            }
            return;
        }
    });
    QObject::connect(limit, &QTimer::timeout, owner, [=] {
        finish(QStringLiteral("%1: the other station did not close within %2 seconds; it may not have kept the file.")
                   .arg(name)
                   .arg(limitMs / 1000.0),
               Delivery::Unanswered);
    });
    limit->start(limitMs);
#else
    Q_UNUSED(owner);
    Q_UNUSED(peer);
    Q_UNUSED(bytes);
    Q_UNUSED(limitMs);
    closeDescriptor(watch);
    report(QStringLiteral("Send complete for ") + name, Delivery::Taken);
#endif
}

} // namespace SocketDescriptor
