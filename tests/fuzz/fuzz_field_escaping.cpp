// Mail fields as code lists: decoding the code list of a text gives the
// text back; any code list decodes without trouble, into characters of the
// code page, and decoding is stable when encoded again.
#include "FuzzInput.h"

#include "compose/FieldEscaping.h"
#include "compose/Windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // A field of the code page's characters.
    const QString field = Windows1252::decode(bytes);
    const QString codes = ConvertToASCII(field);
    for (const QChar c : codes)
        FUZZ_CHECK(c == u' ' || (c >= u'0' && c <= u'9'), "a code list holds only digits and spaces");
    FUZZ_CHECK(!codes.startsWith(u' ') && !codes.endsWith(u' ') && !codes.contains(QStringLiteral("  ")),
               "codes separated by single spaces");
    FUZZ_CHECK(DecodeFromASCII(codes) == field, "decode(encode(text)) == text");

    // The input itself taken as a code list, as a received mail file holds it.
    const QString list = QString::fromLatin1(bytes);
    const QString decoded = DecodeFromASCII(list);
    FUZZ_CHECK(decoded.size() <= list.size() / 2 + 1, "no more characters than tokens");
    FUZZ_CHECK(DecodeFromASCII(ConvertToASCII(decoded)) == decoded, "a decoded text survives another round");
    return 0;
}
