#pragma once

#include <QObject>
#include <QTimer>

class QTcpSocket;

/// The modem command link "Winsockwho": a telnet-style console on the NPR
/// modem. Sends an empty line on connect, each command with CR LF and
/// Ctrl-C before closing; shows only the readable lines of what comes back.
class ModemLink : public QObject
{
    Q_OBJECT
public:
    ModemLink(const QString &address, quint16 port, int connectTimeoutMs, QObject *parent = nullptr);
    ~ModemLink() override;

    bool connected() const;
    void connectToModem();
    /// Sends the trimmed command with CR LF; false when not connected or the command is empty.
    bool sendCommand(const QString &command);
    void endConnection();

signals:
    /// A line for the bottom of the connection-status box.
    void lineShown(const QString &line);

private:
    void dropSocket();
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();

    QString m_address;
    quint16 m_port;
    QTcpSocket *m_socket = nullptr;
    QTimer m_connectTimer;
};
