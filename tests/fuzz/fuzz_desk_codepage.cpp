// The desk's code page: every byte survives bytes -> text -> bytes, and a
// text's characters come back exactly when the code page holds them.
#include "FuzzInput.h"

#include "compose/Windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = Windows1252::decode(bytes);
    FUZZ_CHECK(text.size() == bytes.size(), "one character per byte");
    FUZZ_CHECK(Windows1252::encode(text) == bytes, "bytes -> text -> bytes");

    // The same input read as UTF-16 text of any characters.
    const QString wide(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    const QByteArray encoded = Windows1252::encode(wide);
    FUZZ_CHECK(encoded.size() == wide.size(), "one byte per character");
    const QString back = Windows1252::decode(encoded);
    for (qsizetype i = 0; i < wide.size(); ++i) {
        const QChar c = wide[i];
        FUZZ_CHECK(back[i] == (Windows1252::holds(c) ? c : QChar(u'?')), "a held character comes back, others as '?'");
        FUZZ_CHECK(Windows1252::charOf(Windows1252::codeOf(c)) == back[i], "codeOf and charOf agree with the text codec");
    }
    return 0;
}
