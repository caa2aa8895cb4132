#include "Base64.h"

#include "Windows1252.h"

#include <QObject>
#include <QtEndian>
#include <array>
#include <cstring>

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

// Decoding tables for whole groups of four: each alphabet character's six
// bits already in their place in the group's 24 bits, every other byte a
// mark in the top bits, so one OR of four lookups tells whether the group
// is plain Base64.
constexpr quint32 notAlphabet = 0xFF000000u;

constexpr std::array<quint32, 256> makePlaced(int shift)
{
    std::array<quint32, 256> placed{};
    for (int c = 0; c < 256; ++c)
        placed[c] = values[c] >= 0 ? quint32(values[c]) << shift : notAlphabet;
    return placed;
}

constexpr std::array<quint32, 256> placed0 = makePlaced(18);
constexpr std::array<quint32, 256> placed1 = makePlaced(12);
constexpr std::array<quint32, 256> placed2 = makePlaced(6);
constexpr std::array<quint32, 256> placed3 = makePlaced(0);

// The two characters of every 12 bits, so three bytes take two lookups.
constexpr std::array<std::array<char, 2>, 4096> makePairs()
{
    std::array<std::array<char, 2>, 4096> pairs{};
    for (int i = 0; i < 4096; ++i)
        pairs[i] = {alphabet[i >> 6], alphabet[i & 63]};
    return pairs;
}

constexpr std::array<std::array<char, 2>, 4096> pairs = makePairs();

} // namespace

QByteArray encode(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    QByteArray text((size + 2) / 3 * 4, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    char *out = text.data();
    qsizetype i = 0;
    // Six bytes at a time out of one 8-byte load: eight characters, one store.
    for (; i + 8 <= size; i += 6) {
        quint64 word;
        std::memcpy(&word, in + i, 8);
        word = qFromBigEndian(word);
        const auto first = static_cast<unsigned int>(word >> 40);
        const auto second = static_cast<unsigned int>(word >> 16) & 0xFFFFFF;
        char eight[8];
        std::memcpy(eight, pairs[first >> 12].data(), 2);
        std::memcpy(eight + 2, pairs[first & 0xFFF].data(), 2);
        std::memcpy(eight + 4, pairs[second >> 12].data(), 2);
        std::memcpy(eight + 6, pairs[second & 0xFFF].data(), 2);
        std::memcpy(out, eight, 8);
        out += 8;
    }
    for (; i + 3 <= size; i += 3) {
        const unsigned int triple = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        std::memcpy(out, pairs[triple >> 12].data(), 2);
        std::memcpy(out + 2, pairs[triple & 0xFFF].data(), 2);
        out += 4;
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
    const auto *in = reinterpret_cast<const unsigned char *>(text.data());
    const auto *const end = in + text.size();
    const qint64 firstPosition = m_position;
    while (in < end) {
        if (m_filled == 0 && !m_padded) {
            // The common case: whole groups of four alphabet characters.
            while (end - in >= 4) {
                const quint32 group = placed0[in[0]] | placed1[in[1]] | placed2[in[2]] | placed3[in[3]];
                if (group & notAlphabet)
                    break;
                write[0] = static_cast<char>(group >> 16);
                write[1] = static_cast<char>(group >> 8);
                write[2] = static_cast<char>(group);
                write += 3;
                in += 4;
            }
            if (in == end)
                break;
        }
        const unsigned char ch = *in++;
        m_position = firstPosition + (in - reinterpret_cast<const unsigned char *>(text.data()));
        const signed char value = values[ch];
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
    if (m_error.isEmpty())
        m_position = firstPosition + text.size();
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
