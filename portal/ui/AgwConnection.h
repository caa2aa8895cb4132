#pragma once

#include "AgwFrame.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

/// The radio link's connection to the modem program's AGW port and the
/// registration of its callsign there: tries again while the modem program
/// does not answer, says once why it is not there, and hands every frame
/// about sessions on.
class AgwConnection : public QObject
{
    Q_OBJECT
public:
    explicit AgwConnection(QObject *parent = nullptr);
    ~AgwConnection() override;

    /// Where the modem program is and the callsign to register; forgets the
    /// last failure. Nothing is dialled yet.
    void aim(const QString &host, quint16 port, const QByteArray &call, int retryMs);
    /// Connects and registers; keeps trying every retry interval while the
    /// modem program does not answer.
    void open();
    /// Gives the callsign up and closes the connection without a line; no more tries.
    void close();

    bool registered() const { return m_registered; }
    const QByteArray &call() const { return m_call; }
    const QString &host() const { return m_host; }
    quint16 port() const { return m_port; }
    /// Why the modem program is not there, as last said; empty when nothing failed.
    const QString &lastFailure() const { return m_lastFailure; }
    /// Writes the frame while connected; drops it otherwise.
    void send(const AgwFrame &frame);

signals:
    /// A line for the connection status box.
    void statusLine(const QString &line);
    /// The callsign is registered: calls to it arrive.
    void ready();
    /// The modem program is gone, and every session with it; said before the line about it.
    void lost();
    /// A frame about sessions: connects, data, counts, disconnects, own frames.
    void frameArrived(const AgwFrame &frame);

private:
    void connectToModem();
    void onConnected();
    void onBytes();
    void onClosed();
    void onError();
    void gone(const QString &why);
    void closeQuietly();
    /// Version and registration answers; false for any other frame.
    bool answer(const AgwFrame &frame);

    QTcpSocket m_socket;
    AgwParser m_parser;
    QString m_host;
    quint16 m_port = 0;
    QByteArray m_call;
    bool m_registered = false;
    bool m_wanted = false;
    QString m_lastFailure;
    QTimer m_retry;
};
