#pragma once

#include "PortalSetup.h"
#include "ReceiveMachine.h"

#include <QFile>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;
class Speaker;

/// The data socket "Winsock1": listening, sending the newest outbox file,
/// receiving transfers and carrying chat lines, one connection at a time.
/// It reports everything it does as status lines for the window's boxes.
class DataLink : public QObject
{
    Q_OBJECT
public:
    enum SendMode { Idle = 0, FileSend = 1, MailSend = 2, Chat = 3 };

    DataLink(const PortalSetup &setup, Speaker &speaker, QObject *parent = nullptr);
    ~DataLink() override;

    /// The state numbers of the status lines: 0 closed, 2 listening,
    /// 4 resolving, 6 connecting, 7 connected, 8 closing.
    int state() const;
    static QString stateName(int state);

    int sendMode() const { return m_sendMode; }
    bool chatModeActive() const { return m_chatModeActive; }
    QString sendFileName() const { return m_sendFileName; }
    QString remoteHost() const { return m_remoteHost; }
    /// The port listened on (the one chosen when the setup asked for any).
    quint16 listenPort() const { return m_listenPort; }
    bool isListening() const { return m_server.isListening(); }

    void StartListening();
    void ResetReceiveState();
    void SendNewestOutboxFile(const QString &remoteHost);

    void chatConnect(const QString &remoteHost);
    void reconnect(const QString &remoteHost);
    /// Sends one chat line when a chat connection is confirmed; false otherwise.
    bool sendChat(const QString &message);
    void endChat();

signals:
    void connectionStatusCleared();
    void connectionStatusAdded(const QString &line);
    void connectionStatusPrepended(const QString &line);
    void sendStatusCleared();
    void sendStatusAdded(const QString &line);
    void sendStatusAppended(const QString &line);
    void chatReceived(const QString &text);
    void remoteEndedChat();

private:
    void LogSocketStatus();
    QString localIp() const;
    quint16 localPort() const;
    QString listenFailure() const;
    void connectToPeer();
    void adopt(QTcpSocket *socket);
    void dropSocket(bool graceful = true);
    void closeAndListen();
    void listenAgain();

    void onConnectionRequest();
    void onConnected();
    void onReadyRead();
    void onBytesWritten();
    void onPeerClosed();
    void onSocketError();
    void onConnectTimeout();
    void handle(const QList<ReceiveMachine::Event> &events);
    void remoteEndOfChat();
    void pumpFile();
    void sendComplete();
    void finishReceiveFile();

    PortalSetup m_setup;
    Speaker &m_speaker;
    quint16 m_listenPort;
    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QTimer m_connectTimer;
    ReceiveMachine m_machine;
    QFile m_outFile;
    bool m_transferInFlight = false;
    int m_sendMode = Idle;
    bool m_chatModeActive = false;
    QString m_sendFileName;
    QString m_remoteHost;
};
