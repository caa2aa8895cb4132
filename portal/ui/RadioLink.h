#pragma once

#include "AgwConnection.h"
#include "AgwFrame.h"
#include "BusyCallers.h"
#include "PortalOutcome.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;
class RadioSession;

/// The radio link: AX.25 connected sessions through a sound-card modem
/// program's AGW port, carried to the data link as loopback TCP
/// connections. The data link keeps its one logic for both links: it dials
/// the port this link names and gets incoming sessions as accepted
/// connections, and how a session ends becomes how the connection ends:
/// an orderly disconnect after every frame was acknowledged is a clean close,
/// anything else (a dead modem program, retries run out, a station that
/// answered it is busy) a reset.
/// One session at a time, as on the IP link.
class RadioLink : public QObject
{
    Q_OBJECT
public:
    /// Bytes per frame: the modem program's default AX.25 frame length.
    static constexpr int frameBytes = 256;
    /// Frames handed to the modem and not yet acknowledged, at most.
    static constexpr int window = 7;
    /// Bytes from the other station waiting for the data link, at most.
    static constexpr qsizetype localBacklogLimit = 1024 * 1024;
    /// The longest a send may wait for the other station's confirmation
    /// after the data link handed over its last byte: the modem program's
    /// queue drains at about 100 bytes a second.
    static constexpr int deliveryLimitMs = 60 * 60 * 1000;
    /// Callers told at once that the station is busy, at most; one more is
    /// disconnected without a word.
    static constexpr int busyCallersLimit = BusyCallers::limit;

    /// Hands an incoming session's connection (a socket descriptor) to the
    /// data link, with the caller's callsign.
    using HandOver = std::function<void(qintptr descriptor, const QString &caller)>;

    explicit RadioLink(QObject *parent = nullptr);
    ~RadioLink() override;

    void setHandOver(HandOver handOver) { m_handOver = std::move(handOver); }
    /// Connects to the modem program and registers the callsign; keeps trying
    /// every retryMs while the modem program does not answer.
    void start(const QString &host, quint16 port, const QString &callsign, int retryMs = 10000);
    /// Gives the callsign up, breaks off a session and closes the AGW connection.
    void stop();

    bool registered() const { return m_agw.registered(); }
    bool sessionOpen() const { return bool(m_session); }
    QString callsign() const { return QString::fromLatin1(m_agw.call()); }
    /// The next connection to dialPort() opens a session to this callsign.
    /// A failure with the reason when the link cannot call now.
    PortalOutcome arm(const QString &remote);
    quint16 dialPort() const { return m_dialPort; }
    /// A session whose frames wait this long with none confirmed (or a call
    /// that long unanswered) is given up: a modem program that hangs never
    /// holds a send or the link.
    void setStallLimit(int ms) { m_stallLimitMs = ms; }
    /// Frames the modem sent again on the current or last session.
    int retries() const;
    /// Callers being told the station is busy, whose sessions are not yet ended.
    int busyCallers() const { return m_busyCallers.size(); }

    /// The callsign a station list entry ("N0CALL-192.168.0.5", "N0CALL-2-10.0.0.9")
    /// or a station ID starts with, in capitals; empty when it starts with none.
    static QString callsignOf(const QString &entry);

signals:
    /// A line for the connection status box.
    void statusLine(const QString &line);
    /// A line for the send status box.
    void sendStatusLine(const QString &line);

private:
    void send(const AgwFrame &frame) { m_agw.send(frame); }
    void onModemLost();
    void handle(const AgwFrame &frame);
    void onConnectNotice(const AgwFrame &frame);
    void onDisconnectNotice(const AgwFrame &frame);
    void onSessionData(const AgwFrame &frame);
    void onOutstanding(const AgwFrame &frame);
    void onOwnFrame(const AgwFrame &frame);

    PortalOutcome openDialListener();
    void onDial();
    void openSession(const QByteArray &remote, bool outgoing, int fd);
    void watchLocal(bool readable);
    void onLocalReadable();
    void onLocalWritable();
    void pump();
    void flushToLocal();
    void askOutstanding();
    void hangUp();
    void poll();
    void endSession(bool orderly, const QString &line);
    void reportProgress(bool force);

    AgwConnection m_agw;
    QTimer m_poll;
    HandOver m_handOver;

    int m_dialFd = -1;
    quint16 m_dialPort = 0;
    QSocketNotifier *m_dialNotifier = nullptr;
    QByteArray m_armed;

    std::unique_ptr<RadioSession> m_session;
    /// Callers that got the busy line, disconnected after the stall limit at the latest.
    BusyCallers m_busyCallers{[this](const AgwFrame &frame) { send(frame); }};
    int m_lastRetries = 0;
    int m_stallLimitMs = 120 * 1000;
};
