#pragma once

#include <QStringList>

class QIODevice;

/// The platform's list of TCP sockets, one line per socket in the manner of
/// "netstat -ano": protocol, local address:port, remote address:port, state.
namespace SocketTable {

/// Lines of a Linux socket table (the form of /proc/net/tcp and /proc/net/tcp6).
QStringList read(QIODevice &table);

/// The lines whose local or remote port field begins with the port's digits,
/// i.e. the field holds ":" directly followed by them (":23" also matches :2300).
QStringList usingPort(const QStringList &lines, quint16 port);

} // namespace SocketTable
