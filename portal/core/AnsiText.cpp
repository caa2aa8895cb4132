#include "AnsiText.h"

#include <array>

namespace {

// 0x80-0x9F of Windows-1252; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> high = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

namespace AnsiText {

QString decode(const QByteArray &bytes)
{
    QString text;
    text.resize(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char16_t c = b;
        // Undefined bytes pass through as their Latin-1 control character, as Windows does.
        if (b >= 0x80 && b <= 0x9F && high[b - 0x80] != 0)
            c = high[b - 0x80];
        text[i] = QChar(c);
    }
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // The five undefined bytes arrive as their control characters and go back out as themselves.
        const bool undefinedByte = c >= 0x80 && c <= 0x9F && high[c - 0x80] == 0;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || undefinedByte) {
            bytes.append(static_cast<char>(c));
            continue;
        }
        char out = '?';
        for (std::size_t k = 0; k < high.size(); ++k) {
            if (high[k] == c && c != 0) {
                out = static_cast<char>(0x80 + k);
                break;
            }
        }
        // A surrogate pair is one character: one "?" for it, not two.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        bytes.append(out);
    }
    return bytes;
}

} // namespace AnsiText
