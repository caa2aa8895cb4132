#pragma once

#include "CallQueue.h"
#include "LinkState.h"
#include "OutgoingSend.h"
#include "PortalOutcome.h"
#include "PortalSetup.h"
#include "ReceiveSide.h"
#include "SocketDescriptor.h"
#include "TransferLog.h"
#include "Wire.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <functional>

class QTcpSocket;
class Speaker;

/// The data socket "Winsock1": listening, sending the newest outbox file,
/// receiving transfers and carrying chat lines, one connection at a time.
/// It reports everything it does as status lines for the window's boxes.
/// It coordinates: the calls that wait, the sending half and the receiving
/// half are classes of their own; the connection and its timers are kept here.
///
/// Connections that arrive while one is served wait in a queue (the kernel
/// keeps their bytes) and are served in turn; none is accepted and dropped.
/// A received file gets its final name only when the peer closes in order;
/// a reset, a time limit or a local end throws the part away.
class DataLink : public QObject
{
    Q_OBJECT
public:
    using SocketPhase = LinkState::SocketPhase;
    using SendMode = LinkState::SendMode;
    /// Asks the operator a Yes/No question; true for Yes.
    using Confirm = OutgoingSend::Confirm;

    /// At most this many connections wait while one is served; the kernel's
    /// backlog holds the next ones.
    static constexpr int waitingLimit = CallQueue::waitingLimit;

    DataLink(const PortalSetup &setup, Speaker &speaker, QObject *parent = nullptr);
    ~DataLink() override;

    SocketPhase state() const;
    static int statusNumber(SocketPhase phase) { return LinkState::statusNumber(phase); }
    static int statusNumber(SendMode mode) { return LinkState::statusNumber(mode); }
    static QString stateName(SocketPhase phase) { return LinkState::stateName(phase); }

    SendMode sendMode() const { return m_sendMode; }
    /// A chat connection is confirmed and open.
    bool chatModeActive() const { return m_carrying == Carrying::Chat; }
    QString sendFileName() const { return m_send.name(); }
    QString remoteHost() const { return m_remoteHost; }
    /// The port listened on (the one chosen when the setup asked for any).
    quint16 listenPort() const { return m_listenPort; }
    bool isListening() const { return m_calls.isListening(); }
    /// Connections accepted by the system that wait for the current one to end.
    int waitingConnections() const { return m_calls.size(); }

    /// True while a transfer goes out or comes in; chat lines are not sent then.
    bool transferInProgress() const;
    /// True while a send is connecting, going out, or waiting for the other
    /// station to confirm it; a retry waits until it is false.
    bool sendBusy() const;
    /// Sends the file of a logged send that did not complete once more, to
    /// the same station; refused with the reason while busy or when the file changed.
    PortalOutcome retrySend(const TransferRecord &record);
    /// Breaks off the transfer in progress: the peer sees the connection
    /// reset (never a clean close), a part file is thrown away.
    void abortTransfer();

    /// How the link asks before sending a file the other station will not keep.
    /// Without one, such a file is not sent.
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }

    /// Where a call goes: the address and port dialled, and the name the
    /// status lines give the other station (empty: its address).
    struct Route
    {
        QString host;
        quint16 port = 0;
        QString label;
        /// How long the other station may take to confirm a send after the
        /// last byte left here (0: the transfer idle limit). A slow link
        /// that still has most of the file in its own queue needs longer.
        int deliveryLimitMs = 0;
    };
    /// Turns the station the operator named into where to dial; without one
    /// the station is dialled at the peer port. Another link (the radio)
    /// routes its calls through a loopback port of its own.
    void setRouter(std::function<Route(const QString &remoteHost)> router) { m_router = std::move(router); }
    /// Serves a connection another link accepted (a descriptor, now ours) as
    /// a call from the named station, in turn with the calls that wait.
    void takeCall(qintptr descriptor, const QString &label);

    /// Opens the listener, or lets the waiting calls in again; false, said in
    /// the status box, when the port cannot be opened.
    bool StartListening();
    void ResetReceiveState();
    void SendNewestOutboxFile(const QString &remoteHost);

    void chatConnect(const QString &remoteHost);
    void reconnect(const QString &remoteHost);
    /// Sends one chat line when a chat connection is confirmed and no transfer
    /// is in progress; false otherwise (nothing sent).
    bool sendChat(const QString &message);
    void endChat();

    /// An address as the operator knows it: IPv4 addresses without the "::ffff:" form.
    static QString addressText(const QHostAddress &address);

signals:
    void connectionStatusCleared();
    void connectionStatusAdded(const QString &line);
    void connectionStatusPrepended(const QString &line);
    void sendStatusCleared();
    void sendStatusAdded(const QString &line);
    void sendStatusAppended(const QString &line);
    void chatReceived(const QString &text);
    void remoteEndedChat();
    /// A send of the newest outbox file ended the open chat connection.
    void chatEndedBySend();
    /// A transfer either way ended, completed or not: the line for the transfer log.
    void transferEnded(const TransferRecord &record);

private:
    using Close = SocketDescriptor::Ending;
    /// What the open connection carries: a confirmed chat, or a file going
    /// out that has not all been handed to the network. Never both.
    enum class Carrying { Nothing, Chat, Transfer };
    /// Ends the chat or the transfer state, leaving the other as it is.
    void stopCarrying(Carrying what);

    void LogSocketStatus();
    QString localIp() const;
    quint16 localPort() const;
    QString peerText() const;
    void connectToPeer();
    void adopt(QTcpSocket *socket);
    void dropSocket(Close how = Close::Graceful);
    void closeAndListen();
    void listenAgain();
    bool endLocally(const QString &why);
    void breakOffReceive(const QString &why);

    void onIncoming(qintptr descriptor);
    void serveNext();
    void onConnectionRequest(qintptr descriptor, const QString &label);
    void onConnected();
    void onReadyRead();
    bool turnedAwayBusy(const QByteArray &bytes);
    void onBytesWritten(qint64 bytes);
    void onPeerClosed();
    void onSocketError();
    void onConnectTimeout();
    void onFirstLineTimeout();
    void onIdleTimeout();
    void handle(const QList<ReceiveMachine::Event> &events);
    void remoteEndOfChat();
    void pumpFile();
    void sendComplete();
    void finishReceiveFile(bool endKnown);
    void sendOutboxFile(const QString &remoteHost, const QString &name, const TransferRecord *retryOf);
    void startSending();
    TransferRecord sentRecord(TransferRecord::Result result, const QString &detail) const;
    void dropPendingSend(const QString &why);
    void reportProgress(bool sending);

    PortalSetup m_setup;
    Speaker &m_speaker;
    quint16 m_listenPort;
    CallQueue m_calls;
    QTcpSocket *m_socket = nullptr;
    int m_watch = -1; ///< a second descriptor of the connection: the kernel's view of how it ended
    QHostAddress m_peer;
    QTimer m_connectTimer;
    QTimer m_firstLineTimer;
    QTimer m_idleTimer;
    ReceiveSide m_receive;
    ReceiveMachine &m_machine; ///< the receiving half's machine, used at every arrival
    OutgoingSend m_send;
    QElapsedTimer m_progressClock;
    qint64 m_nextProgressMs = 0;
    Carrying m_carrying = Carrying::Nothing;
    SendMode m_sendMode = SendMode::Idle;
    QString m_remoteHost;
    Wire::BusyWatch m_answer; ///< the first bytes the called station sent on a send's connection
    Confirm m_confirm;
    std::function<Route(const QString &remoteHost)> m_router;
    QString m_peerLabel;       ///< the other station's name when its address says nothing
    int m_deliveryLimitMs = 0; ///< from the route of the current call; 0 for the idle limit
};
