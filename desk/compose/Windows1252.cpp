#include "Windows1252.h"

#include <array>

namespace Windows1252 {

namespace {

// 0x80-0x9F; the five bytes the code page leaves undefined map to the C1
// control characters of the same value, so they round-trip too.
constexpr char16_t highControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<char16_t, 256> makeToUnicode()
{
    std::array<char16_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = char16_t(i);
    for (int i = 0; i < 32; ++i)
        table[0x80 + i] = highControls[i];
    return table;
}

constexpr std::array<char16_t, 256> toUnicode = makeToUnicode();

// The highest character the code page holds is U+2122; one table up to it
// makes every lookup a single index, also for the 100 MB texts.
constexpr char16_t lastMapped = 0x2122;

constexpr std::array<unsigned char, lastMapped + 1> makeFromUnicode()
{
    std::array<unsigned char, lastMapped + 1> table{};
    for (auto &code : table)
        code = '?';
    for (int i = 0; i < 256; ++i)
        table[toUnicode[i]] = static_cast<unsigned char>(i);
    return table;
}

constexpr std::array<unsigned char, lastMapped + 1> fromUnicode = makeFromUnicode();

} // namespace

QChar charOf(unsigned char code)
{
    return QChar(toUnicode[code]);
}

unsigned char codeOf(QChar c)
{
    const char16_t u = c.unicode();
    return u <= lastMapped ? fromUnicode[u] : '?';
}

bool holds(QChar c)
{
    return codeOf(c) != '?' || c == u'?';
}

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(toUnicode[static_cast<unsigned char>(byte)]);
    return text;
}

QByteArray encode(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QChar c : text)
        *out++ = static_cast<char>(codeOf(c));
    return bytes;
}

} // namespace Windows1252
