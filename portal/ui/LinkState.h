#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QString>

/// The data link's state as the status lines number and name it.
namespace LinkState {
Q_NAMESPACE

/// The socket's phase; the status lines show it as a number (statusNumber).
enum class SocketPhase { Closed, Bound, Listening, Resolving, Connecting, Connected, Closing };
Q_ENUM_NS(SocketPhase)
/// What the current (or the next) connection is for.
enum class SendMode { Idle, File, Mail, Chat };
Q_ENUM_NS(SendMode)

/// The phase of a connection in this socket state.
SocketPhase phaseOf(QAbstractSocket::SocketState state);
/// The numbers of the status lines: 0 closed, 1 bound, 2 listening,
/// 4 resolving, 6 connecting, 7 connected, 8 closing.
int statusNumber(SocketPhase phase);
/// The numbers of the status lines: 0 idle, 1 file, 2 mail, 3 chat.
int statusNumber(SendMode mode);
QString stateName(SocketPhase phase);

} // namespace LinkState
