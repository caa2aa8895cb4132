#include "LinkText.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkInterface>
#include <QTcpServer>

namespace LinkText {

QString word(bool flag)
{
    return flag ? QStringLiteral("True") : QStringLiteral("False");
}

int errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::NetworkError: return 10050;
    default: return 10000 + static_cast<int>(error);
    }
}

QString percent(qint64 part, qint64 whole)
{
    return whole > 0 ? QStringLiteral(" (%1%)").arg(part * 100 / whole) : QString();
}

QString addressText(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

QString ownAddress()
{
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return QStringLiteral("127.0.0.1");
}

QString listenFailure(quint16 port, const QTcpServer &server)
{
    QString why = QStringLiteral("Not listening on port %1: %2.").arg(port).arg(server.errorString());
    if (server.serverError() == QAbstractSocket::SocketAccessError) {
        why += QStringLiteral(" Ports below 1024 need privileges: run tavrixportal as root, or allow it once with"
                              " \"sudo setcap cap_net_bind_service=+ep %1\".")
                   .arg(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
    } else if (server.serverError() == QAbstractSocket::AddressInUseError) {
        why += QStringLiteral(" Another program uses the port; Check Port Status shows it.");
    }
    return why + QStringLiteral(" Sending and chat still work.");
}

} // namespace LinkText
