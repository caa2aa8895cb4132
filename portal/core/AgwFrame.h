#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// One frame of the AGW network protocol a sound-card modem program speaks
/// on its TCP port: a 36-byte header (radio port, kind letter, PID, the two
/// callsigns, the data length and a user word, all little-endian) and the data.
struct AgwFrame
{
    static constexpr int headerSize = 36;
    /// A callsign field holds at most this many characters before its NUL.
    static constexpr int callSize = 10;

    quint8 port = 0;
    char kind = 0;
    quint8 pid = 0;
    QByteArray callFrom;
    QByteArray callTo;
    quint32 user = 0;
    QByteArray data;

    /// The frame as it goes on the wire. A callsign longer than its field is
    /// cut to fit; the builders below take any call as given, so a caller
    /// checks it with isCallsign() first (a cut call would reach another station).
    QByteArray encode() const;

    /// Kind 'R': asks for the modem program's version.
    static AgwFrame version();
    /// Kind 'X': registers the callsign so connections to it reach us.
    static AgwFrame registerCall(const QByteArray &call);
    /// Kind 'x': gives the callsign up again.
    static AgwFrame unregisterCall(const QByteArray &call);
    /// Kind 'G': asks for the radio ports.
    static AgwFrame ports();
    /// Kind 'm': switches the monitoring of frames on or off ('T' reports our own).
    static AgwFrame monitor();
    /// Kind 'C': opens a connected session from one call to another.
    static AgwFrame connectTo(quint8 port, const QByteArray &from, const QByteArray &to);
    /// Kind 'D': data on an open session.
    static AgwFrame sessionData(quint8 port, const QByteArray &from, const QByteArray &to, const QByteArray &data);
    /// Kind 'd': ends a session.
    static AgwFrame disconnect(quint8 port, const QByteArray &from, const QByteArray &to);
    /// Kind 'Y': asks how many frames of a session wait for acknowledgement.
    static AgwFrame outstanding(quint8 port, const QByteArray &from, const QByteArray &to);

    /// True when the text can stand as an AX.25 callsign: 1 to 6 letters or
    /// digits, optionally "-" and an SSID of 0 to 15.
    static bool isCallsign(const QString &text);
    /// A little-endian number from the data of a 'Y' or 'y' answer; -1 when it holds none.
    qint64 number() const;
};

/// Turns the bytes of an AGW connection into frames, however the network
/// splits them. The protocol has no mark to find a header again, so a header
/// that cannot be one (an unknown kind, reserved bytes set, a data length
/// past the limit) stops the parser for good: the caller closes the
/// connection and shows failure(), which says what was wrong.
class AgwParser
{
public:
    /// No frame a modem program sends legitimately comes near this.
    static constexpr quint32 defaultDataLimit = 64 * 1024;

    explicit AgwParser(quint32 dataLimit = defaultDataLimit) : m_dataLimit(dataLimit) {}

    /// Frames complete with these bytes, in order. At a failure the frames
    /// before it are still returned; after it nothing more is taken.
    QList<AgwFrame> feed(const QByteArray &bytes);
    bool failed() const { return !m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    /// Bytes held for a frame not yet complete.
    qsizetype pending() const { return m_buffer.size(); }
    void reset();

private:
    bool checkHeader();

    quint32 m_dataLimit;
    QByteArray m_buffer;
    QString m_failure;
};
