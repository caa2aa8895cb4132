#include "AgwFrame.h"

#include <QRegularExpression>

namespace {

void putLittle(QByteArray &out, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = char((value >> (8 * i)) & 0xFF);
}

quint32 little(const QByteArray &in, int at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(in.at(at + i));
    return value;
}

void putCall(QByteArray &out, int at, const QByteArray &call)
{
    const QByteArray kept = call.left(AgwFrame::callSize - 1);
    for (int i = 0; i < kept.size(); ++i)
        out[at + i] = kept.at(i);
}

// A field ends at its first NUL; a field without one holds all ten bytes.
QByteArray callOf(const QByteArray &header, int at)
{
    const QByteArray field = header.mid(at, AgwFrame::callSize);
    const qsizetype end = field.indexOf('\0');
    return end < 0 ? field : field.left(end);
}

AgwFrame frame(char kind, quint8 port, const QByteArray &from, const QByteArray &to, const QByteArray &data = {})
{
    AgwFrame f;
    f.kind = kind;
    f.port = port;
    f.callFrom = from;
    f.callTo = to;
    f.data = data;
    return f;
}

// The kinds of the protocol, both directions; anything else is not a header.
bool knownKind(char kind)
{
    static const QByteArray kinds = QByteArrayLiteral("RXxGgmkKMVCcvDdYyHTUISt");
    return kinds.contains(kind);
}

} // namespace

QByteArray AgwFrame::encode() const
{
    QByteArray out(headerSize, '\0');
    out[0] = char(port);
    out[4] = kind;
    out[6] = char(pid);
    putCall(out, 8, callFrom);
    putCall(out, 18, callTo);
    putLittle(out, 28, quint32(data.size()));
    putLittle(out, 32, user);
    return out + data;
}

AgwFrame AgwFrame::version() { return frame('R', 0, {}, {}); }
AgwFrame AgwFrame::registerCall(const QByteArray &call) { return frame('X', 0, call, {}); }
AgwFrame AgwFrame::unregisterCall(const QByteArray &call) { return frame('x', 0, call, {}); }
AgwFrame AgwFrame::ports() { return frame('G', 0, {}, {}); }
AgwFrame AgwFrame::monitor() { return frame('m', 0, {}, {}); }

AgwFrame AgwFrame::connectTo(quint8 port, const QByteArray &from, const QByteArray &to)
{
    return frame('C', port, from, to);
}

AgwFrame AgwFrame::sessionData(quint8 port, const QByteArray &from, const QByteArray &to, const QByteArray &data)
{
    AgwFrame f = frame('D', port, from, to, data);
    f.pid = 0xF0; // no layer 3: the bytes are the session's own
    return f;
}

AgwFrame AgwFrame::disconnect(quint8 port, const QByteArray &from, const QByteArray &to)
{
    return frame('d', port, from, to);
}

AgwFrame AgwFrame::outstanding(quint8 port, const QByteArray &from, const QByteArray &to)
{
    return frame('Y', port, from, to);
}

bool AgwFrame::isCallsign(const QString &text)
{
    // \z, not $: a dollar also matches before a final line end.
    static const QRegularExpression call(QStringLiteral("^[A-Z0-9]{1,6}(-([0-9]|1[0-5]))?\\z"),
                                         QRegularExpression::CaseInsensitiveOption);
    return call.match(text).hasMatch();
}

qint64 AgwFrame::number() const
{
    if (data.size() < 4)
        return -1;
    return qint64(little(data, 0));
}

void AgwParser::reset()
{
    m_buffer.clear();
    m_failure.clear();
}

bool AgwParser::checkHeader()
{
    const char kind = m_buffer.at(4);
    const quint32 length = little(m_buffer, 28);
    if (!knownKind(kind)) {
        m_failure = QStringLiteral("the modem program sent a frame of unknown kind 0x%1; this is not the AGW protocol "
                                   "(is the host and port that of the modem's AGW port?)")
                        .arg(quint8(kind), 2, 16, QLatin1Char('0'));
    } else if (m_buffer.at(1) || m_buffer.at(2) || m_buffer.at(3) || m_buffer.at(5) || m_buffer.at(7)) {
        m_failure = QStringLiteral("the modem program sent a frame header with reserved bytes set; "
                                   "this is not the AGW protocol");
    } else if (length > m_dataLimit) {
        m_failure = QStringLiteral("the modem program announced a frame of %1 bytes, more than the %2 accepted")
                        .arg(length)
                        .arg(m_dataLimit);
    }
    if (!m_failure.isEmpty())
        m_buffer.clear();
    return m_failure.isEmpty();
}

QList<AgwFrame> AgwParser::feed(const QByteArray &bytes)
{
    QList<AgwFrame> frames;
    if (failed())
        return frames;
    m_buffer.append(bytes);
    qsizetype at = 0;
    while (m_buffer.size() - at >= AgwFrame::headerSize) {
        if (at > 0) {
            m_buffer.remove(0, at);
            at = 0;
        }
        if (!checkHeader())
            return frames;
        const quint32 length = little(m_buffer, 28);
        if (quint64(m_buffer.size()) < quint64(AgwFrame::headerSize) + length)
            break;
        AgwFrame f;
        f.port = quint8(m_buffer.at(0));
        f.kind = m_buffer.at(4);
        f.pid = quint8(m_buffer.at(6));
        f.callFrom = callOf(m_buffer, 8);
        f.callTo = callOf(m_buffer, 18);
        f.user = little(m_buffer, 32);
        f.data = m_buffer.mid(AgwFrame::headerSize, length);
        frames.append(f);
        at = AgwFrame::headerSize + length;
    }
    m_buffer.remove(0, at);
    return frames;
}
