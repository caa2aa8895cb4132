#include "AttachmentStream.h"

#include "WholeWrite.h"

#include "Windows1252.h"

#include <QObject>
#include <QIODevice>

#include <algorithm>

namespace AttachmentStream {

namespace {

// A multiple of three, so each chunk's Base64 stands on its own.
constexpr qint64 chunkSize = 3 * 1024 * 1024;
constexpr int headerFields = 5;

// Reads exactly `size` bytes unless the source ends first. A small file or
// a short stream costs no buffer of the full size.
QByteArray readChunk(QIODevice &source, qint64 size)
{
    const bool sequential = source.isSequential();
    if (!sequential)
        size = std::min(size, std::max<qint64>(0, source.size() - source.pos()));
    QByteArray chunk;
    qint64 filled = 0;
    while (filled < size) {
        const qint64 room = sequential ? std::min(size, std::max<qint64>(64 * 1024, filled * 2)) : size;
        chunk.resize(room);
        const qint64 got = source.read(chunk.data() + filled, room - filled);
        if (got <= 0)
            break;
        filled += got;
    }
    chunk.truncate(filled);
    return chunk;
}

// The outer layer: Base64 of a byte stream that arrives in pieces.
class OuterEncoder
{
public:
    explicit OuterEncoder(QIODevice &out) : m_out(out) {}

    bool add(QByteArrayView bytes)
    {
        m_pending += bytes;
        const qsizetype whole = m_pending.size() / 3 * 3;
        const bool ok = write(Base64::encode(QByteArrayView(m_pending).first(whole)));
        m_pending.remove(0, whole);
        return ok;
    }

    bool finish() { return write(Base64::encode(m_pending)) && write("\r\n"); }

private:
    bool write(QByteArrayView bytes) { return m_out.write(bytes.data(), bytes.size()) == bytes.size(); }

    QIODevice &m_out;
    QByteArray m_pending;
};

} // namespace

Outcome writeEntry(const AttachmentHeader &header, QIODevice &source, QIODevice &out,
                   const ProgressCallback &progress)
{
    const QString fields = header.message + u',' + header.subject + u',' + header.to + u',' + header.from + u','
                           + header.fileName + u',';
    // The receiver would refuse it; one character is one byte of the code page.
    if (fields.size() - 1 > headerLimit)
        return Outcome::failure(QObject::tr("the message's texts and file name are %1 characters long, more than "
                                            "the %2 an attachment message may carry")
                                    .arg(fields.size() - 1)
                                    .arg(headerLimit));
    OuterEncoder outer(out);
    const QString writeFailure = QObject::tr("the message file cannot be written: %1");
    if (!outer.add(Windows1252::encode(fields)))
        return Outcome::failure(writeFailure.arg(out.errorString()));
    const qint64 total = source.size();
    qint64 done = 0;
    while (true) {
        const QByteArray chunk = readChunk(source, chunkSize);
        if (chunk.isEmpty())
            break;
        done += chunk.size();
        if (!outer.add(Base64::encode(chunk)))
            return Outcome::failure(writeFailure.arg(out.errorString()));
        if (progress && !progress(done, total))
            return Outcome::failure(QObject::tr("cancelled"));
    }
    if (done < total)
        return Outcome::failure(
            QObject::tr("the file to attach cannot be read to its end: %1").arg(source.errorString()));
    if (!outer.finish())
        return Outcome::failure(writeFailure.arg(out.errorString()));
    return {};
}

Reader::Reader(QIODevice &in)
    : m_in(in)
{
    m_outer.setStopAfterEndMark(true);
}

// Every post ends with CR LF, and Base64 lines are broken by LF alone, so
// in a file of several posts each CR LF ends one entry, and each line then
// begins with a header of five commas. A relay that turned LF into CR LF
// leaves lines without a header; there the line ends cannot tell where an
// entry ends, and the file is read as one text. Only the headers are
// decoded here, so a large attachment costs one quick pass.
Result<Layout> layoutOf(QIODevice &in)
{
    Layout layout;
    const qint64 start = in.pos();
    if (in.isSequential()) {
        layout.entries = {{start, -1}};
        return layout;
    }
    struct Line {
        qint64 start = 0;
        Base64::Decoder decoder;
        QByteArray decoded;
        qsizetype commas = 0;
        bool blank = true;
        bool broken = false;
    } line;
    line.start = start;
    const auto isWhite = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    const auto take = [&](QByteArrayView piece) {
        if (line.blank)
            line.blank = std::all_of(piece.begin(), piece.end(), isWhite);
        if (line.broken || line.commas >= headerFields)
            return;
        line.decoded.clear();
        if (line.decoder.feed(piece, line.decoded).ok())
            line.commas += line.decoded.count(',');
        else
            line.broken = true;
    };
    QList<Layout::Range> lines;
    bool everyLineAnEntry = true;
    const auto endLine = [&](qint64 end, qint64 next) {
        if (!line.blank) {
            lines.append({line.start, end});
            if (line.commas < headerFields)
                everyLineAnEntry = false;
        }
        line = Line{};
        line.start = next;
    };
    qint64 position = start;
    bool afterCr = false;
    while (everyLineAnEntry || lines.size() < 2) {
        const QByteArray raw = readChunk(in, chunkSize);
        if (raw.isEmpty())
            break;
        qsizetype from = 0;
        for (qsizetype i = raw.indexOf('\n'); i >= 0; i = raw.indexOf('\n', i + 1)) {
            if (i > 0 ? raw[i - 1] != '\r' : !afterCr)
                continue;
            take(QByteArrayView(raw).sliced(from, i + 1 - from));
            endLine(position + i - 1, position + i + 1);
            from = i + 1;
        }
        afterCr = raw.endsWith('\r');
        take(QByteArrayView(raw).sliced(from));
        position += raw.size();
    }
    endLine(position, position);
    if (!in.seek(start))
        return Outcome::failure(
            QObject::tr("the message file cannot be read again from its start: %1").arg(in.errorString()));
    layout.severalLines = lines.size() > 1;
    if (layout.severalLines && everyLineAnEntry)
        layout.entries = lines;
    else
        layout.entries = {{start, -1}};
    return layout;
}

Outcome Reader::planEntries()
{
    m_planned = true;
    const Result<Layout> layout = layoutOf(m_in);
    if (!layout) {
        m_error = layout.error();
        return layout.outcome();
    }
    m_severalLines = layout->severalLines;
    if (layout->entries.size() > 1) {
        m_limit = layout->entries.first().end;
        m_moreEntries = true;
    }
    return {};
}

bool Reader::fill()
{
    if (m_outerDone)
        return false;
    const qint64 size = m_limit < 0 ? chunkSize : std::min(chunkSize, m_limit - m_in.pos());
    const QByteArray raw = size > 0 ? readChunk(m_in, size) : QByteArray();
    if (m_in.isSequential())
        noteLineEnds(raw);
    // Line ends are white space wherever they stand, so a relay that turns
    // LF into CR LF changes nothing. A second entry of the same file starts
    // after the first one's closing '=' and is not part of the first.
    Outcome decoded = m_outer.feed(raw, m_decoded);
    if (m_outer.stoppedAfterEndMark())
        m_moreEntries = true;
    if (raw.isEmpty() || m_outer.stoppedAfterEndMark())
        m_outerDone = true;
    if (decoded && m_outerDone)
        decoded = m_outer.finish();
    if (!decoded) {
        m_error = QObject::tr("the message is not valid Base64 (%1)").arg(decoded.error());
        m_outerDone = true;
        return false;
    }
    return true;
}

// A sequential source cannot be looked over before it is read, so its CR LF
// line ends are told while reading: text after one is either a further
// entry or a line end changed on the way, and where the first entry ends
// cannot be told. The data is then refused where it meets a comma, as for
// a file whose lines are not each an entry.
void Reader::noteLineEnds(QByteArrayView raw)
{
    for (const char ch : raw) {
        if (ch == '\n' && m_afterCr)
            m_afterLineEnd = true;
        else if (m_afterLineEnd && ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n')
            m_severalLines = true;
        m_afterCr = ch == '\r';
    }
}

Result<AttachmentHeader> Reader::readHeader()
{
    if (!m_planned)
        if (Outcome planned = planEntries(); !planned)
            return planned;
    qsizetype searchFrom = 0;
    int commas = 0;
    qsizetype headerEnd = -1;
    while (headerEnd < 0) {
        for (qsizetype i = searchFrom; i < m_decoded.size(); ++i)
            if (m_decoded[i] == ',' && ++commas == headerFields) {
                headerEnd = i;
                break;
            }
        searchFrom = m_decoded.size();
        if (headerEnd > headerLimit || (headerEnd < 0 && m_decoded.size() > headerLimit)) {
            // The texts and the name come before the data and are held whole, so they are bounded.
            m_error = QObject::tr("the message's texts and file name are longer than the %1 bytes an attachment "
                                  "message may carry; it is not read")
                          .arg(headerLimit);
            return failed();
        }
        if (headerEnd < 0 && !fill()) {
            if (m_error.isEmpty()) {
                m_error = QStringLiteral("Error: Decoded data format is incorrect!");
                m_formatError = true;
            }
            return failed();
        }
    }
    const QStringList pieces = Windows1252::decode(QByteArrayView(m_decoded).first(headerEnd)).split(u',');
    m_decoded.remove(0, headerEnd + 1);
    return AttachmentHeader{pieces[0], pieces[1], pieces[2], pieces[3], pieces[4]};
}

Outcome Reader::readData(QIODevice &out, const ProgressCallback &progress)
{
    Base64::Decoder inner;
    QByteArray bytes;
    const qint64 total = m_in.size();
    bool ended = false;
    while (true) {
        // The data runs to the next comma; later pieces are not part of it.
        const qsizetype comma = m_decoded.indexOf(',');
        if (comma >= 0 && m_severalLines && m_limit < 0) {
            // Either a seventh piece or the next entry's header, which
            // would make the data end in the next entry's message.
            m_error = QObject::tr("the message file holds more than one entry, and where the first one ends "
                                  "cannot be told (its line ends were changed on the way)");
            return failed();
        }
        if (comma >= 0) {
            m_decoded.truncate(comma);
            ended = true;
        }
        bytes.clear();
        if (const Outcome decoded = inner.feed(m_decoded, bytes); !decoded) {
            m_error = QObject::tr("the attached file's data is not valid Base64 (%1)").arg(decoded.error());
            return failed();
        }
        m_decoded.clear();
        if (const Outcome written = writeWhole(out, bytes); !written) {
            m_error = QObject::tr("the attached file cannot be written: %1").arg(written.error());
            return failed();
        }
        if (progress && !progress(m_in.pos(), total)) {
            m_error = QObject::tr("cancelled");
            return failed();
        }
        if (ended || !fill())
            break;
    }
    if (!m_error.isEmpty())
        return failed();
    if (const Outcome finished = inner.finish(); !finished) {
        m_error = QObject::tr("the attached file's data is not valid Base64 (%1)").arg(finished.error());
        return failed();
    }
    return {};
}

} // namespace AttachmentStream
