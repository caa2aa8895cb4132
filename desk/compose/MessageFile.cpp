#include "MessageFile.h"

#include "FieldEscaping.h"
#include "Windows1252.h"

#include <QRegularExpression>

namespace MessageFile {

QString longStamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("HH-mm-ss--MM-dd-yy"));
}

QString shortStamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("HHmmss"));
}

QString mailFileName(const QString &fromText, const QDateTime &time)
{
    return QStringLiteral("MAIL - ") + fromText + QStringLiteral("--") + longStamp(time) + QStringLiteral(".dat");
}

QString replyFileName(const QDateTime &time)
{
    return QStringLiteral("MAIL - ") + shortStamp(time) + QStringLiteral(".txt");
}

QString attachmentFileName(const QDateTime &time)
{
    return QStringLiteral("File - ") + longStamp(time) + QStringLiteral(".txt");
}

QString upperCase(const QString &field)
{
    // QString::toUpper would spell 'ß' as "SS" and raise 'µ' to a Greek
    // capital the code page lacks, which the record would carry as '?'.
    QString upper = field;
    for (QChar &c : upper) {
        const QChar raised = c.toUpper();
        if (Windows1252::holds(raised))
            c = raised;
    }
    return upper;
}

QByteArray mailRecordLine(const QString &to, const QString &subject, const QString &message, const QString &from)
{
    const QString record = ConvertToASCII(upperCase(to)) + u',' + ConvertToASCII(upperCase(subject)) + u','
                           + ConvertToASCII(upperCase(message)) + u',' + ConvertToASCII(upperCase(from));
    return record.toLatin1() + "\r\n";
}

std::optional<MailFields> parseMail(const QString &text)
{
    const QStringList pieces = text.split(u',');
    if (pieces.size() < 4)
        return std::nullopt;
    return MailFields{DecodeFromASCII(pieces[0]), DecodeFromASCII(pieces[1]), DecodeFromASCII(pieces[2]),
                      DecodeFromASCII(pieces[3])};
}

namespace {

// Case-insensitive search for an upper-case ASCII word in raw bytes,
// without an upper-cased copy of a file that may be very large.
bool containsWord(QByteArrayView bytes, const char (&word)[5])
{
    const qsizetype size = bytes.size();
    const char *data = bytes.data();
    for (qsizetype i = 0; i + 4 <= size; ++i) {
        if ((data[i] & ~0x20) != word[0])
            continue;
        if ((data[i + 1] & ~0x20) == word[1] && (data[i + 2] & ~0x20) == word[2] && (data[i + 3] & ~0x20) == word[3])
            return true;
    }
    return false;
}

} // namespace

Kind classify(QByteArrayView content, const QString &fileName)
{
    const QString name = fileName.toUpper();
    if (name.contains(u"MAIL") || containsWord(content, "MAIL"))
        return Kind::Mail;
    if (name.contains(u"FILE") || containsWord(content, "FILE"))
        return Kind::Attachment;
    return Kind::Unrecognized;
}

QString fileNamePart(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return path.mid(cut + 1);
}

QString safeFileName(const QString &senderName)
{
    QString name = fileNamePart(senderName);
    // A drive prefix such as "C:" left without a separator after it.
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    name.remove(drive);
    QString clean;
    for (const QChar c : name)
        if (c.category() != QChar::Other_Control && c != u':')
            clean += c;
    clean = clean.trimmed();
    if (clean == u"." || clean == u"..")
        return {};
    // No hidden files from a name such as "..profile", and no blank left
    // in front once the dots are gone (". .profile").
    while (clean.startsWith(u'.') || (!clean.isEmpty() && clean.front().isSpace()))
        clean.remove(0, 1);
    return clean;
}

} // namespace MessageFile
