#include "Base64.h"

#include "Windows1252.h"

#include <QObject>
#include <QtEndian>
#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TAVRIX_BASE64_AVX2 1
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

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

#ifdef TAVRIX_BASE64_AVX2
// 24 bytes to 32 characters per step, eight lanes of the scalar loop at
// once: the bytes spread so that each 32-bit lane holds one group's three,
// the four six-bit indices moved into their own bytes by two multiplies,
// and each index turned into its character by adding the offset of its
// range of the alphabet (A-Z, a-z, 0-9, '+', '/'), found by one shuffle.
// Answers how many bytes it took; it reads 4 bytes past the last group.
__attribute__((target("avx2"))) qsizetype encodeWide(const unsigned char *in, qsizetype size, char *out)
{
    const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, //
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    const __m256i offsets = _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                             '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                                             'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                             '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    qsizetype i = 0;
    for (; i + 28 <= size; i += 24) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 12));
        const __m256i groups = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), spread);
        const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(groups, _mm256_set1_epi32(0x0fc0fc00)),
                                                 _mm256_set1_epi32(0x04000040));
        const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(groups, _mm256_set1_epi32(0x003f03f0)),
                                                  _mm256_set1_epi32(0x01000010));
        const __m256i indices = _mm256_or_si256(first, second);
        // 0-25 -> 13, 26-51 -> 0, 52-61 -> 1-10, 62 -> 11, 63 -> 12.
        __m256i range = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
        const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices);
        range = _mm256_or_si256(range, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
        const __m256i text = _mm256_add_epi8(indices, _mm256_shuffle_epi8(offsets, range));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i / 3 * 4), text);
    }
    return i;
}

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// A large result is a fresh mapping that the kernel would otherwise fault
// in one page per trap as the encoder reaches it; asking for all of it in
// one call costs a fraction of that. Nothing changes if the kernel is too
// old to know the request.
void prefault(char *data, qsizetype size)
{
#ifdef __linux__
    constexpr qsizetype worthIt = 1024 * 1024;
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    if (size < worthIt)
        return;
    const auto page = quintptr(4096);
    const quintptr begin = (quintptr(data) + page - 1) & ~(page - 1);
    const quintptr end = (quintptr(data) + quintptr(size)) & ~(page - 1);
    if (end > begin)
        static_cast<void>(::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE));
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

} // namespace

QByteArray encode(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    QByteArray text((size + 2) / 3 * 4, Qt::Uninitialized);
    prefault(text.data(), text.size());
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    char *out = text.data();
    qsizetype i = 0;
#ifdef TAVRIX_BASE64_AVX2
    if (hasAvx2()) {
        i = encodeWide(in, size, out);
        out += i / 3 * 4;
    }
#endif
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

Outcome Decoder::feed(QByteArrayView text, QByteArray &out)
{
    if (!m_error.isEmpty())
        return Outcome::failure(m_error);
    if (m_stopped)
        return {};
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
    return m_error.isEmpty() ? Outcome() : Outcome::failure(m_error);
}

Outcome Decoder::finish()
{
    if (m_error.isEmpty() && m_filled != 0)
        m_error = QObject::tr("the text ends in the middle of a group of four characters");
    return m_error.isEmpty() ? Outcome() : Outcome::failure(m_error);
}

Result<QByteArray> decode(QByteArrayView text)
{
    Decoder decoder;
    QByteArray bytes;
    if (Outcome fed = decoder.feed(text, bytes); !fed)
        return fed;
    if (Outcome finished = decoder.finish(); !finished)
        return finished;
    return bytes;
}

} // namespace Base64

QString Base64Encode(const QByteArray &data)
{
    return QString::fromLatin1(Base64::encode(data));
}

Result<QString> Base64Decode(const QString &base64Data)
{
    const QByteArray text = base64Data.toLatin1();
    const Result<QByteArray> bytes = Base64::decode(text);
    if (!bytes)
        return bytes.outcome();
    return Windows1252::decode(*bytes);
}
