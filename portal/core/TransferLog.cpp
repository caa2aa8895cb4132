#include "TransferLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>

namespace {

constexpr int fieldCount = 9;

QString tr(const char *text)
{
    return QCoreApplication::translate("TransferLog", text);
}

QByteArray field(QString text)
{
    // One record, one line: a line end inside a field would split it.
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.startsWith(' ') || bytes.endsWith(' ')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

const struct
{
    TransferRecord::Result result;
    const char *word;
} resultWords[] = {
    {TransferRecord::Result::Complete, "complete"},
    {TransferRecord::Result::Refused, "refused"},
    {TransferRecord::Result::BrokenOff, "broken off"},
    {TransferRecord::Result::PossiblyIncomplete, "possibly incomplete"},
};

} // namespace

namespace TransferLog {

QByteArray headerLine()
{
    return "time,direction,peer,file,bytes,result,file size,file modified,detail\r\n";
}

QString directionWord(TransferRecord::Direction direction)
{
    return direction == TransferRecord::Direction::Sent ? QStringLiteral("sent") : QStringLiteral("received");
}

QString resultWord(TransferRecord::Result result)
{
    for (const auto &entry : resultWords) {
        if (entry.result == result)
            return QLatin1String(entry.word);
    }
    return {};
}

QString timeText(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    // An explicit offset, so the line reads the same wherever the log is opened.
    const QDateTime fixed = time.toOffsetFromUtc(time.offsetFromUtc());
    return fixed.toString(Qt::ISODateWithMs);
}

QByteArray line(const TransferRecord &record)
{
    const QStringList fields{timeText(record.time),
                             directionWord(record.direction),
                             record.peer,
                             record.file,
                             QString::number(record.bytes),
                             resultWord(record.result),
                             record.fileSize >= 0 ? QString::number(record.fileSize) : QString(),
                             timeText(record.fileModified),
                             record.detail};
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        out += field(fields[i]);
    }
    return out + "\r\n";
}

bool splitLine(const QByteArray &line, QStringList *fields)
{
    fields->clear();
    QByteArray current;
    qsizetype i = 0;
    for (;;) {
        current.clear();
        if (i < line.size() && line[i] == '"') {
            ++i;
            for (;;) {
                if (i >= line.size())
                    return false; // a quote that never closes
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        current += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                current += line[i++];
            }
            if (i < line.size() && line[i] != ',')
                return false; // text after a closing quote
        } else {
            while (i < line.size() && line[i] != ',') {
                if (line[i] == '"')
                    return false; // a quote inside an unquoted field
                current += line[i++];
            }
        }
        fields->append(QString::fromUtf8(current));
        if (i >= line.size())
            return true;
        ++i; // the comma
    }
}

bool parseLine(const QByteArray &line, TransferRecord *record)
{
    QStringList fields;
    if (!splitLine(line, &fields) || fields.size() != fieldCount)
        return false;
    TransferRecord parsed;
    parsed.time = QDateTime::fromString(fields[0], Qt::ISODateWithMs);
    if (!parsed.time.isValid())
        return false; // the header line too
    if (fields[1] == directionWord(TransferRecord::Direction::Sent))
        parsed.direction = TransferRecord::Direction::Sent;
    else if (fields[1] == directionWord(TransferRecord::Direction::Received))
        parsed.direction = TransferRecord::Direction::Received;
    else
        return false;
    parsed.peer = fields[2];
    parsed.file = fields[3];
    bool ok = false;
    parsed.bytes = fields[4].toLongLong(&ok);
    if (!ok || parsed.bytes < 0)
        return false;
    bool known = false;
    for (const auto &entry : resultWords) {
        if (fields[5] == QLatin1String(entry.word)) {
            parsed.result = entry.result;
            known = true;
        }
    }
    if (!known)
        return false;
    if (!fields[6].isEmpty()) {
        parsed.fileSize = fields[6].toLongLong(&ok);
        if (!ok || parsed.fileSize < 0)
            return false;
    }
    if (!fields[7].isEmpty()) {
        parsed.fileModified = QDateTime::fromString(fields[7], Qt::ISODateWithMs);
        if (!parsed.fileModified.isValid())
            return false;
    }
    parsed.detail = fields[8];
    *record = parsed;
    return true;
}

Tail readTail(QIODevice &device, int count, qint64 maxBytes)
{
    Tail tail;
    if (count <= 0)
        return tail;
    const qint64 size = device.size();
    const qint64 start = device.isSequential() ? 0 : qMax<qint64>(0, size - maxBytes);
    if (!device.isSequential() && !device.seek(start))
        return tail;
    // One read may answer with less than is there (a pipe, a network file
    // system, a signal): read on until the bound or the end.
    QByteArray bytes;
    while (bytes.size() < maxBytes) {
        const QByteArray more = device.read(maxBytes - bytes.size());
        if (more.isEmpty())
            break;
        bytes += more;
    }
    qsizetype from = 0;
    if (start > 0) {
        // The read began inside a line: that piece is no whole record.
        const qsizetype end = bytes.indexOf('\n');
        from = end < 0 ? bytes.size() : end + 1;
    }
    QList<TransferRecord> records;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        QByteArray text = bytes.mid(from, end - from);
        from = end + 1;
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        TransferRecord record;
        if (text.size() <= longestLine && parseLine(text, &record)) {
            records.append(record);
            // Only the newest are kept: the list never outgrows what is asked for.
            if (records.size() > count)
                records.removeFirst();
        } else if (text + "\r\n" != headerLine()) {
            ++tail.damaged;
        }
    }
    tail.records = records;
    return tail;
}

QString retryRefusal(const QString &outboxFolder, const TransferRecord &record)
{
    const QString path = QDir(outboxFolder).filePath(record.file);
    const QString shown = QDir::toNativeSeparators(path);
    if (record.direction != TransferRecord::Direction::Sent)
        return tr("%1 was received, not sent: only a send can be retried.").arg(record.file);
    if (record.file.isEmpty() || record.file.contains(u'/') || record.file.contains(u'\\') || record.file == u".." ||
        record.file == u".")
        return tr("The log names no outbox file (\"%1\"); nothing was sent.").arg(record.file);
    if (record.fileSize < 0 || !record.fileModified.isValid())
        return tr("The log does not say which version of %1 was sent, so a retry cannot make sure it sends the "
                  "same file; nothing was sent.")
            .arg(record.file);
    const QFileInfo info(path);
    if (!info.exists())
        return tr("%1 is no longer in the outbox (%2); nothing was sent.").arg(record.file, shown);
    if (!info.isFile())
        return tr("%1 is no longer a file; nothing was sent.").arg(shown);
    const QDateTime modified = info.lastModified();
    const bool sameSize = info.size() == record.fileSize;
    // The log keeps milliseconds: finer parts of the file's time are not compared.
    const bool sameTime = modified.toMSecsSinceEpoch() == record.fileModified.toMSecsSinceEpoch();
    if (!sameSize || !sameTime)
        return tr("%1 has changed since it was sent (then %2 bytes, modified %3; now %4 bytes, modified %5): a "
                  "retry sends only the same file, so nothing was sent. Use Send Packet Mail Message to send the "
                  "newest outbox file.")
            .arg(shown)
            .arg(record.fileSize)
            .arg(timeText(record.fileModified))
            .arg(info.size())
            .arg(timeText(modified));
    return {};
}

} // namespace TransferLog
