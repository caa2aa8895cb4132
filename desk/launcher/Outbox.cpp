#include "Outbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QStandardPaths>

namespace {

// Qt puts the home trash under the generic data folder. When that folder is
// missing it cannot make the trash there and moves the file into "files/"
// under the current directory instead, so the folder is created first.
bool homeTrashPossible()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return !data.isEmpty() && QDir::isAbsolutePath(data) && QDir().mkpath(data);
}

QString describe(const QString &path, const QString &reason)
{
    return QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
}

} // namespace

Outbox::Outbox(const QString &directory)
    : m_directory(directory)
{
}

bool Outbox::isSet() const
{
    return !m_directory.isEmpty() && QDir::isAbsolutePath(m_directory);
}

bool Outbox::exists() const
{
    return isSet() && QFileInfo(m_directory).isDir();
}

Result<QStringList> Outbox::fileNames() const
{
    if (!exists())
        return QStringList();
    const QDir folder(m_directory);
    if (!folder.isReadable())
        return Outcome::failure(describe(m_directory, QObject::tr("the folder cannot be read")));
    return folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QString Outbox::filePath(const QString &name) const
{
    return QDir(m_directory).filePath(name);
}

Result<QString> Outbox::moveToTrash(const QString &path)
{
    if (!QFileInfo::exists(path))
        return Outcome::failure(describe(path, QObject::tr("the file is gone")));
    if (!homeTrashPossible())
        return Outcome::failure(describe(
            path, QObject::tr("there is no trash to move it to (%1 cannot be made)")
                      .arg(QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)))));
    QFile file(path);
    if (!file.moveToTrash())
        return Outcome::failure(describe(path, file.errorString()));
    const QString inTrash = file.fileName();
    if (QDir::isAbsolutePath(inTrash))
        return inTrash;
    // Qt found no trash after all and filed it under the working directory
    // ("files/" and "info/"): that is no trash, so the file goes back.
    const QFileInfo moved(inTrash);
    if (!QFile::rename(moved.absoluteFilePath(), path))
        return Outcome::failure(describe(path, QObject::tr("there is no trash, and the file was left at %1")
                                                   .arg(QDir::toNativeSeparators(moved.absoluteFilePath()))));
    QFile::remove(moved.dir().filePath(QStringLiteral("../info/") + moved.fileName() + QStringLiteral(".trashinfo")));
    return Outcome::failure(describe(path, QObject::tr("there is no trash to move it to")));
}

Result<QString> Outbox::discard(const QString &path)
{
    if (const Result<QString> trashed = moveToTrash(path))
        return trashed;
    QFile file(path);
    if (file.remove())
        return QString();
    return Outcome::failure(describe(path, file.errorString()));
}

QString Outbox::trashedNotice(int trashed)
{
    if (trashed <= 0)
        return {};
    if (trashed == 1)
        return QObject::tr("1 unsent message was moved from the outbox to the trash; it can be restored from there.");
    return QObject::tr("%1 unsent messages were moved from the outbox to the trash; they can be restored from there.")
        .arg(trashed);
}
