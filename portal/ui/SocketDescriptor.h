#pragma once

#include "PortalSetup.h"

#include <QHostAddress>
#include <QString>

#include <functional>

class QObject;

class QTcpSocket;

/// What the data link asks of the operating system below Qt's sockets:
/// how a peer ended, reset on close, keep-alive, raw descriptors.
namespace SocketDescriptor {

/// How the peer ended a connection, as the kernel saw it.
enum class PeerEnd { Orderly, Reset, Unknown };

struct PeerEnding
{
    PeerEnd end = PeerEnd::Unknown;
    QString cause; ///< a reset's cause in words; empty otherwise
};

/// Asks the kernel through the second descriptor `watch`.
PeerEnding peerEnd(int watch);
/// A second descriptor of the socket's connection (-1 when there is none).
int watchOf(const QTcpSocket *socket);
void closeDescriptor(qintptr descriptor);
/// With reset on, closing the socket sends a reset instead of an orderly end.
void setResetOnClose(const QTcpSocket *socket, bool reset);
/// Keep-alive probes with the setup's times.
void setKeepAlive(const QTcpSocket *socket, const PortalSetup &setup);
/// The peer of an accepted descriptor not yet wrapped in a socket.
QHostAddress peerOfDescriptor(qintptr descriptor);
/// How the data link lets go of a connection.
enum class Ending {
    Graceful, ///< an orderly close once what is queued reached the peer
    Abort,    ///< closed at once, queued bytes dropped
    Reset,    ///< closed with a reset: the peer keeps nothing of a transfer
};
/// Ends the connection of a socket nobody listens to any more and lets the
/// socket go; a graceful end of a socket with bytes queued waits for them,
/// but never longer than a peer that stops reading allows.
void endConnection(QTcpSocket *socket, Ending how);

/// What a report of watchDelivery says of the file.
enum class Delivery {
    Pending,    ///< a line on the way; the verdict follows
    Taken,      ///< the peer closed in order: it took the file whole
    Refused,    ///< the peer reset the connection: it did not keep the file
    Unanswered, ///< the peer did not close in time: nobody knows
};

/// After a send ended with our close: waits (at most limitMs) for the peer's
/// own close on the second descriptor `watch` and reports in words whether it
/// took the file whole; the last report carries the verdict. Takes the
/// descriptor over; owner keeps the watch alive.
void watchDelivery(QObject *owner, int watch, const QString &name, const QString &peer, qint64 bytes, int limitMs,
                   const std::function<void(const QString &line, Delivery delivery)> &report);

} // namespace SocketDescriptor
