#include "ReceivedMessage.h"

#include "compose/AttachmentStream.h"
#include "compose/WholeWrite.h"
#include "shell/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>


namespace {

// A mail record is a few typed fields as code lists; a line longer than
// this is no mail, and reading on would only fill memory.
constexpr qsizetype maxRecordBytes = 4 * 1024 * 1024;
// All records of one file that are kept to be taken apart.
constexpr qsizetype maxKeptBytes = 16 * 1024 * 1024;
constexpr qint64 readPiece = 64 * 1024;

bool isCleanMailByte(char ch)
{
    return (ch >= '0' && ch <= '9') || ch == ' ' || ch == ',' || ch == '\r' || ch == '\n';
}

// The mail records of a received file, read in pieces up to the first
// byte that no mail holds.
struct MailScan {
    QList<QByteArray> records; ///< each line as it stands, with its line end
    qsizetype count = 0;
    bool clean = true; ///< nothing in the file but whole mail records
    Outcome read; ///< a failure: why the file is not taken apart
};

MailScan scanMail(QFile &in, qsizetype maxRecords)
{
    MailScan scan;
    qsizetype kept = 0;
    QByteArray line;
    const auto endLine = [&] {
        const QByteArray record = line.endsWith('\n') ? line.chopped(line.endsWith("\r\n") ? 2 : 1) : line;
        if (record.trimmed().isEmpty()) {
            line.clear();
            return;
        }
        if (record.count(',') < 3) { // not the four fields of a mail
            scan.clean = false;
            line.clear();
            return;
        }
        ++scan.count;
        kept += line.size();
        if (scan.count <= maxRecords && kept <= maxKeptBytes)
            scan.records << line;
        line.clear();
    };
    while (scan.clean && scan.read && scan.count <= maxRecords) {
        const QByteArray piece = in.read(readPiece);
        if (piece.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                scan.read = Outcome::failure(QObject::tr("%1 cannot be read: %2")
                                                    .arg(QDir::toNativeSeparators(in.fileName()), in.errorString()));
            break;
        }
        for (const char ch : piece) {
            if (!isCleanMailByte(ch)) {
                scan.clean = false;
                line.clear(); // a line cut by what no mail holds is no record
                break;
            }
            line += ch;
            if (ch == '\n') {
                endLine();
                if (!scan.clean)
                    break;
            } else if (line.size() > maxRecordBytes) {
                scan.read = Outcome::failure(QObject::tr("%1 holds a line longer than %2 MB, which no mail record is.")
                                                    .arg(QDir::toNativeSeparators(in.fileName()))
                                                    .arg(maxRecordBytes / (1024 * 1024)));
                break;
            }
        }
    }
    if (scan.clean && scan.read)
        endLine(); // the last record may end without its line end
    if (scan.read && scan.count > scan.records.size() && scan.count <= maxRecords)
        scan.read = Outcome::failure(QObject::tr("%1 holds more mail text than the %2 MB that are taken apart.")
                                            .arg(QDir::toNativeSeparators(in.fileName()))
                                            .arg(maxKeptBytes / (1024 * 1024)));
    return scan;
}

QByteArray withoutLineEnd(const QByteArray &line)
{
    return line.endsWith('\n') ? line.chopped(line.endsWith("\r\n") ? 2 : 1) : line;
}

} // namespace

ReceivedMessage::ReceivedMessage(const QString &path)
    : m_path(path)
    , m_file(path)
{
}

Outcome ReceivedMessage::open()
{
    return RegularFile::openForReading(m_file);
}

Result<MessageFile::Kind> ReceivedMessage::kind(const QString &name)
{
    // Base64 text spells "mail" about once a megabyte, which would send a
    // large attachment to the mail reader: the name is asked first.
    MessageFile::Kind kind = MessageFile::classify(QByteArrayView(), name);
    if (kind != MessageFile::Kind::Unrecognized)
        return kind;
    // Read in pieces that overlap by less than a word.
    QByteArray carry;
    while (true) {
        const QByteArray piece = m_file.read(readPiece);
        if (piece.isEmpty())
            break;
        const QByteArray text = carry + piece;
        const auto found = MessageFile::classify(text, QString());
        if (found == MessageFile::Kind::Mail) {
            kind = found;
            break;
        }
        if (found == MessageFile::Kind::Attachment)
            kind = found;
        carry = text.right(3);
    }
    if (m_file.error() != QFileDevice::NoError || !m_file.seek(0))
        return Outcome::failure(
            QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
    return kind;
}

Result<qsizetype> ReceivedMessage::takeApart(MessageFile::Kind kind)
{
    m_kind = kind;
    m_posts.clear();
    m_onlyMail = true;
    if (kind == MessageFile::Kind::Mail) {
        const MailScan scan = scanMail(m_file, maxPosts);
        if (!scan.read)
            return scan.read;
        if (scan.count > maxPosts)
            return Outcome::failure(
                QObject::tr("The message file holds more than %1 messages; no more than %1 are taken apart.")
                    .arg(maxPosts));
        m_onlyMail = scan.clean;
        if (scan.count == 0)
            return qsizetype(0);
        // A record holds no line end of its own: each CR LF ends one post.
        // A file with anything else in it is not taken apart.
        if (scan.records.size() == 1 || !scan.clean)
            m_posts << Post{scan.records.first(), -1, -1, {}};
        else
            for (const QByteArray &line : scan.records)
                m_posts << Post{withoutLineEnd(line), -1, -1, "\r\n"};
        return m_posts.size();
    }
    const Result<AttachmentStream::Layout> layout = AttachmentStream::layoutOf(m_file);
    if (!layout)
        return layout.outcome();
    if (layout->entries.size() < 2) {
        m_posts << Post{{}, 0, -1, {}};
    } else {
        if (layout->entries.size() > maxPosts)
            return Outcome::failure(QObject::tr("The message file holds %1 messages; no more than %2 are taken apart.")
                                        .arg(layout->entries.size())
                                        .arg(maxPosts));
        for (const auto &range : layout->entries)
            m_posts << Post{{}, range.start, range.end, "\r\n"};
    }
    return m_posts.size();
}

// A post: its own bytes, or a stretch of the received file copied in
// pieces, then its tail. A failure is the system's reason alone; the
// caller names the file it was writing.
Outcome ReceivedMessage::writePost(const Post &post, QIODevice &out)
{
    if (Outcome written = writeWhole(out, post.bytes); !written)
        return written;
    if (post.start >= 0) {
        if (!m_file.seek(post.start))
            return Outcome::failure(m_file.errorString());
        qint64 left = (post.end < 0 ? m_file.size() : post.end) - post.start;
        while (left > 0) {
            const QByteArray piece = m_file.read(std::min(left, readPiece));
            if (piece.isEmpty())
                return Outcome::failure(QObject::tr("%1 cannot be read: %2")
                                            .arg(QDir::toNativeSeparators(m_path),
                                                 m_file.error() != QFileDevice::NoError
                                                     ? m_file.errorString()
                                                     : QObject::tr("it became shorter")));
            if (Outcome written = writeWhole(out, piece); !written)
                return written;
            left -= piece.size();
        }
    }
    return writeWhole(out, post.tail);
}

Result<QStringList> ReceivedMessage::writeOthersBeside()
{
    removeOthers();
    const QFileInfo original(m_path);
    const QString suffix = original.suffix().isEmpty() ? QString() : u'.' + original.suffix();
    int number = 1;
    for (qsizetype i = 1; i < m_posts.size(); ++i) {
        QString copy;
        do
            copy = original.dir().filePath(
                QStringLiteral("%1 (%2)%3").arg(original.completeBaseName()).arg(++number).arg(suffix));
        while (QFileInfo::exists(copy));
        QSaveFile out(copy);
        Outcome written = out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
                              ? writePost(m_posts.at(i), out)
                              : Outcome::failure(out.errorString());
        if (written && !out.commit())
            written = Outcome::failure(out.errorString());
        if (!written) {
            removeOthers();
            return Outcome::failure(
                QObject::tr("The message file holds %1 messages, and %2 cannot be written for one of them: %3")
                    .arg(m_posts.size())
                    .arg(QDir::toNativeSeparators(copy), written.error()));
        }
        m_others << copy;
    }
    return m_others;
}

void ReceivedMessage::removeOthers()
{
    for (const QString &copy : std::as_const(m_others))
        QFile::remove(copy);
    m_others.clear();
}

Outcome ReceivedMessage::handOver(const QString &target)
{
    if (m_posts.isEmpty())
        return Outcome::failure(QObject::tr("%1 holds no message to hand over").arg(QDir::toNativeSeparators(m_path)));
    Post first = m_posts.first();
    if (m_kind == MessageFile::Kind::Mail)
        first.tail += "\r\n";
    QSaveFile out(target);
    Outcome written = out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ? writePost(first, out)
                                                                             : Outcome::failure(out.errorString());
    if (written && !out.commit())
        written = Outcome::failure(out.errorString());
    if (!written)
        return Outcome::cannotWrite(target, written.error());
    return {};
}
