#pragma once

#include "shell/Outcome.h"

#include <QByteArray>
#include <QString>

/// Base64 of RFC 4648 (standard alphabet, '=' padding), written without
/// line breaks. Decoding ignores white space (space, tab, CR, LF) anywhere
/// and refuses everything else that is not Base64.
namespace Base64 {

QByteArray encode(QByteArrayView bytes);

/// The decoded bytes, or why the text is not Base64.
Result<QByteArray> decode(QByteArrayView text);

/// Streaming decoder: feed text in pieces of any size, take bytes as they come.
class Decoder
{
public:
    /// Appends the bytes decoded from `text` to `out`; a failure says where
    /// the text stops being Base64, and every later call repeats it.
    Outcome feed(QByteArrayView text, QByteArray &out);
    /// Success when the text ended on a whole group of four.
    Outcome finish();

    /// Takes text after a closing '=' as the start of something else: the
    /// decoder stops there instead of refusing it.
    void setStopAfterEndMark(bool stop) { m_stopAfterEndMark = stop; }
    /// True once text after a closing '=' made the decoder stop.
    bool stoppedAfterEndMark() const { return m_stopped; }

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

/// Base64 text to the Windows-1252 text of its bytes, or why it is not Base64.
Result<QString> Base64Decode(const QString &base64Data);
