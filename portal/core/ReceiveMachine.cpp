#include "ReceiveMachine.h"

#include "AnsiText.h"
#include "ReceiveName.h"
#include "ReceiveSink.h"

namespace {

bool isHeader(const QByteArray &line)
{
    const QByteArray prefix = line.left(5).toUpper();
    return prefix == "FILE:" || prefix == "MAIL:";
}

} // namespace

ReceiveMachine::ReceiveMachine(ReceiveSink &sink, qsizetype lineLimit)
    : m_sink(sink)
    , m_lineLimit(lineLimit)
{
}

ReceiveMachine::~ReceiveMachine()
{
    // The program ends mid-transfer: what arrived is not a whole message.
    discardFile();
}

QList<ReceiveMachine::Event> ReceiveMachine::feed(const QByteArray &bytes, bool chatModeActive)
{
    QList<Event> events;
    m_buffer.append(bytes);

    if (!m_open) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end >= 0 && isHeader(m_buffer.left(end))) {
            const QString name = AnsiText::decode(m_buffer.mid(5, end - 5));
            m_buffer.remove(0, end + 2);
            if (!openFile(name, events))
                return events;
        }
    }

    if (m_open) {
        if (!m_buffer.isEmpty() && !writeContent(events))
            return events;
    } else if (chatModeActive) {
        dispatchLines(events);
    }

    // Whatever waits for a line end is bounded, so no peer can make the buffer grow without end.
    if (!m_open && m_buffer.size() > m_lineLimit) {
        m_buffer.clear();
        events.append({Kind::Overflow, {}, {}});
    }
    return events;
}

bool ReceiveMachine::openFile(const QString &name, QList<Event> &events)
{
    // Counted from this header on, so a refusal or a failed open reports no bytes of an earlier transfer.
    m_written = 0;
    m_tail.clear();
    // A refused name creates, opens and changes nothing, not even an existing file of that name.
    const QString refusal = ReceiveName::keepRefusal(name);
    if (!refusal.isEmpty()) {
        m_buffer.clear();
        events.append({Kind::NameRefused, name, refusal});
        return false;
    }
    if (const PortalOutcome opened = m_sink.open(name); !opened) {
        m_buffer.clear();
        events.append({Kind::WriteFailed, name, opened.why()});
        return false;
    }
    m_open = true;
    m_name = name;
    events.append({Kind::FileOpened, name, {}});
    return true;
}

bool ReceiveMachine::writeContent(QList<Event> &events)
{
    if (const PortalOutcome appended = m_sink.append(m_buffer); !appended) {
        const Event failed{Kind::WriteFailed, m_name, appended.why()};
        m_buffer.clear();
        discardFile();
        events.append(failed);
        return false;
    }
    m_written += m_buffer.size();
    m_tail = (m_tail + m_buffer.right(2)).right(2);
    m_buffer.clear();
    return true;
}

void ReceiveMachine::dispatchLines(QList<Event> &events)
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end < 0)
            return;
        const QString line = AnsiText::decode(m_buffer.left(end));
        m_buffer.remove(0, end + 2);
        const QString upper = line.toUpper();
        if (upper == u"CHAT_END" || upper == u"<ENDCHAT>") {
            reset();
            events.append({Kind::EndChat, {}, {}});
            return;
        }
        if (upper == u"<RESET>") {
            reset();
            events.append({Kind::Reset, {}, {}});
            return;
        }
        const QString text = upper.startsWith(u"CHAT:") ? line.mid(5) : line;
        if (!text.isEmpty())
            events.append({Kind::ChatText, text, {}});
    }
}

PortalOutcome ReceiveMachine::finishFile()
{
    if (!m_open)
        return {};
    m_open = false;
    m_name.clear();
    return m_sink.commit();
}

void ReceiveMachine::discardFile()
{
    if (!m_open)
        return;
    m_open = false;
    m_sink.discard();
    m_name.clear();
}

void ReceiveMachine::reset()
{
    m_buffer.clear();
    discardFile();
    m_name.clear();
}
