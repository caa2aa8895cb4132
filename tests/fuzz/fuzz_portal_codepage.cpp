// The portal's code page: every received byte goes back out as the same
// byte, so names and station lists pass through unchanged.
#include "FuzzInput.h"

#include "AnsiText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = AnsiText::decode(bytes);
    FUZZ_CHECK(text.size() == bytes.size(), "one character per byte");
    FUZZ_CHECK(AnsiText::encode(text) == bytes, "bytes -> text -> bytes");

    // Any text goes out as one byte per character (a surrogate pair is one).
    const QString wide(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    const QByteArray sent = AnsiText::encode(wide);
    FUZZ_CHECK(sent.size() <= wide.size(), "at most one byte per character");
    const QString back = AnsiText::decode(sent);
    FUZZ_CHECK(AnsiText::encode(back) == sent, "what was sent reads back as sent");
    return 0;
}
