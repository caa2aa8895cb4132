#pragma once

#include <QString>

/// Where the portal listens, whom it dials and which folders it uses.
/// The program passes the fixed values; tests pass free loopback ports and
/// folders of their own.
struct PortalSetup
{
    quint16 listenPort = 23;       ///< 0 picks a free port at the first listen and keeps it
    quint16 peerPort = 23;         ///< the port dialled on the peer station
    QString modemAddress = QStringLiteral("192.168.0.253");
    quint16 modemPort = 23;
    QString sendDirectory;            ///< the outbox, read for "Send Packet Mail  Message"
    QString receiveDirectory;         ///< where received files land
    QString programDirectory;         ///< station list and sound setting files
    QString deskTitle = QStringLiteral("VARUVO DARE1");
    int connectTimeoutMs = 30000;  ///< an outgoing connection not made by then is given up
};
