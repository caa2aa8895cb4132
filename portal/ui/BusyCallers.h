#pragma once

#include "AgwFrame.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>

#include <functional>

/// Radio callers that reach the station while it is in a session: each is
/// told in one line that the station is busy, then disconnected once the
/// modem program has that line confirmed (or after a time limit), since a
/// disconnect asked for at once may drop the line still queued in the modem.
class BusyCallers
{
public:
    /// Callers told at once, at most; one more is disconnected without a word.
    static constexpr int limit = 8;
    using Send = std::function<void(const AgwFrame &frame)>;

    explicit BusyCallers(Send send)
        : m_send(std::move(send))
    {
    }

    /// Turns away the caller of this connect notice; `own` is this station's
    /// callsign, `busyWith` the station of the session in progress.
    void turnAway(const AgwFrame &notice, const QByteArray &own, const QByteArray &busyWith);
    bool contains(const QByteArray &call) const { return m_callers.contains(call); }
    int size() const { return int(m_callers.size()); }
    /// The modem's count of unconfirmed frames to a station: true when the
    /// station is a busy caller (a count of 0 ends its session).
    bool onCount(const AgwFrame &frame, const QByteArray &own);
    /// The caller hung up by itself; true when it was one of these.
    bool forget(const QByteArray &call) { return m_callers.remove(call); }
    /// Asks the modem about every caller; one waiting past limitMs is disconnected.
    void poll(const QByteArray &own, int limitMs);
    /// Disconnects every caller still waiting.
    void disconnectAll(const QByteArray &own);
    /// Forgets every caller: their sessions ended with the modem program.
    void clear() { m_callers.clear(); }

private:
    Send m_send;
    QHash<QByteArray, QElapsedTimer> m_callers;
};
