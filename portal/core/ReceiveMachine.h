#pragma once

#include "PortalOutcome.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ReceiveSink;

/// What arrives on one data connection, fed in as it comes: a transfer
/// header opens a receive in the sink and the content goes into it;
/// otherwise, in chat mode, complete lines become chat text or control events.
/// The machine touches no file itself: how a receive is stored (and thrown
/// away) is the sink's business.
class ReceiveMachine
{
public:
    enum class Kind {
        FileOpened,   ///< text: the receive name
        NameRefused,  ///< text: the name; detail: why. Nothing was created or changed.
        ChatText,     ///< text: the chat text to show
        EndChat,      ///< the peer ended the chat; the rest of the buffer is gone
        Reset,        ///< the peer asked for a reset; the buffer is empty
        Overflow,     ///< a line grew past the limit without a line end
        WriteFailed,  ///< text: the receive name; detail: the cause
    };
    struct Event {
        Kind kind;
        QString text;
        QString detail;
    };

    static constexpr qsizetype defaultLineLimit = 64 * 1024;

    explicit ReceiveMachine(ReceiveSink &sink, qsizetype lineLimit = defaultLineLimit);
    /// An open receive is discarded: what arrived is not a whole message.
    ~ReceiveMachine();

    ReceiveMachine(const ReceiveMachine &) = delete;
    ReceiveMachine &operator=(const ReceiveMachine &) = delete;

    /// Takes the bytes of one arrival. NameRefused, EndChat, Reset, Overflow
    /// and WriteFailed end the processing of this arrival; the caller then
    /// closes or resets the connection.
    QList<Event> feed(const QByteArray &bytes, bool chatModeActive);

    /// The peer ended the connection in order: the open receive (if any) is committed.
    PortalOutcome finishFile();

    /// Forgets a receive that did not arrive whole: the sink discards it.
    void discardFile();

    /// Empties the buffer and the name; an open receive is discarded.
    void reset();

    bool fileOpen() const { return m_open; }
    QString receiveName() const { return m_name; }
    /// Bytes of content handed to the open receive so far.
    qint64 written() const { return m_written; }
    /// Whether the content so far ends in CR LF, as every message file does.
    bool endsWithLineEnd() const { return m_tail == "\r\n"; }
    qsizetype buffered() const { return m_buffer.size(); }
    qsizetype lineLimit() const { return m_lineLimit; }

private:
    bool openFile(const QString &name, QList<Event> &events);
    bool writeContent(QList<Event> &events);
    void dispatchLines(QList<Event> &events);

    ReceiveSink &m_sink;
    qsizetype m_lineLimit;
    QByteArray m_buffer;
    QString m_name;
    bool m_open = false;
    qint64 m_written = 0;
    QByteArray m_tail;
};
