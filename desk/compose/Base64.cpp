#include "Base64.h"

#include "Windows1252.h"

#include <QObject>
#include <array>

namespace Base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr signed char whiteSpace = -2;
constexpr signed char padding = -3;
constexpr signed char invalid = -1;

constexpr std::array<signed char, 256> makeValues()
{
    std::array<signed char, 256> values{};
    for (auto &v : values)
        v = invalid;
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    values[' '] = values['\t'] = values['\r'] = values['\n'] = whiteSpace;
    values['='] = padding;
    return values;
}

constexpr std::array<signed char, 256> values = makeValues();

} // namespace

QByteArray encode(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    QByteArray text((size + 2) / 3 * 4, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    char *out = text.data();
    qsizetype i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned int triple = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        *out++ = alphabet[(triple >> 18) & 63];
        *out++ = alphabet[(triple >> 12) & 63];
        *out++ = alphabet[(triple >> 6) & 63];
        *out++ = alphabet[triple & 63];
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const unsigned int triple = (in[i] << 16) | (two ? in[i + 1] << 8 : 0);
        *out++ = alphabet[(triple >> 18) & 63];
        *out++ = alphabet[(triple >> 12) & 63];
        *out++ = two ? alphabet[(triple >> 6) & 63] : '=';
        *out++ = '=';
    }
    return text;
}

bool Decoder::feed(QByteArrayView text, QByteArray &out)
{
    if (!m_error.isEmpty())
        return false;
    if (m_stopped)
        return true;
    const qsizetype start = out.size();
    out.resize(start + text.size() / 4 * 3 + 3);
    char *write = out.data() + start;
    for (const char ch : text) {
        ++m_position;
        const signed char value = values[static_cast<unsigned char>(ch)];
        if (value == whiteSpace)
            continue;
        if (value == invalid) {
            m_error = QObject::tr("character %1 is not Base64").arg(m_position);
            break;
        }
        if (m_padded && value != padding && m_filled == 0 && m_stopAfterEndMark) {
            m_stopped = true;
            break;
        }
        if (m_padded && value != padding) {
            m_error = QObject::tr("text continues after the end mark '=' at character %1").arg(m_position);
            break;
        }
        if (value == padding) {
            // '=' may only close a group: "xx==" or "xxx=".
            if (m_filled < 2) {
                m_error = QObject::tr("misplaced '=' at character %1").arg(m_position);
                break;
            }
            if (!m_padded) {
                m_padded = true;
                *write++ = static_cast<char>((m_group[0] << 2) | (m_group[1] >> 4));
                if (m_filled == 3)
                    *write++ = static_cast<char>((m_group[1] << 4) | (m_group[2] >> 2));
            }
            if (++m_filled == 4)
                m_filled = 0;
            continue;
        }
        m_group[m_filled++] = static_cast<unsigned char>(value);
        if (m_filled == 4) {
            *write++ = static_cast<char>((m_group[0] << 2) | (m_group[1] >> 4));
            *write++ = static_cast<char>((m_group[1] << 4) | (m_group[2] >> 2));
            *write++ = static_cast<char>((m_group[2] << 6) | m_group[3]);
            m_filled = 0;
        }
    }
    out.resize(write - out.data());
    return m_error.isEmpty();
}

bool Decoder::finish()
{
    if (m_error.isEmpty() && m_filled != 0)
        m_error = QObject::tr("the text ends in the middle of a group of four characters");
    return m_error.isEmpty();
}

std::optional<QByteArray> decode(QByteArrayView text, QString *error)
{
    Decoder decoder;
    QByteArray bytes;
    if (decoder.feed(text, bytes) && decoder.finish())
        return bytes;
    if (error)
        *error = decoder.error();
    return std::nullopt;
}

} // namespace Base64

QString Base64Encode(const QByteArray &data)
{
    return QString::fromLatin1(Base64::encode(data));
}

std::optional<QString> Base64Decode(const QString &base64Data, QString *error)
{
    const QByteArray text = base64Data.toLatin1();
    if (const auto bytes = Base64::decode(text, error))
        return Windows1252::decode(*bytes);
    return std::nullopt;
}
