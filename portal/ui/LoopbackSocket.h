#pragma once

#include "PortalOutcome.h"

#include <QString>

/// Raw loopback sockets for the radio link: the port the data link dials
/// and the connection pairs incoming sessions travel on.
namespace LoopbackSocket {

/// The operating system's words for an errno value.
QString systemError(int error);

/// Closes with a reset: the data link never takes a session that ended any
/// other way for one that ended in order.
void closeWithReset(int fd);

struct Listener
{
    int fd = -1;
    quint16 port = 0;
};

/// A non-blocking listening socket on a free loopback port, or the reason there is none.
PortalResult<Listener> listener(int backlog);

/// Two ends of one loopback TCP connection: the data link takes one as an
/// accepted call, the radio link keeps the other (non-blocking).
struct Pair
{
    int ours = -1;
    int theirs = -1;
};

PortalResult<Pair> pair();

} // namespace LoopbackSocket
