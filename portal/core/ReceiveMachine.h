#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

/// What arrives on one data connection, fed in as it comes: a transfer
/// header opens a receive file and the content goes into it; otherwise, in
/// chat mode, complete lines become chat text or control events.
///
/// A receive file is written in a hidden ".incoming" folder inside the
/// receive folder and moved over its final name only when the transfer
/// ends in order, so readers of the receive folder never see half a file
/// and an older file of that name is replaced whole. Any other end throws
/// the part away.
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

    explicit ReceiveMachine(const QString &receiveFolder, qsizetype lineLimit = defaultLineLimit);
    ~ReceiveMachine();

    ReceiveMachine(const ReceiveMachine &) = delete;
    ReceiveMachine &operator=(const ReceiveMachine &) = delete;

    /// Takes the bytes of one arrival. NameRefused, EndChat, Reset, Overflow
    /// and WriteFailed end the processing of this arrival; the caller then
    /// closes or resets the connection.
    QList<Event> feed(const QByteArray &bytes, bool chatModeActive);

    /// The peer ended the connection in order: the receive file (if any)
    /// gets its final name. Returns the empty string or the reason it could not.
    QString finishFile();

    /// Forgets a receive file that did not arrive whole: the part is removed.
    void discardFile();

    /// Empties the buffer and the name; an open receive file is discarded.
    void reset();

    /// Removes part files that an earlier run left behind (a crash, a kill).
    /// Returns how many were removed; a part that cannot be removed is named in *failure.
    int removeLeftovers(QString *failure = nullptr) const;

    bool fileOpen() const { return m_file.isOpen(); }
    QString receiveName() const { return m_name; }
    /// Bytes of content written to the open receive file so far.
    qint64 written() const { return m_written; }
    /// Whether the content written so far ends in CR LF, as every message file does.
    bool endsWithLineEnd() const { return m_tail == "\r\n"; }
    qsizetype buffered() const { return m_buffer.size(); }
    qsizetype lineLimit() const { return m_lineLimit; }

    /// Where a receive file of this name is written while it arrives.
    QString partialPath(const QString &name) const;

private:
    bool openFile(const QString &name, QList<Event> &events);
    bool writeContent(QList<Event> &events);
    void dispatchLines(QList<Event> &events);

    QString m_folder;
    qsizetype m_lineLimit;
    QByteArray m_buffer;
    QString m_name;
    QFile m_file;
    qint64 m_written = 0;
    QByteArray m_tail;
};
