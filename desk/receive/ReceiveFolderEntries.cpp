#include "ReceiveFolderEntries.h"

#include "compose/Windows1252.h"
#include "shell/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QStringDecoder>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QDirIterator>
#endif

namespace ReceiveFolderEntries {

namespace {

// Names taken by other files leave room for this many numbered spellings;
// a folder holding more copies of one name is not served further.
constexpr int maxSpellings = 100;

// The file name a renamed file takes: its reading, or, when that is taken,
// a numbered spelling of it.
QString spelling(const QString &reading, int number)
{
    if (number == 1)
        return reading;
    const QFileInfo parts(reading);
    const QString suffix = parts.suffix().isEmpty() ? QString() : u'.' + parts.suffix();
    const QString base = parts.suffix().isEmpty() ? reading : parts.completeBaseName();
    return QStringLiteral("%1 (%2)%3").arg(base).arg(number).arg(suffix);
}

// No file name holds a '/', so this mark keeps the keys of names that are
// not UTF-8 apart from every name the desk can spell.
constexpr char16_t unspellable = u'/';

#ifdef Q_OS_UNIX
QString keyOf(const QByteArray &raw)
{
    return isOpenableName(raw) ? QString::fromUtf8(raw) : unspellable + QString::fromLatin1(raw);
}

QByteArray rawOf(const QString &key)
{
    return key.startsWith(unspellable) ? key.mid(1).toLatin1() : key.toUtf8();
}

bool isRegular(int folder, const dirent &entry)
{
    // The kind the listing gives spares a look at each of many files; links
    // and file systems that do not say are looked at.
    if (entry.d_type == DT_REG)
        return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return false;
    struct stat status{};
    return ::fstatat(folder, entry.d_name, &status, 0) == 0 && S_ISREG(status.st_mode);
}

// Moves `from` to `to` only when `to` is free; the test and the move are one
// step, so no file that appears meanwhile is replaced.
int renameNoReplace(int folder, const char *from, const char *to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a second link fails on a taken name
    // just as well, and the old name goes only once the new one exists.
    if (::linkat(folder, from, folder, to, 0) != 0)
        return errno;
    if (::unlinkat(folder, from, 0) != 0) {
        const int error = errno;
        ::unlinkat(folder, to, 0);
        return error;
    }
    return 0;
}

// Gives the file `raw` its reading (or a numbered spelling of it when that
// is taken); the name it now has, or the reason it keeps its old one.
std::pair<QString, QString> makeOpenable(int folder, const QByteArray &raw, const QString &reading)
{
    for (int number = 1; number <= maxSpellings; ++number) {
        const QString name = spelling(reading, number);
        const int error = renameNoReplace(folder, raw.constData(), name.toUtf8().constData());
        if (error == 0)
            return {name, {}};
        if (error != EEXIST)
            return {{}, qt_error_string(error)};
    }
    return {{}, QObject::tr("every name from \"%1\" to \"%2\" is taken").arg(reading, spelling(reading, maxSpellings))};
}

// Calls visit for each regular file in the folder, with the folder's
// descriptor open for calls relative to it. A folder that cannot be opened
// has no files.
template<typename Visit>
void forEachRegularFile(const QString &folder, Visit visit)
{
    DIR *directory = ::opendir(QFile::encodeName(folder).constData());
    if (!directory)
        return;
    const int descriptor = ::dirfd(directory);
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArrayView raw(entry->d_name);
        if (raw != "." && raw != ".." && isRegular(descriptor, *entry))
            visit(descriptor, *entry);
    }
    ::closedir(directory);
}
#endif

} // namespace

bool isOpenableName(QByteArrayView raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(raw);
    return !utf8.hasError();
}

QString readName(QByteArrayView raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(raw);
    return utf8.hasError() ? Windows1252::decode(raw) : decoded;
}

Listing list(const QString &folder, Names names)
{
    Listing listing;
#ifdef Q_OS_UNIX
    forEachRegularFile(folder, [&](int descriptor, const dirent &entry) {
        const QByteArray raw(entry.d_name);
        const QString reading = readName(raw);
        if (names == Names::AsFound || isOpenableName(raw)) {
            listing.names << reading;
            return;
        }
        const auto [name, failure] = makeOpenable(descriptor, raw, reading);
        if (name.isEmpty()) {
            listing.problems << QObject::tr("The message \"%1\" in %2 has a name the desk cannot open, and it cannot be "
                                            "renamed: %3")
                                    .arg(reading, QDir::toNativeSeparators(folder), failure);
            return;
        }
        listing.names << name;
        listing.renamed << QStringLiteral("%1 \u2192 %2").arg(reading, name);
        listing.renames.append({keyOf(raw), name});
    });
#else
    Q_UNUSED(names);
    QDirIterator files(folder, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        files.next();
        listing.names << files.fileName();
    }
#endif
    return listing;
}

Snapshot snapshot(const QString &folder)
{
    Snapshot found;
#ifdef Q_OS_UNIX
    forEachRegularFile(folder, [&](int, const dirent &entry) {
        // The listing gives the file's number, so knowing a file again
        // under its new name costs no look at it.
        found.insert(keyOf(QByteArray(entry.d_name)), quint64(entry.d_ino));
    });
#else
    for (const QString &name : list(folder).names)
        found.insert(name, 0);
#endif
    return found;
}

Changes compare(const Snapshot &before, const Snapshot &now)
{
    Changes changes;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (!before.contains(it.key()))
            changes.arrived << it.key();
    if (changes.arrived.isEmpty())
        return changes;
    // Files under names that are not UTF-8 which have gone since, by their
    // file's number: those the desk may have renamed.
    QHash<quint64, QString> unspellableGone;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (it.value() != 0 && it.key().startsWith(unspellable) && !now.contains(it.key()))
            unspellableGone.insert(it.value(), it.key());
    if (unspellableGone.isEmpty())
        return changes;
    // The same file under its reading or a numbered spelling of it is the
    // desk's own rename; any other new name, even of that file, arrived.
    QStringList arrived;
    for (const QString &key : std::as_const(changes.arrived)) {
        const auto gone = unspellableGone.constFind(now.value(key));
        bool renamed = false;
        if (gone != unspellableGone.cend()) {
            const QString reading = nameOf(*gone);
            for (int number = 1; number <= maxSpellings && !renamed; ++number)
                renamed = key == spelling(reading, number);
        }
        if (renamed) {
            changes.renamed.append({*gone, key});
            unspellableGone.erase(gone);
        } else {
            arrived << key;
        }
    }
    changes.arrived = arrived;
    return changes;
}

QString nameOf(const QString &key)
{
    return key.startsWith(unspellable) ? Windows1252::decode(rawOf(key)) : key;
}

qint64 sizeOf(const QString &folder, const QString &key)
{
#ifdef Q_OS_UNIX
    // By the name's own bytes: a name that is not UTF-8 has no QString
    // spelling that finds it.
    const QByteArray path = QFile::encodeName(folder) + '/' + rawOf(key);
    struct stat status{};
    if (::stat(path.constData(), &status) != 0)
        return -1;
    return qint64(status.st_size);
#else
    const QFileInfo info(QDir(folder).filePath(key));
    return info.exists() ? info.size() : -1;
#endif
}

QString notAFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return {};
    QString kind = RegularFile::kindAt(path);
    if (kind.isEmpty())
        kind = QObject::tr("a file");
    return QObject::tr("%1 is %2, not a folder").arg(QDir::toNativeSeparators(path), kind);
}

} // namespace ReceiveFolderEntries
