#pragma once

#include <QStringList>

/// The platform's table of TCP sockets, one line per socket in the form
/// SocketTable gives (protocol, local, remote, state).
class SocketList
{
public:
    virtual ~SocketList() = default;
    /// Fills lines with every socket. False, with the reason in words
    /// (what could not be read and the system's description), when the
    /// table cannot be read; lines then hold nothing.
    virtual bool read(QStringList &lines, QString &failure) = 0;
};
