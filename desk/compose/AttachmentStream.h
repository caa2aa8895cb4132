#pragma once

#include "Base64.h"
#include "shell/Outcome.h"

#include <QList>
#include <QString>
#include <functional>

class QIODevice;

/// The four texts and the file name that travel with an attachment.
struct AttachmentHeader {
    QString message;
    QString subject;
    QString to;
    QString from;
    QString fileName;
};

/// Told how many bytes of how many are done; returns false to cancel.
using ProgressCallback = std::function<bool(qint64 done, qint64 total)>;

/// Attachment messages streamed through a small buffer, so a file of any
/// size costs little memory: the record (the header's fields and the
/// Base64 text of the file's bytes, joined by commas) travels as Base64 of
/// its Windows-1252 bytes, followed by CR LF.
namespace AttachmentStream {

/// The longest header (the four texts and the file name, with the commas
/// between them) in bytes of the code page: a reader takes no more into
/// memory before the file's data begins, and a writer refuses a longer one.
inline constexpr qsizetype headerLimit = 4 * 1024 * 1024;

/// Writes one attachment entry to `out`, reading the file's bytes from
/// `source`. A failure or a cancel says why.
Outcome writeEntry(const AttachmentHeader &header, QIODevice &source, QIODevice &out,
                   const ProgressCallback &progress = {});

/// Where the entries of an attachment message file lie.
struct Layout {
    struct Range {
        qint64 start; ///< where the entry's text begins
        qint64 end;   ///< where its closing CR LF begins; -1: the end of the file
    };
    /// More than one only when every line of the file is a whole entry, so
    /// that the entries can be taken apart exactly; else the whole file.
    QList<Range> entries;
    /// The file has CR LF inside its text.
    bool severalLines = false;
};

/// Tells the entries of the message that `in` holds from its position on,
/// and puts the position back; a failure says why it cannot.
Result<Layout> layoutOf(QIODevice &in);

/// Reads an attachment message: first its header, then the attached bytes.
class Reader
{
public:
    explicit Reader(QIODevice &in);

    /// Decodes up to the end of the file name. A failure says why when the
    /// message is not an attachment message, or its header is longer than
    /// `headerLimit`.
    Result<AttachmentHeader> readHeader();

    /// Writes the attached bytes to `out`; a failure or a cancel says why.
    Outcome readData(QIODevice &out, const ProgressCallback &progress = {});

    /// The message decoded but holds fewer than six pieces; the header's
    /// failure then is the text the operator is shown as it stands.
    bool isFormatError() const { return m_formatError; }

    /// More follows the entry that was read (a second post of the same
    /// second, or text after the first entry's end); known once the header
    /// is read. Only the first entry is ever read.
    bool hasMoreEntries() const { return m_moreEntries; }

    /// CR LF stands inside the text, yet not every line is a whole entry:
    /// line ends were changed on the way, and where the entry ends could not
    /// be checked. The data read may hold part of a further post.
    bool endIsUncertain() const { return m_severalLines && m_limit < 0; }

private:
    Outcome planEntries();
    bool fill();
    Outcome failed() const { return Outcome::failure(m_error); }
    void noteLineEnds(QByteArrayView raw);

    QIODevice &m_in;
    Base64::Decoder m_outer;
    QByteArray m_decoded; ///< outer layer decoded but not yet used
    bool m_outerDone = false;
    bool m_planned = false;
    qint64 m_limit = -1;              ///< where the first entry ends; -1: the end of the file
    bool m_severalLines = false;      ///< CR LF inside the text, so entries may be joined
    bool m_moreEntries = false;
    bool m_afterCr = false;      ///< a sequential source's last byte read was CR
    bool m_afterLineEnd = false; ///< a sequential source's text read so far ends in CR LF and blanks
    QString m_error;
    bool m_formatError = false;
};

} // namespace AttachmentStream
