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
#include <QSet>

#include <algorithm>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <sys/stat.h>
#endif

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

// The four fields joined by LF and case-folded. Folding goes letter by
// letter, so runs of plain ASCII are lowered here in place and only the
// other runs go through Qt's tables, which cost several times as much.
QString folded(const MailFields &mail)
{
    QString text = mail.to + u'\n' + mail.subject + u'\n' + mail.message + u'\n' + mail.from;
    QChar *const begin = text.data();
    QChar *const end = begin + text.size();
    for (QChar *c = begin; c != end;) {
        if (c->unicode() < 0x80) {
            if (c->unicode() >= u'A' && c->unicode() <= u'Z')
                *c = QChar(char16_t(c->unicode() + (u'a' - u'A')));
            ++c;
            continue;
        }
        QChar *run = c;
        while (c != end && c->unicode() >= 0x80)
            ++c;
        const QString runFolded = QStringView(run, c).toString().toCaseFolded();
        if (runFolded.size() != c - run)
            return text.toCaseFolded(); // a letter whose folding is longer or shorter: all by Qt
        std::copy(runFolded.cbegin(), runFolded.cend(), run);
    }
    return text;
}

// Two ASCII digits at `at` as a number, or -1.
int twoDigits(QStringView text, qsizetype at)
{
    const auto digit = [&](qsizetype i) { return text[i] >= u'0' && text[i] <= u'9' ? text[i].unicode() - u'0' : -1; };
    const int high = digit(at);
    const int low = digit(at + 1);
    return high < 0 || low < 0 ? -1 : high * 10 + low;
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
            ++m_generation;
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

bool MessageSearch::update()
{
    return update(!m_sinceFullCheck.isValid() || m_sinceFullCheck.elapsed() >= m_fullCheckInterval);
}

bool MessageSearch::update(bool everyFile)
{
    m_problems.clear();
    for (Folder &folder : m_folders) {
        if (folder.path.isEmpty())
            continue;
        if (!updateFolder(folder, everyFile))
            return false;
        m_problems += folder.problems;
    }
    m_problems.removeDuplicates();
    if (everyFile)
        m_sinceFullCheck.start();
    return true;
}

namespace {

constexpr qint64 nanosPerMilli = 1000 * 1000;

// A path's kind, size and times, from one look at it. Going through
// QFileInfo would turn each time into local time and back, which costs
// more than the look itself over a large archive.
struct Look {
    bool isFile = false;
    bool isDir = false;
    MessageSearch::Stamp stamp;
};

Look lookAt(const QString &path)
{
    Look look;
#ifdef Q_OS_LINUX
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return look;
    const auto nanos = [](const timespec &time) { return qint64(time.tv_sec) * 1000 * nanosPerMilli + time.tv_nsec; };
    look.isFile = S_ISREG(status.st_mode);
    look.isDir = S_ISDIR(status.st_mode);
    look.stamp = {qint64(status.st_size), nanos(status.st_mtim), nanos(status.st_ctim)};
#else
    const QFileInfo info(path);
    look.isFile = info.isFile();
    look.isDir = info.isDir();
    look.stamp = {info.size(), info.lastModified().toMSecsSinceEpoch() * nanosPerMilli,
                  info.metadataChangeTime().toMSecsSinceEpoch() * nanosPerMilli};
#endif
    return look;
}

// The paths of the files in a folder that QDir::Files lists: regular files
// and links to them, hidden ones left out. On Linux the listing's own file
// kinds tell most of them apart, where QDirIterator makes a QFileInfo of
// each entry and costs ten times as much over a large archive.
QStringList filesIn(const QString &folderPath)
{
    QStringList paths;
#ifdef Q_OS_LINUX
    QString base = folderPath;
    if (!base.endsWith(u'/'))
        base += u'/';
    DIR *dir = ::opendir(QFile::encodeName(folderPath).constData());
    if (!dir)
        return paths;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const QString path = base + QFile::decodeName(entry->d_name);
        if (entry->d_type == DT_REG || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) && lookAt(path).isFile))
            paths << path;
    }
    ::closedir(dir);
#else
    QDirIterator names(folderPath, QDir::Files);
    while (names.hasNext())
        paths << names.next();
#endif
    return paths;
}

} // namespace

bool MessageSearch::updateFolder(Folder &folder, bool everyFile)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const Look look = lookAt(folder.path);
    if (!look.isDir) {
        if (!folder.kept.isEmpty())
            ++m_generation;
        folder.kept.clear();
        folder.listed = false;
        folder.problems = {QObject::tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.path))};
        return true;
    }
    const Stamp stamp = look.stamp;
    const qint64 settledBefore = now - settlingTime;
    // A change within the last moments may share the folder's time with the
    // listing before it, so a folder changed so lately is listed again.
    const bool relist =
        everyFile || !folder.listed || stamp != folder.stamp || now - stamp.modified / nanosPerMilli < 2000;
    if (!relist) {
        // Only the files that may still grow are looked at.
        QStringList growing;
        for (auto it = folder.kept.cbegin(); it != folder.kept.cend(); ++it)
            if (it->stamp.modified / nanosPerMilli >= settledBefore)
                growing << it.key();
        for (const QString &path : growing)
            recheck(folder, path, false, &folder.kept[path]);
        return true;
    }

    folder.problems.clear();
    folder.stamp = stamp;
    // Not counted as listed until the whole listing is through, so one cut
    // short is taken again.
    folder.listed = false;
    QSet<QString> listed;
    listed.reserve(folder.kept.size());
    for (const QString &path : filesIn(folder.path)) {
        listed.insert(path);
        const auto kept = folder.kept.constFind(path);
        const quint64 before = m_generation;
        if (kept == folder.kept.cend())
            recheck(folder, path, true, nullptr);
        else if (everyFile || kept->stamp.modified / nanosPerMilli >= settledBefore)
            recheck(folder, path, false, &*kept);
        if (m_generation != before && m_carryOn && !m_carryOn())
            return false;
    }
    for (auto it = folder.kept.begin(); it != folder.kept.end();) {
        if (listed.contains(it.key())) {
            ++it;
        } else {
            it = folder.kept.erase(it);
            ++m_generation;
        }
    }
    folder.listed = true;
    return true;
}

// Reads the file again when it is new or its stamp changed; false when it
// is gone or cannot be read (and is then not kept).
bool MessageSearch::recheck(Folder &folder, const QString &path, bool always, const Kept *kept)
{
    const Look look = lookAt(path);
    if (!look.isFile) {
        if (folder.kept.remove(path))
            ++m_generation;
        return false;
    }
    if (!always && kept && kept->stamp == look.stamp)
        return true;
    ++m_generation;
    Kept read;
    read.stamp = look.stamp;
    if (!readFile(path, folder.place, read)) {
        // A file that cannot be read now is tried again at the next listing.
        folder.kept.remove(path);
        return false;
    }
    folder.kept.insert(path, std::move(read));
    return true;
}

bool MessageSearch::readFile(const QString &path, Place place, Kept &kept)
{
    QStringList &problems = m_folders[place == Place::Saved ? 0 : 1].problems;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problems << QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    QList<MailFields> found;
    QDateTime date;
    kept.order = kept.stamp.modified / nanosPerMilli;
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
        if (const QDateTime named = archiveNameDate(name); named.isValid()) {
            date = named;
            kept.order = named.toMSecsSinceEpoch();
        }
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
    if (!date.isValid())
        date = QDateTime::fromMSecsSinceEpoch(kept.order);
    kept.messages.reserve(found.size());
    kept.folded.reserve(found.size());
    for (int i = 0; i < found.size(); ++i) {
        kept.messages << Message{path, i, place, date, found[i]};
        kept.folded << folded(found[i]);
    }
    return true;
}

MessageSearch::Catalogue MessageSearch::catalogue()
{
    if (m_catalogued == m_generation)
        return m_catalogue;
    struct Row {
        qint64 order;
        const QString *path;
        qsizetype index;
        const Kept *kept;
    };
    std::vector<Row> rows;
    int files = 0;
    for (const Folder &folder : m_folders) {
        for (auto it = folder.kept.cbegin(); it != folder.kept.cend(); ++it) {
            ++files;
            for (qsizetype i = 0; i < it->messages.size(); ++i)
                rows.push_back({it->order, &it.key(), i, &*it});
        }
    }
    // Sorted once here, so a search only filters.
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        if (a.order != b.order)
            return a.order > b.order;
        if (*a.path != *b.path)
            return *a.path < *b.path;
        return a.index < b.index;
    });
    Catalogue catalogue;
    catalogue.files = files;
    catalogue.messages.reserve(qsizetype(rows.size()));
    catalogue.folded.reserve(qsizetype(rows.size()));
    for (const Row &row : rows) {
        catalogue.messages << row.kept->messages[row.index];
        catalogue.folded << row.kept->folded[row.index];
    }
    m_catalogue = catalogue;
    m_catalogued = m_generation;
    return catalogue;
}

QList<MessageSearch::Message> MessageSearch::search(const Catalogue &catalogue, const QString &text)
{
    QList<Message> found;
    const QString wanted = text.toCaseFolded();
    if (wanted.isEmpty())
        return found;
    for (qsizetype i = 0; i < catalogue.folded.size(); ++i)
        if (catalogue.folded[i].contains(wanted))
            found << catalogue.messages[i];
    return found;
}

QList<MessageSearch::Message> MessageSearch::find(const QString &text)
{
    update();
    if (text.isEmpty())
        return {};
    return search(catalogue(), text);
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
    // "mail_yy?MM?dd_HHmm.dat", letter case aside, any non-digit between
    // the date's parts. Read by hand: a pattern match per file was a fifth
    // of the time to read the whole archive.
    const QStringView name(fileName);
    if (name.size() != 22 || !name.startsWith(u"mail_", Qt::CaseInsensitive)
        || !name.endsWith(u".dat", Qt::CaseInsensitive) || name[7].isDigit() || name[10].isDigit() || name[13] != u'_')
        return {};
    const int year = twoDigits(name, 5);
    const int month = twoDigits(name, 8);
    const int dayOfMonth = twoDigits(name, 11);
    const int hour = twoDigits(name, 14);
    const int minute = twoDigits(name, 16);
    if (year < 0 || month < 0 || dayOfMonth < 0 || hour < 0 || minute < 0)
        return {};
    const QDate day(2000 + year, month, dayOfMonth);
    const QTime time(hour, minute);
    if (!day.isValid() || !time.isValid())
        return {};
    return QDateTime(day, time);
}
