#include "MessageSearch.h"

#include "compose/AttachmentStream.h"
#include "compose/CsvRecords.h"
#include "compose/MessageFile.h"
#include "compose/Windows1252.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

MailFields fromPieces(const QStringList &pieces)
{
    MailFields mail;
    mail.to = pieces.value(0);
    mail.subject = pieces.value(1);
    if (pieces.size() > 4) {
        // Commas typed into the message, written before fields were quoted.
        mail.message = pieces.mid(2, pieces.size() - 3).join(u',');
        mail.from = pieces.last();
    } else {
        mail.message = pieces.value(2);
        mail.from = pieces.value(3);
    }
    return mail;
}

QString folded(const MailFields &mail)
{
    return (mail.to + u'\n' + mail.subject + u'\n' + mail.message + u'\n' + mail.from).toCaseFolded();
}

// A mail file holds only code lists: digits, spaces, commas and line ends.
bool looksLikeCodeLists(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == ' ' || c == ',' || c == '\r' || c == '\n';
    });
}

} // namespace

void MessageSearch::setFolders(const QString &savedFolder, const QString &receivedFolder)
{
    const QString paths[] = {savedFolder, receivedFolder};
    for (int i = 0; i < 2; ++i) {
        if (m_folders[i].path != paths[i] || m_folders[i].path.isEmpty()) {
            m_folders[i] = Folder();
            m_folders[i].path = paths[i];
            m_sinceFullCheck.invalidate();
        }
        m_folders[i].place = i == 0 ? Place::Saved : Place::Received;
    }
    // One folder set as both is searched once, as the archive.
    if (QDir::cleanPath(receivedFolder) == QDir::cleanPath(savedFolder))
        m_folders[1] = Folder();
}

void MessageSearch::refresh()
{
    update(true);
}

void MessageSearch::update(bool everyFile)
{
    m_problems.clear();
    for (Folder &folder : m_folders) {
        if (folder.path.isEmpty())
            continue;
        updateFolder(folder, everyFile);
        m_problems += folder.problems;
    }
    m_problems.removeDuplicates();
    if (everyFile)
        m_sinceFullCheck.start();
}

namespace {

MessageSearch::Stamp stampOf(const QFileInfo &info)
{
    return {info.size(), info.lastModified().toMSecsSinceEpoch(), info.metadataChangeTime().toMSecsSinceEpoch()};
}

} // namespace

void MessageSearch::updateFolder(Folder &folder, bool everyFile)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QFileInfo info(folder.path);
    if (!info.isDir()) {
        folder.kept.clear();
        folder.listed = false;
        folder.problems = {QObject::tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.path))};
        return;
    }
    const Stamp stamp = stampOf(info);
    // A change within the last moments may share the folder's time with the
    // listing before it, so a folder changed so lately is listed again.
    const bool relist = everyFile || !folder.listed || stamp != folder.stamp || now - stamp.modified < 2000;
    if (!relist) {
        // Only the files that may still grow are looked at.
        const qint64 settledBefore = now - settlingTime;
        QStringList growing;
        for (auto it = folder.kept.cbegin(); it != folder.kept.cend(); ++it)
            if (it->stamp.modified >= settledBefore)
                growing << it.key();
        for (const QString &path : growing)
            recheck(folder, path, false, &folder.kept[path]);
        return;
    }

    folder.problems.clear();
    folder.stamp = stamp;
    folder.listed = true;
    // The iterator tells files from folders by the listing itself, without
    // a look at each file (and costs a third of QDir::entryList).
    QDirIterator names(folder.path, QDir::Files);
    QSet<QString> listed;
    listed.reserve(folder.kept.size());
    const qint64 settledBefore = now - settlingTime;
    while (names.hasNext()) {
        const QString path = names.next();
        listed.insert(path);
        const auto kept = folder.kept.constFind(path);
        if (kept == folder.kept.cend())
            recheck(folder, path, true, nullptr);
        else if (everyFile || kept->stamp.modified >= settledBefore)
            recheck(folder, path, false, &*kept);
    }
    for (auto it = folder.kept.begin(); it != folder.kept.end();)
        it = listed.contains(it.key()) ? std::next(it) : folder.kept.erase(it);
}

// Reads the file again when it is new or its stamp changed; false when it
// is gone or cannot be read (and is then not kept).
bool MessageSearch::recheck(Folder &folder, const QString &path, bool always, const Kept *kept)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        folder.kept.remove(path);
        return false;
    }
    const Stamp stamp = stampOf(info);
    if (!always && kept && kept->stamp == stamp)
        return true;
    Kept read;
    if (!readFile(path, folder.place, info.lastModified(), read)) {
        // A file that cannot be read now is tried again at the next listing.
        folder.kept.remove(path);
        return false;
    }
    read.stamp = stamp;
    folder.kept.insert(path, std::move(read));
    return true;
}

bool MessageSearch::readFile(const QString &path, Place place, const QDateTime &modified, Kept &kept)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_folders[place == Place::Saved ? 0 : 1].problems
            << QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    QStringList &problems = m_folders[place == Place::Saved ? 0 : 1].problems;
    const QString name = QFileInfo(path).fileName();
    QList<MailFields> found;
    QDateTime date = modified;
    const auto tooLarge = [&] {
        problems << QObject::tr("%1 is larger than %2 MB and is not searched.")
                          .arg(QDir::toNativeSeparators(path))
                          .arg(fileLimit / (1024 * 1024));
        return false;
    };
    if (place == Place::Saved) {
        if (file.size() > fileLimit)
            return tooLarge();
        found = archiveMessages(QString::fromUtf8(file.readAll()));
        if (const QDateTime named = archiveNameDate(name); named.isValid())
            date = named;
    } else if (looksLikeCodeLists(file.peek(4096))) {
        if (file.size() > fileLimit)
            return tooLarge();
        found = receivedMail(Windows1252::decode(file.readAll()));
    } else {
        // An attachment message: its texts stand before the file's data,
        // which is never read here.
        AttachmentStream::Reader reader(file);
        if (const auto header = reader.readHeader())
            found << MailFields{header->to, header->subject, header->message, header->from};
        // Anything else is no message; the received list tells the operator so.
    }
    if (file.error() != QFileDevice::NoError) {
        problems << QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    for (int i = 0; i < found.size(); ++i) {
        kept.messages << Message{path, i, place, date, found[i]};
        kept.folded << folded(found[i]);
    }
    return true;
}

QList<MessageSearch::Message> MessageSearch::find(const QString &text)
{
    update(!m_sinceFullCheck.isValid() || m_sinceFullCheck.elapsed() >= m_fullCheckInterval);
    QList<Message> found;
    const QString wanted = text.toCaseFolded();
    if (wanted.isEmpty())
        return found;
    for (const Folder &folder : m_folders)
        for (const Kept &kept : folder.kept)
            for (qsizetype i = 0; i < kept.messages.size(); ++i)
                if (kept.folded[i].contains(wanted))
                    found << kept.messages[i];
    std::sort(found.begin(), found.end(), [](const Message &a, const Message &b) {
        if (a.date != b.date)
            return a.date > b.date;
        if (a.path != b.path)
            return a.path < b.path;
        return a.index < b.index;
    });
    return found;
}

QList<MessageSearch::Message> MessageSearch::messages() const
{
    QList<Message> all;
    for (const Folder &folder : m_folders)
        for (const Kept &kept : folder.kept)
            all += kept.messages;
    return all;
}

QList<MailFields> MessageSearch::archiveMessages(const QString &text)
{
    QList<MailFields> found;
    CsvRecords::Reader reader(text);
    QStringList pending;
    bool open = false;
    while (!reader.atEnd()) {
        const QStringList record = reader.next();
        const bool quoted = reader.lastWasQuoted();
        if (open) {
            // The line break ended a message too early: the text runs on here.
            pending.last() += QStringLiteral("\r\n") + record.first();
            pending += record.mid(1);
        } else if (record == QStringList{QString()}) {
            continue; // a blank line between saves
        } else {
            pending = record;
        }
        open = pending.size() < 4 && !quoted;
        if (!open)
            found << fromPieces(pending);
    }
    if (open)
        found << fromPieces(pending);
    return found;
}

QList<MailFields> MessageSearch::receivedMail(const QString &text)
{
    QList<MailFields> found;
    // Each post is one line; a code list never holds a line end.
    for (const QString &line : text.split(u'\n')) {
        if (line.count(u',') < 3)
            continue;
        if (const auto mail = MessageFile::parseMail(line))
            found << *mail;
    }
    return found;
}

QDateTime MessageSearch::archiveNameDate(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^mail_(\\d\\d)\\D(\\d\\d)\\D(\\d\\d)_(\\d\\d)(\\d\\d)\\.dat$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return {};
    const QDate day(2000 + match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt());
    if (!day.isValid() || !time.isValid())
        return {};
    return QDateTime(day, time);
}
