#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

/// How one transfer ended, as the data link decided it: the same record
/// feeds the status line and the transfer log.
struct TransferRecord
{
    enum class Direction { Sent, Received };
    enum class Result {
        Complete,           ///< the file went whole and the connection ended in order
        Refused,            ///< one side would not take the file
        BrokenOff,          ///< the connection or the file failed part way; nothing kept
        PossiblyIncomplete, ///< kept, but the end of the connection cannot prove it whole
    };

    QDateTime time;
    Direction direction = Direction::Sent;
    QString peer;     ///< the other station's address
    QString file;     ///< the file's name, no folder
    qint64 bytes = 0; ///< content bytes that crossed, header apart
    Result result = Result::BrokenOff;
    /// Sends only: the outbox file as it was sent, so a retry can tell it is still the same.
    qint64 fileSize = -1;
    QDateTime fileModified;
    QString detail; ///< the cause in words, when there is one

    /// A send that did not end complete; a retry may send it again.
    bool retryable() const { return direction == Direction::Sent && result != Result::Complete; }
    bool operator==(const TransferRecord &other) const = default;
};

/// The transfer log file: comma-separated values, one record a line (CR LF),
/// a header line first. Fields holding a comma, a quote or a line end are
/// quoted, quotes doubled; line ends inside a field become spaces, so one
/// record is always one line and the file can be read from its end.
namespace TransferLog {

/// The first line of a new log.
QByteArray headerLine();
/// One record as a line, CR LF included.
QByteArray line(const TransferRecord &record);
/// The fields of one line (without its line end); false when the quoting is broken.
bool splitLine(const QByteArray &line, QStringList *fields);
/// A record from one line; false for the header line and for damaged lines.
bool parseLine(const QByteArray &line, TransferRecord *record);

QString directionWord(TransferRecord::Direction direction);
QString resultWord(TransferRecord::Result result);
/// Times are written in ISO 8601 with milliseconds and the offset from UTC.
QString timeText(const QDateTime &time);

/// What a bounded read of the log's end found.
struct Tail
{
    QList<TransferRecord> records; ///< oldest first, at most the number asked for
    int damaged = 0;               ///< lines that were no record and not the header
};

/// A line longer than this is damaged and skipped.
constexpr qsizetype longestLine = 8 * 1024;
/// At most this much of the log's end is read.
constexpr qint64 tailBytes = 4 * 1024 * 1024;

/// The last `count` records of the log; reads at most `maxBytes` from its end,
/// so a huge or damaged log costs no more than that.
Tail readTail(QIODevice &device, int count, qint64 maxBytes = tailBytes);

/// Why the outbox file of a record cannot be sent again, in words; empty when
/// the file in the folder is still the one that was sent (same size and time).
QString retryRefusal(const QString &outboxFolder, const TransferRecord &record);

} // namespace TransferLog
