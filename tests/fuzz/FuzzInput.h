#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

/// One fuzz input taken apart into the pieces a target needs: single bytes
/// for choices, and byte strings separated by 0x00.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_bytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)))
    {
    }

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    /// The next byte, 0 after the end.
    uint8_t byte() { return m_pos < m_bytes.size() ? uint8_t(m_bytes[m_pos++]) : 0; }

    /// Up to the next 0x00 (skipped) or the end.
    QByteArray piece()
    {
        const qsizetype end = m_bytes.indexOf('\0', m_pos);
        const qsizetype stop = end < 0 ? m_bytes.size() : end;
        QByteArray piece(m_bytes.constData() + m_pos, stop - m_pos);
        m_pos = end < 0 ? stop : end + 1;
        return piece;
    }

    /// Everything not yet taken.
    QByteArray rest()
    {
        QByteArray rest(m_bytes.constData() + m_pos, m_bytes.size() - m_pos);
        m_pos = m_bytes.size();
        return rest;
    }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

/// A byte array as hex, for the message of a failed property.
inline QByteArray fuzzHex(const QByteArray &bytes)
{
    return bytes.left(256).toHex(' ') + (bytes.size() > 256 ? " ..." : "");
}

/// A property that does not hold: said on stderr, then abort(), so that
/// libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, what)                                                                        \
    do {                                                                                                   \
        if (!(condition)) {                                                                                \
            std::fprintf(stderr, "property violated: %s (%s:%d)\n", what, __FILE__, __LINE__);            \
            std::abort();                                                                                  \
        }                                                                                                  \
    } while (0)

/// A device over fixed bytes that hands them out a few at a time, the way a
/// pipe or a socket does; random access unless told to be sequential.
class ChunkedDevice : public QIODevice
{
public:
    ChunkedDevice(QByteArray bytes, qint64 chunk, bool sequential)
        : m_bytes(std::move(bytes))
        , m_chunk(std::max<qint64>(1, chunk))
        , m_sequential(sequential)
    {
    }

    bool isSequential() const override { return m_sequential; }
    qint64 size() const override { return m_bytes.size(); }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_at + QIODevice::bytesAvailable(); }
    bool seek(qint64 pos) override
    {
        if (m_sequential || pos < 0 || pos > m_bytes.size() || !QIODevice::seek(pos))
            return false;
        m_at = pos;
        return true;
    }
    bool atEnd() const override { return m_at >= m_bytes.size() && QIODevice::bytesAvailable() == 0; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min({maxSize, m_chunk, qint64(m_bytes.size()) - m_at});
        if (n <= 0)
            return m_sequential ? -1 : 0;
        std::copy_n(m_bytes.constData() + m_at, n, data);
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_chunk;
    bool m_sequential;
    qint64 m_at = 0;
};
