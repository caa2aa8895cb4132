#include "LinkState.h"

namespace LinkState {

SocketPhase phaseOf(QAbstractSocket::SocketState state)
{
    switch (state) {
    case QAbstractSocket::UnconnectedState: return SocketPhase::Closed;
    case QAbstractSocket::HostLookupState: return SocketPhase::Resolving;
    case QAbstractSocket::ConnectingState: return SocketPhase::Connecting;
    case QAbstractSocket::ConnectedState: return SocketPhase::Connected;
    case QAbstractSocket::BoundState: return SocketPhase::Bound;
    case QAbstractSocket::ClosingState: return SocketPhase::Closing;
    case QAbstractSocket::ListeningState: return SocketPhase::Listening;
    }
    return SocketPhase::Closed;
}

int statusNumber(SocketPhase phase)
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

int statusNumber(SendMode mode)
{
    switch (mode) {
    case SendMode::Idle: return 0;
    case SendMode::File: return 1;
    case SendMode::Mail: return 2;
    case SendMode::Chat: return 3;
    }
    return 0;
}

QString stateName(SocketPhase phase)
{
    switch (phase) {
    case SocketPhase::Closed: return QStringLiteral("CLOSED");
    case SocketPhase::Listening: return QStringLiteral("LISTENING");
    case SocketPhase::Connected: return QStringLiteral("CONNECTED");
    case SocketPhase::Closing: return QStringLiteral("CLOSING");
    default: return QStringLiteral("State=") + QString::number(statusNumber(phase));
    }
}

} // namespace LinkState
