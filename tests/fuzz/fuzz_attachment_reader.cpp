// Received attachment messages of any content: read whole or handed out a
// few bytes at a time, the reader gives the same header, the same bytes
// and the same refusal; a pipe-like source reads without trouble.
#include "FuzzInput.h"

#include "compose/AttachmentStream.h"

#include <QBuffer>

namespace {

struct Reading {
    std::optional<AttachmentHeader> header;
    bool dataRead = false;
    QByteArray data;
    QString error;
    bool more = false;
};

Reading readAll(QIODevice &in)
{
    AttachmentStream::Reader reader(in);
    Reading outcome;
    const Result<AttachmentHeader> header = reader.readHeader();
    FUZZ_CHECK(header || !header.error().isEmpty(), "a refused header says why");
    outcome.error = header.error();
    if (header) {
        outcome.header = *header;
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const Outcome read = reader.readData(out);
        FUZZ_CHECK(read || !read.error().isEmpty(), "failed data says why");
        outcome.dataRead = read.ok();
        outcome.error = read.error();
        outcome.data = out.data();
    }
    outcome.more = reader.hasMoreEntries();
    return outcome;
}

bool sameHeader(const std::optional<AttachmentHeader> &a, const std::optional<AttachmentHeader> &b)
{
    if (!a || !b)
        return !a && !b;
    return a->message == b->message && a->subject == b->subject && a->to == b->to && a->from == b->from
           && a->fileName == b->fileName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int chunk = 1 + input.byte() % 17;
    const QByteArray file = input.rest();

    QBuffer whole;
    whole.setData(file);
    whole.open(QIODevice::ReadOnly);
    const Reading a = readAll(whole);

    ChunkedDevice pieces(file, chunk, false);
    pieces.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const Reading b = readAll(pieces);
    FUZZ_CHECK(sameHeader(a.header, b.header), "the same header in pieces");
    FUZZ_CHECK(a.dataRead == b.dataRead && a.data == b.data, "the same data in pieces");
    FUZZ_CHECK(a.error == b.error && a.more == b.more, "the same verdict in pieces");

    ChunkedDevice pipe(file, chunk, true);
    pipe.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const Reading c = readAll(pipe);
    FUZZ_CHECK(!c.dataRead || a.dataRead, "a pipe takes no more than the file");
    return 0;
}
