#pragma once

#include "PortalOutcome.h"

#include <QStringList>

/// The platform's table of TCP sockets, one line per socket in the form
/// SocketTable gives (protocol, local, remote, state).
class SocketList
{
public:
    virtual ~SocketList() = default;
    /// Fills lines with every socket. When the table cannot be read the
    /// failure says what and the system's description; lines then hold nothing.
    virtual PortalOutcome read(QStringList &lines) = 0;
};
