#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace RegularFile {

namespace {

QString cannotRead(const QString &path, const QString &reason)
{
    return QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), reason);
}

#ifdef Q_OS_UNIX
QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QObject::tr("a folder");
    if (S_ISFIFO(mode))
        return QObject::tr("a FIFO (named pipe)");
    if (S_ISSOCK(mode))
        return QObject::tr("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QObject::tr("a device");
    return QObject::tr("a special file");
}

// Looks without waiting (a FIFO's open waits for its other end) and asks
// the open descriptor, not the name, what it is. Qt then opens the file by
// its name, which it keeps for every later message, and that open must
// reach the very file that was looked at; one swapped in between is refused.
Outcome openChecked(QFile &file, int flags, QIODevice::OpenMode mode, bool forWriting)
{
    const QString path = file.fileName();
    const auto failed = [&](const QString &reason) {
        return Outcome::failure(forWriting ? QObject::tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), reason)
                                           : cannotRead(path, reason));
    };
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // A socket refuses any open, with a reason that does not say why.
        if (const QString kind = kindAt(path); !kind.isEmpty() && error != EISDIR)
            return Outcome::failure(notRegular(path, kind));
        return failed(qt_error_string(error));
    }
    struct stat looked{};
    QString kind;
    if (::fstat(fd, &looked) != 0)
        kind = QObject::tr("something that cannot be examined (%1)").arg(qt_error_string(errno));
    else
        kind = kindOf(looked.st_mode);
    if (!kind.isEmpty()) {
        ::close(fd);
        return Outcome::failure(notRegular(path, kind));
    }
    const bool opened = file.open(mode);
    const QString reason = file.errorString();
    struct stat reached{};
    const bool same = opened && ::fstat(file.handle(), &reached) == 0 && reached.st_dev == looked.st_dev
                   && reached.st_ino == looked.st_ino;
    ::close(fd);
    if (!opened)
        return failed(reason);
    if (!same) {
        file.close();
        return failed(QObject::tr("it was replaced while it was being opened"));
    }
    return {};
}
#endif

} // namespace

QString kindAt(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status{};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return kindOf(status.st_mode);
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return info.isDir() ? QObject::tr("a folder") : QObject::tr("a special file");
#endif
}

QString notRegular(const QString &path, const QString &kind)
{
    return QObject::tr("%1 is %2, not a regular file.").arg(QDir::toNativeSeparators(path), kind);
}

Outcome openForReading(QFile &file)
{
#ifdef Q_OS_UNIX
    return openChecked(file, O_RDONLY, QIODevice::ReadOnly, false);
#else
    if (const QString kind = kindAt(file.fileName()); !kind.isEmpty())
        return Outcome::failure(notRegular(file.fileName(), kind));
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::failure(cannotRead(file.fileName(), file.errorString()));
    return {};
#endif
}

Outcome openForWriting(QFile &file, QIODevice::OpenMode mode)
{
    // A folder in the file's place is left to the open, whose own words
    // ("Is a directory") say it; anything else special is refused before
    // the open, which for a FIFO would only give a puzzling reason.
    if (const QString kind = kindAt(file.fileName()); !kind.isEmpty() && !QFileInfo(file.fileName()).isDir())
        return Outcome::failure(notRegular(file.fileName(), kind));
#ifdef Q_OS_UNIX
    // Emptying is left to Qt's own open, once the file is known to be one.
    return openChecked(file, O_WRONLY | O_CREAT, mode, true);
#else
    if (!file.open(mode))
        return Outcome::cannotWrite(file.fileName(), file.errorString());
    return {};
#endif
}

} // namespace RegularFile
