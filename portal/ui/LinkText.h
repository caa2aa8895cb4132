#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QString>

class QTcpServer;

/// The wording of the data link's status lines that depends on no state of
/// its own: error numbers, flags, addresses, a listener's failure.
namespace LinkText {

/// "True" or "False", as the status lines show a flag.
QString word(bool flag);
/// The number the operator knows from Windows sockets for a socket error.
int errorNumber(QAbstractSocket::SocketError error);
/// " (NN%)" of part in whole; empty when the whole is unknown.
QString percent(qint64 part, qint64 whole);
/// An address as the operator knows it: IPv4 addresses without the "::ffff:" form.
QString addressText(const QHostAddress &address);
/// The station's own address for a listener bound to every address.
QString ownAddress();
/// Why the listener on `port` does not listen, and what still works.
QString listenFailure(quint16 port, const QTcpServer &server);

} // namespace LinkText
