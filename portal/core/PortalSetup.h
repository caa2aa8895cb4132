#pragma once

#include <QString>

/// Where the portal listens, whom it dials and which folders it uses.
/// The defaults are the program's fixed values (written here only); the
/// program fills in the folders, tests pass free loopback ports and folders
/// of their own, and short limits.
struct PortalSetup
{
    /// An accepted connection must complete its first line (a transfer header
    /// or a chat line) within this time, or it is closed: a silent or
    /// one-byte-a-second peer never keeps the portal from serving others.
    static constexpr int firstLineLimitMs = 60 * 1000;
    /// A transfer (either way) that moves no byte for this long is broken off.
    static constexpr int transferIdleLimitMs = 120 * 1000;
    /// TCP keep-alive on every connection: a peer whose network vanished is
    /// noticed after idle + interval * count seconds (90 s), chat included.
    static constexpr int keepAliveIdleLimitS = 30;
    static constexpr int keepAliveIntervalLimitS = 10;
    static constexpr int keepAliveCountLimit = 6;

    quint16 listenPort = 23;       ///< 0 picks a free port at the first listen and keeps it
    quint16 peerPort = 23;         ///< the port dialled on the peer station
    QString modemAddress = QStringLiteral("192.168.0.253");
    quint16 modemPort = 23;
    QString sendDirectory;            ///< the outbox, read for "Send Packet Mail  Message"
    QString receiveDirectory;         ///< where received files land
    QString programDirectory;         ///< station list and sound setting files
    QString deskTitle = QStringLiteral("VARUVO DARE1");
    int connectTimeoutMs = 30000;  ///< an outgoing connection not made by then is given up
    int firstLineTimeoutMs = firstLineLimitMs;
    int transferIdleTimeoutMs = transferIdleLimitMs;
    int keepAliveIdleS = keepAliveIdleLimitS;
    int keepAliveIntervalS = keepAliveIntervalLimitS;
    int keepAliveCount = keepAliveCountLimit;
};
