// The portal's transfer log: a record written reads back the same; a log of
// records and damaged lines reads into those records, the damaged lines
// counted; a read of the log's end never takes more than its bound, and
// what it finds is the newest records of the whole log.
#include "FuzzInput.h"

#include "TransferLog.h"

namespace {

/// A device over fixed bytes that counts what it hands out.
class CountingDevice : public ChunkedDevice
{
public:
    using ChunkedDevice::ChunkedDevice;
    qint64 taken = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = ChunkedDevice::readData(data, maxSize);
        taken += qMax<qint64>(0, n);
        return n;
    }
};

qint64 number(FuzzInput &input, int bytes)
{
    qint64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | input.byte();
    return value;
}

/// A moment from 1970 to 2106 in milliseconds, at an offset from UTC of up to 14 hours.
QDateTime moment(FuzzInput &input)
{
    const qint64 seconds = number(input, 4);
    const qint64 msecs = seconds * 1000 + number(input, 2) % 1000;
    const int offset = (int(input.byte() % 113) - 56) * 15 * 60;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, offset);
}

TransferRecord record(FuzzInput &input)
{
    TransferRecord r;
    const quint8 how = input.byte();
    r.time = moment(input);
    r.direction = (how & 1) ? TransferRecord::Direction::Received : TransferRecord::Direction::Sent;
    r.result = TransferRecord::Result((how >> 1) % 4);
    r.bytes = number(input, 6);
    if (how & 8) {
        r.fileSize = number(input, 5);
        r.fileModified = moment(input);
    }
    r.peer = QString::fromUtf8(input.piece());
    r.file = QString::fromUtf8(input.piece());
    r.detail = QString::fromUtf8(input.piece());
    return r;
}

/// What a record reads back as: one line, so line ends inside a field are blanks.
TransferRecord asLogged(TransferRecord r)
{
    for (QString *text : {&r.peer, &r.file, &r.detail})
        text->replace(u'\r', u' ').replace(u'\n', u' ');
    return r;
}

bool endsWith(const QList<TransferRecord> &all, const QList<TransferRecord> &tail)
{
    return tail.size() <= all.size() && std::equal(tail.begin(), tail.end(), all.end() - tail.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const quint8 how = input.byte();
    const int count = input.byte() % 12;
    const qint64 bound = number(input, 2);

    // A log of records and lines of any bytes, in the order the input says.
    QByteArray log = (how & 1) ? TransferLog::headerLine() : QByteArray();
    QList<TransferRecord> expected;
    QList<qsizetype> lineStarts; // where each expected record's line begins
    int damaged = 0;
    while (!input.atEnd()) {
        const qsizetype start = log.size();
        if (input.byte() & 1) {
            const TransferRecord written = record(input);
            const QByteArray line = TransferLog::line(written);
            FUZZ_CHECK(line.endsWith("\r\n") && line.count('\n') == 1, "one record, one line");
            TransferRecord back;
            FUZZ_CHECK(TransferLog::parseLine(line.chopped(2), &back), "a written record reads back");
            FUZZ_CHECK(back == asLogged(written), "a written record reads back the same");
            FUZZ_CHECK(back.time.offsetFromUtc() == written.time.offsetFromUtc(), "its time keeps its offset");
            log += line;
            if (line.size() - 2 <= TransferLog::longestLine) {
                expected << back;
                lineStarts << start;
            } else {
                ++damaged;
            }
        } else {
            // Any line: a record if it happens to read as one, else damaged.
            QByteArray line = input.piece().replace('\n', ' ');
            const bool ended = !input.atEnd() || (how & 2);
            log += line + (ended ? "\r\n" : "");
            if (line.endsWith('\r') && !ended)
                line.chop(1);
            TransferRecord any;
            if (line.isEmpty() || line + "\r\n" == TransferLog::headerLine())
                continue;
            if (line.size() <= TransferLog::longestLine && TransferLog::parseLine(line, &any)) {
                expected << any;
                lineStarts << start;
            } else {
                ++damaged;
            }
        }
    }

    // The whole log, from a file or from a pipe. Either hands out what is asked
    // in one read, as a file on a disk does.
    const int many = int(expected.size()) + 1;
    CountingDevice whole(log, log.size(), how & 4);
    whole.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const TransferLog::Tail all = TransferLog::readTail(whole, many, log.size() + 1);
    FUZZ_CHECK(all.records == expected, "every record of the log, in order");
    FUZZ_CHECK(all.damaged == damaged, "every damaged line counted");

    // The newest `count` records within `bound` bytes of the end.
    CountingDevice file(log, log.size(), false);
    file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const TransferLog::Tail tail = TransferLog::readTail(file, count, bound);
    FUZZ_CHECK(file.taken <= bound, "no more than the bound is read");
    FUZZ_CHECK(tail.records.size() <= count, "no more records than asked for");
    FUZZ_CHECK(endsWith(expected, tail.records), "the newest records of the log");
    FUZZ_CHECK(tail.records.isEmpty() || lineStarts[expected.size() - tail.records.size()] >= log.size() - bound,
               "only records that lie within the bound");
    FUZZ_CHECK(tail.damaged <= damaged, "no damage the log does not have");
    if (bound >= log.size() && count > 0)
        FUZZ_CHECK(tail.records == expected.mid(qMax<qsizetype>(0, expected.size() - count)) && tail.damaged == damaged,
                   "a log within the bound is read whole");
    return 0;
}
