// Base64: decode(encode(x)) == x; the streaming decoder, fed the text in
// pieces of any size, agrees with the whole-text decoder on the bytes and
// on refusal; what decodes encodes back to text that decodes the same.
#include "FuzzInput.h"

#include "compose/Base64.h"

namespace {

struct Streamed {
    bool ok;
    QByteArray bytes;
};

Streamed decodeInPieces(const QByteArray &text, FuzzInput &sizes)
{
    Base64::Decoder decoder;
    QByteArray bytes;
    qsizetype at = 0;
    Outcome decoded;
    while (decoded && at < text.size()) {
        const qsizetype piece = std::min<qsizetype>(text.size() - at, 1 + sizes.byte() % 13);
        decoded = decoder.feed(QByteArrayView(text).sliced(at, piece), bytes);
        at += piece;
    }
    if (decoded)
        decoded = decoder.finish();
    FUZZ_CHECK(decoded.ok() == decoded.error().isEmpty(), "a refusal says why");
    return {decoded.ok(), bytes};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray sizeBytes = input.piece();
    const QByteArray text = input.rest();

    // Any bytes encode, and decode back.
    const QByteArray encoded = Base64::encode(text);
    FUZZ_CHECK(encoded.size() == (text.size() + 2) / 3 * 4, "encoded length");
    FUZZ_CHECK(encoded == text.toBase64(), "the standard alphabet and padding");
    const auto back = Base64::decode(encoded);
    FUZZ_CHECK(back && *back == text, "decode(encode(x)) == x");

    // The same bytes taken as received Base64 text.
    const Result<QByteArray> whole = Base64::decode(text);
    FUZZ_CHECK(whole.ok() == whole.error().isEmpty(), "a refusal says why");
    FuzzInput sizes(reinterpret_cast<const uint8_t *>(sizeBytes.constData()), size_t(sizeBytes.size()));
    const Streamed streamed = decodeInPieces(text, sizes);
    FUZZ_CHECK(streamed.ok == whole.ok(), "pieces and whole text agree on refusal");
    if (whole) {
        FUZZ_CHECK(streamed.bytes == *whole, "pieces and whole text give the same bytes");
        const auto again = Base64::decode(Base64::encode(*whole));
        FUZZ_CHECK(again && *again == *whole, "decoded bytes survive another round");
        // A strict decoder takes only what Qt's strict one takes too.
        const auto qt = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (!text.contains(' ') && !text.contains('\t') && !text.contains('\r') && !text.contains('\n'))
            FUZZ_CHECK(qt.decodingStatus == QByteArray::Base64DecodingStatus::Ok && qt.decoded == *whole,
                       "agrees with Qt's strict decoder");
    }
    return 0;
}
