#include "RegularFileOpen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace RegularFileOpen {

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString notRegular(const QString &path, const QString &kind)
{
    return QObject::tr("%1 is %2, not a regular file.").arg(native(path), kind);
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

PortalOutcome openForReading(QFile &file)
{
    const QString path = file.fileName();
#ifdef Q_OS_UNIX
    // O_NONBLOCK: opening a FIFO for reading then returns at once.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // A socket refuses any open, with a reason that does not say why.
        if (const QString kind = kindAt(path); !kind.isEmpty())
            return PortalOutcome::failure(notRegular(path, kind));
        return PortalOutcome::failure(QStringLiteral("%1: %2").arg(native(path), qt_error_string(error)));
    }
    struct stat looked{};
    QString kind;
    if (::fstat(fd, &looked) != 0)
        kind = QObject::tr("something that cannot be examined (%1)").arg(qt_error_string(errno));
    else
        kind = kindOf(looked.st_mode);
    if (!kind.isEmpty()) {
        ::close(fd);
        return PortalOutcome::failure(notRegular(path, kind));
    }
    const bool opened = file.open(QIODevice::ReadOnly);
    struct stat reached{};
    const bool same = opened && ::fstat(file.handle(), &reached) == 0 && reached.st_dev == looked.st_dev &&
                      reached.st_ino == looked.st_ino;
    ::close(fd);
    if (!opened)
        return PortalOutcome::fileFailure(file);
    if (!same) {
        file.close();
        return PortalOutcome::failure(
            QObject::tr("%1: it was replaced while it was being opened").arg(native(path)));
    }
    return {};
#else
    if (const QString kind = kindAt(path); !kind.isEmpty())
        return PortalOutcome::failure(notRegular(path, kind));
    if (!file.open(QIODevice::ReadOnly))
        return PortalOutcome::fileFailure(file);
    return {};
#endif
}

} // namespace RegularFileOpen
