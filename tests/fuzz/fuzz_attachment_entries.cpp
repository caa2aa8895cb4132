// Attachment entries as the composer writes them, one or two in a file (two
// posts of the same second): the reader gives back the first entry's header
// and bytes exactly, or says it cannot; never another entry's data.
#include "FuzzInput.h"

#include "compose/AttachmentStream.h"
#include "compose/Windows1252.h"

#include <QBuffer>

namespace {

// Commas in the texts shift the later fields by design; they are left out.
QString text(FuzzInput &input)
{
    return Windows1252::decode(input.piece()).remove(u',');
}

QByteArray compose(const AttachmentHeader &header, const QByteArray &bytes)
{
    QBuffer source;
    source.setData(bytes);
    source.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const Outcome written = AttachmentStream::writeEntry(header, source, out);
    FUZZ_CHECK(written.ok(), "writing to memory succeeds");
    FUZZ_CHECK(out.data().endsWith("\r\n") && out.data().count("\r\n") == 1, "one entry ends with the one CR LF");
    return out.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t choice = input.byte();
    const bool twoEntries = choice & 1;
    const bool pipe = choice & 2;
    const int chunk = 1 + (choice >> 2);
    AttachmentHeader first{text(input), text(input), text(input), text(input), text(input)};
    const QByteArray firstData = input.piece();
    AttachmentHeader second{text(input), text(input), text(input), text(input), text(input)};
    const QByteArray secondData = input.rest();

    QByteArray file = compose(first, firstData);
    if (twoEntries)
        file += compose(second, secondData);

    ChunkedDevice in(file, pipe ? chunk : 4096, pipe);
    in.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    AttachmentStream::Reader reader(in);
    const Result<AttachmentHeader> header = reader.readHeader();
    FUZZ_CHECK(header, "a written header reads");
    FUZZ_CHECK(header->message == first.message && header->subject == first.subject && header->to == first.to
                   && header->from == first.from && header->fileName == first.fileName,
               "the header reads back the same");
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const Outcome read = reader.readData(out);
    if (!pipe || !twoEntries) {
        FUZZ_CHECK(read, "a file taken apart by its lines reads whole");
        FUZZ_CHECK(reader.hasMoreEntries() == twoEntries, "a second entry is noticed");
    }
    if (read)
        FUZZ_CHECK(out.data() == firstData, "the first entry's bytes, never mixed with the second's");
    else
        FUZZ_CHECK(!read.error().isEmpty(), "a refusal says why");
    return 0;
}
