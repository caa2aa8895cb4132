#pragma once

#include "PortalSetup.h"

#include <QHostAddress>
#include <QString>

class QTcpSocket;

/// What the data link asks of the operating system below Qt's sockets:
/// how a peer ended, reset on close, keep-alive, raw descriptors.
namespace SocketDescriptor {

/// How the peer ended a connection, as the kernel saw it.
enum class PeerEnd { Orderly, Reset, Unknown };

/// Asks the kernel through the second descriptor `watch`; a reset's cause goes to *why.
PeerEnd peerEnd(int watch, QString *why);
/// A second descriptor of the socket's connection (-1 when there is none).
int watchOf(const QTcpSocket *socket);
void closeDescriptor(qintptr descriptor);
/// With reset on, closing the socket sends a reset instead of an orderly end.
void setResetOnClose(const QTcpSocket *socket, bool reset);
/// Keep-alive probes with the setup's times.
void setKeepAlive(const QTcpSocket *socket, const PortalSetup &setup);
/// The peer of an accepted descriptor not yet wrapped in a socket.
QHostAddress peerOfDescriptor(qintptr descriptor);

} // namespace SocketDescriptor
