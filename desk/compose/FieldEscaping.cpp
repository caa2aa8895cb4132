#include "FieldEscaping.h"

#include "Windows1252.h"

#include <array>

namespace {

// The decimal spelling of every code, so encoding is table lookups only.
struct Spelling {
    char16_t digits[3];
    qsizetype size;
};

constexpr std::array<Spelling, 256> makeSpellings()
{
    std::array<Spelling, 256> spellings{};
    for (int code = 0; code < 256; ++code) {
        Spelling &s = spellings[code];
        if (code >= 100)
            s.digits[s.size++] = char16_t(u'0' + code / 100);
        if (code >= 10)
            s.digits[s.size++] = char16_t(u'0' + code / 10 % 10);
        s.digits[s.size++] = char16_t(u'0' + code % 10);
    }
    return spellings;
}

constexpr std::array<Spelling, 256> spellings = makeSpellings();

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// A decimal integer once white space at the ends is ignored, and a code
// 0-255. Signs, fractions, exponents and hexadecimal never occur in a code
// list; they and out-of-range numbers give -1, so the token is skipped.
int codeOfToken(const char16_t *begin, const char16_t *end)
{
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    if (begin == end)
        return -1;
    int value = 0;
    for (const char16_t *p = begin; p < end; ++p) {
        if (*p < u'0' || *p > u'9')
            return -1;
        value = value * 10 + (*p - u'0');
        if (value > 255) // also keeps a long run of digits from overflowing
            return -1;
    }
    return value;
}

} // namespace

QString ConvertToASCII(const QString &InputString)
{
    if (InputString.isEmpty())
        return {};
    // Each code and one space, less the space after the last one.
    qsizetype size = -1;
    for (const QChar c : InputString)
        size += spellings[Windows1252::codeOf(c)].size + 1;
    QString codes(size + 1, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(codes.data());
    for (const QChar c : InputString) {
        const Spelling &s = spellings[Windows1252::codeOf(c)];
        for (qsizetype i = 0; i < s.size; ++i)
            *out++ = s.digits[i];
        *out++ = u' ';
    }
    codes.truncate(size);
    return codes;
}

QString DecodeFromASCII(const QString &asciiString)
{
    // Every character decoded needs at least one digit and, but for the
    // last, one space.
    QString text(asciiString.size() / 2 + 1, Qt::Uninitialized);
    QChar *out = text.data();
    const char16_t *const codes = reinterpret_cast<const char16_t *>(asciiString.constData());
    const qsizetype size = asciiString.size();
    // Split at every single space: n spaces make n + 1 tokens, empty ones too.
    for (qsizetype begin = 0; begin <= size;) {
        qsizetype end = begin;
        while (end < size && codes[end] != u' ')
            ++end;
        const int code = codeOfToken(codes + begin, codes + end);
        if (code >= 0)
            *out++ = Windows1252::charOf(static_cast<unsigned char>(code));
        begin = end + 1;
    }
    text.truncate(out - text.constData());
    return text;
}
