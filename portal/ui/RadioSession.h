#pragma once

#include "Wire.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <optional>

class QSocketNotifier;

/// One AX.25 session of the radio link, in or out: what was handed to the
/// modem and confirmed, what came in, how its end reads, and the lines that
/// say so. The link moves the bytes; this keeps their account.
class RadioSession
{
    // Its lines are the radio link's words, in the radio link's translation context.
    Q_DECLARE_TR_FUNCTIONS(RadioLink)
public:
    /// A progress line at most this often.
    static constexpr qint64 progressEveryMs = 5000;

    RadioSession(const QByteArray &remote, bool outgoing);

    QString remoteText() const { return QString::fromLatin1(remote); }
    qint64 elapsedMs() const { return clock.elapsed(); }
    /// Frames the modem sent again: repeated data frames and repeated connects.
    int retries() const;

    /// A frame of `bytes` given to the modem.
    void handed(qint64 bytes);
    /// The modem's count of our frames still unconfirmed: the older ones are confirmed.
    void unconfirmed(qint64 count);
    /// Every byte the data link gave is confirmed after its own end.
    bool allConfirmed() const { return localEnded && inFlight.isEmpty(); }
    /// The modem's report of a frame it sent to the other station; true
    /// when it was one sent again.
    bool ownFrame(const QByteArray &report);
    /// Bytes from the other station; true when, on a call of ours, they
    /// turn out to be its busy line (kept in `busy`).
    bool answered(const QByteArray &data);
    /// Waited longer than limitMs with nothing moving.
    bool stalled(int limitMs) const;

    /// Totals in words, for the line that ends the session.
    QString summary() const;
    /// The progress line due now (or at once when forced); empty when none is.
    std::optional<QString> progress(bool force);
    /// What the modem's disconnect notice (its text) makes of the session.
    struct Ending
    {
        bool orderly = false;
        QString line;
    };
    Ending endOf(const QString &notice) const;

    QByteArray remote;
    bool outgoing = false;
    bool linked = false;         ///< the modem reported the AX.25 session connected
    bool localEnded = false;     ///< the data link closed its side in order
    bool disconnectSent = false; ///< we asked the modem to end the session
    bool waitingCount = false;   ///< a 'Y' question is open
    int fd = -1;
    QSocketNotifier *readable = nullptr;
    QSocketNotifier *writable = nullptr;
    QByteArray toLocal;
    bool closeAfterFlush = false;
    Wire::BusyWatch answer; ///< the first bytes the called station sent
    QString busy;      ///< its busy line when it turned the call away
    QList<int> inFlight; ///< sizes of frames handed to the modem, oldest first
    int outstanding = 0;
    qint64 handedBytes = 0;
    qint64 acknowledged = 0;
    qint64 received = 0;
    int framesHanded = 0;
    int framesSeen = 0; ///< our data frames the modem reported sending
    int connectsSeen = 0;
    QElapsedTimer clock;
    qint64 nextReportMs = progressEveryMs;
    qint64 lastProgressMs = 0; ///< when the session last moved: connected, confirmed, received
};
