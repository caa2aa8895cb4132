#include "FieldEscaping.h"

#include "Windows1252.h"

QString ConvertToASCII(const QString &InputString)
{
    QString codes;
    codes.reserve(InputString.size() * 4);
    for (const QChar c : InputString) {
        if (!codes.isEmpty())
            codes += u' ';
        codes += QString::number(Windows1252::codeOf(c));
    }
    return codes;
}

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// A plain decimal number 0-255 once white space at the ends is ignored;
// signs, fractions, exponents and hexadecimal never occur in a code list.
int codeOfToken(QStringView token)
{
    qsizetype begin = 0, end = token.size();
    while (begin < end && isBlank(token[begin]))
        ++begin;
    while (end > begin && isBlank(token[end - 1]))
        --end;
    if (begin == end || end - begin > 3)
        return -1;
    int value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t digit = token[i].unicode();
        if (digit < u'0' || digit > u'9')
            return -1;
        value = value * 10 + (digit - u'0');
    }
    return value <= 255 ? value : -1;
}

} // namespace

QString DecodeFromASCII(const QString &asciiString)
{
    QString text;
    text.reserve(asciiString.size() / 3 + 1);
    for (const QStringView token : QStringView(asciiString).tokenize(u' ')) {
        const int code = codeOfToken(token);
        if (code >= 0)
            text += Windows1252::charOf(static_cast<unsigned char>(code));
    }
    return text;
}
