// The modem's frame protocol: random bytes fed in random chunks give the
// same frames however they are split, every byte taken lands in a frame or
// stays pending, no more than a header and the data bound is held, and a
// frame the builders make parses back to the same fields.
#include "FuzzInput.h"

#include "AgwFrame.h"

#include <QList>

namespace {

/// Cuts a byte string into chunks of 0 to `largest` bytes, the same way
/// for the same seed.
QList<QByteArray> split(const QByteArray &bytes, quint32 seed, int largest)
{
    QList<QByteArray> chunks;
    quint32 state = seed * 2654435761u + 1;
    for (qsizetype at = 0; at < bytes.size();) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const qsizetype n = qsizetype(state % quint32(largest + 1)); // an empty chunk now and then
        chunks << bytes.mid(at, n);
        at += n;
    }
    return chunks;
}

struct Parsed
{
    QList<AgwFrame> frames;
    bool failed = false;
    QString failure;
    qsizetype pending = 0;
};

Parsed parse(const QList<QByteArray> &chunks, quint32 limit)
{
    AgwParser parser(limit);
    Parsed parsed;
    for (const QByteArray &chunk : chunks) {
        const bool failedBefore = parser.failed();
        const QList<AgwFrame> frames = parser.feed(chunk);
        FUZZ_CHECK(!failedBefore || frames.isEmpty(), "nothing is taken after a failure");
        FUZZ_CHECK(parser.pending() < AgwFrame::headerSize + qsizetype(limit),
                   "no more than a header and the data bound is held");
        FUZZ_CHECK(!parser.failed() || parser.pending() == 0, "a failed parser holds nothing");
        FUZZ_CHECK(parser.failed() == !parser.failure().isEmpty(), "a failure is said in words");
        parsed.frames << frames;
    }
    parsed.failed = parser.failed();
    parsed.failure = parser.failure();
    parsed.pending = parser.pending();
    return parsed;
}

bool sameFrame(const AgwFrame &a, const AgwFrame &b)
{
    return a.port == b.port && a.kind == b.kind && a.pid == b.pid && a.callFrom == b.callFrom && a.callTo == b.callTo
           && a.user == b.user && a.data == b.data;
}

bool sameFrames(const QList<AgwFrame> &a, const QList<AgwFrame> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameFrame);
}

quint32 little(const QByteArray &bytes, qsizetype at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 | quint32(quint8(bytes[at + 2])) << 16
           | quint32(quint8(bytes[at + 3])) << 24;
}

// A call field of the header read back: up to its first NUL, all ten bytes without one.
void checkCall(const QByteArray &call, const QByteArray &header, qsizetype at)
{
    const QByteArray field = header.mid(at, AgwFrame::callSize);
    FUZZ_CHECK(field.startsWith(call) && !call.contains('\0'), "a call is the start of its field");
    FUZZ_CHECK(call.size() == AgwFrame::callSize || field[call.size()] == '\0', "a call ends at the field's NUL");
}

/// Random bytes from the modem side.
void anyBytes(const QByteArray &stream, quint32 limit, quint8 seed, int largest)
{
    const Parsed whole = parse({stream}, limit);
    const Parsed chunked = parse(split(stream, seed, largest), limit);
    const Parsed bytewise = parse(split(stream, seed + 1u, 1), limit);
    for (const Parsed *other : {&chunked, &bytewise}) {
        FUZZ_CHECK(sameFrames(whole.frames, other->frames), "the same frames however the bytes are split");
        FUZZ_CHECK(whole.failed == other->failed && whole.failure == other->failure, "the same failure however split");
        FUZZ_CHECK(whole.pending == other->pending, "the same bytes pending however split");
    }

    // Every frame is the bytes at its place in the stream.
    qsizetype at = 0;
    for (const AgwFrame &frame : whole.frames) {
        FUZZ_CHECK(stream.size() - at >= AgwFrame::headerSize, "a frame has its whole header");
        const QByteArray header = stream.mid(at, AgwFrame::headerSize);
        FUZZ_CHECK(frame.data.size() <= qsizetype(limit), "no frame's data is past the bound");
        FUZZ_CHECK(quint8(header[0]) == frame.port && header[4] == frame.kind && quint8(header[6]) == frame.pid,
                   "port, kind and PID as sent");
        FUZZ_CHECK(little(header, 28) == quint32(frame.data.size()) && little(header, 32) == frame.user,
                   "length and user word as sent");
        FUZZ_CHECK(!header[1] && !header[2] && !header[3] && !header[5] && !header[7],
                   "a frame taken has its reserved bytes clear");
        checkCall(frame.callFrom, header, 8);
        checkCall(frame.callTo, header, 18);
        FUZZ_CHECK(stream.mid(at + AgwFrame::headerSize, frame.data.size()) == frame.data, "the data as sent");
        at += AgwFrame::headerSize + frame.data.size();
    }
    if (whole.failed) {
        // The failing header is the next one: complete, and rejected.
        FUZZ_CHECK(stream.size() - at >= AgwFrame::headerSize, "a failure only at a whole header");
    } else {
        FUZZ_CHECK(at + whole.pending == stream.size(), "every byte is in a frame or pending");
        FUZZ_CHECK(whole.pending < AgwFrame::headerSize
                       || AgwFrame::headerSize + qint64(little(stream, at + 28)) > whole.pending,
                   "only an incomplete frame is pending");
    }
}

/// Frames the desk's side builds, from fuzzed calls and data.
void builtFrames(FuzzInput &input, quint32 limit, quint8 seed, int largest)
{
    QList<AgwFrame> sent;
    QByteArray stream;
    while (!input.atEnd() && sent.size() < 8) {
        const quint8 port = input.byte();
        const quint8 which = input.byte();
        const QByteArray from = input.piece();
        const QByteArray to = input.piece();
        const QByteArray data = input.piece();
        AgwFrame frame;
        switch (which % 10) {
        case 0: frame = AgwFrame::version(); break;
        case 1: frame = AgwFrame::registerCall(from); break;
        case 2: frame = AgwFrame::unregisterCall(from); break;
        case 3: frame = AgwFrame::ports(); break;
        case 4: frame = AgwFrame::monitor(); break;
        case 5: frame = AgwFrame::connectTo(port, from, to); break;
        case 6: frame = AgwFrame::disconnect(port, from, to); break;
        case 7: frame = AgwFrame::outstanding(port, from, to); break;
        default: frame = AgwFrame::sessionData(port, from, to, data); break;
        }
        const QByteArray bytes = frame.encode();
        FUZZ_CHECK(bytes.size() == AgwFrame::headerSize + frame.data.size(), "a header and the data");

        const Parsed alone = parse(split(bytes, seed, largest), limit);
        if (frame.data.size() > qsizetype(limit)) {
            FUZZ_CHECK(alone.failed && alone.frames.isEmpty(), "data past the bound is refused");
            break; // nothing after it would be read
        }
        FUZZ_CHECK(!alone.failed && alone.frames.size() == 1 && alone.pending == 0, "a built frame parses alone");
        const AgwFrame &back = alone.frames.first();
        FUZZ_CHECK(back.kind == frame.kind && back.port == frame.port && back.pid == frame.pid && back.user == frame.user
                       && back.data == frame.data,
                   "a built frame reads back the same");
        const QByteArray calls[2][2] = {{frame.callFrom, back.callFrom}, {frame.callTo, back.callTo}};
        for (const auto &[given, read] : calls) {
            if (AgwFrame::isCallsign(QString::fromLatin1(given)))
                FUZZ_CHECK(read == given, "a callsign reads back the same");
            else
                FUZZ_CHECK(given.startsWith(read) && read.size() < AgwFrame::callSize, "a call too long is cut to fit");
        }
        if (frame.kind == 'Y' || frame.kind == 'D')
            FUZZ_CHECK((back.number() < 0) == (back.data.size() < 4) && back.number() <= qint64(0xFFFFFFFFu),
                       "a count where the data holds one");
        sent << back;
        stream += bytes;
    }
    const Parsed all = parse(split(stream, seed + 7u, largest), limit);
    FUZZ_CHECK(!all.failed && all.pending == 0 && sameFrames(all.frames, sent), "built frames in a row read back in order");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const quint8 how = input.byte();
    // Mostly a small bound, so frames past it are met; sometimes the real one.
    const quint32 limit = (how & 0x80) ? AgwParser::defaultDataLimit : quint32(input.byte());
    const quint8 seed = input.byte();
    const int largest = 1 + (how & 0x3F);
    if (how & 0x40)
        builtFrames(input, limit, seed, largest);
    else
        anyBytes(input.rest(), limit, seed, largest);
    return 0;
}
