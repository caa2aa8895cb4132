#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

/// Base64 of RFC 4648 (standard alphabet, '=' padding), written without
/// line breaks. Decoding ignores white space (space, tab, CR, LF) anywhere
/// and refuses everything else that is not Base64.
namespace Base64 {

QByteArray encode(QByteArrayView bytes);

/// The decoded bytes, or nothing when the text is not Base64; `error`
/// then says why.
std::optional<QByteArray> decode(QByteArrayView text, QString *error = nullptr);

/// Streaming decoder: feed text in pieces of any size, take bytes as they come.
class Decoder
{
public:
    /// Appends the bytes decoded from `text` to `out`; false on bad input.
    bool feed(QByteArrayView text, QByteArray &out);
    /// True when the text ended on a whole group of four; otherwise fills `error`.
    bool finish();

    /// Takes text after a closing '=' as the start of something else: the
    /// decoder stops there instead of refusing it.
    void setStopAfterEndMark(bool stop) { m_stopAfterEndMark = stop; }
    /// True once text after a closing '=' made the decoder stop.
    bool stoppedAfterEndMark() const { return m_stopped; }
    QString error() const { return m_error; }

private:
    unsigned char m_group[4] = {};
    int m_filled = 0;
    bool m_padded = false;
    bool m_stopAfterEndMark = false;
    bool m_stopped = false;
    qint64 m_position = 0;
    QString m_error;
};

} // namespace Base64

/// Bytes to Base64 text. Encoding cannot fail; the result is empty exactly
/// when `data` is, which a caller that refuses empty data checks first.
QString Base64Encode(const QByteArray &data);

/// Base64 text to the Windows-1252 text of its bytes; nothing when invalid.
std::optional<QString> Base64Decode(const QString &base64Data, QString *error = nullptr);
