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

QStringList Outbox::fileNames(QString *error) const
{
    if (!exists())
        return {};
    const QDir folder(m_directory);
    if (!folder.isReadable()) {
        if (error)
            *error = describe(m_directory, QObject::tr("the folder cannot be read"));
        return {};
    }
    return folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QString Outbox::filePath(const QString &name) const
{
    return QDir(m_directory).filePath(name);
}

std::optional<QString> Outbox::moveToTrash(const QString &path, QString *trashedTo)
{
    const QString native = QDir::toNativeSeparators(path);
    if (!QFileInfo::exists(path))
        return QObject::tr("%1: the file is gone").arg(native);
    if (!homeTrashPossible())
        return QObject::tr("%1: there is no trash to move it to (%2 cannot be made)")
            .arg(native, QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));
    QFile file(path);
    if (!file.moveToTrash())
        return QObject::tr("%1: %2").arg(native, file.errorString());
    const QString inTrash = file.fileName();
    if (QDir::isAbsolutePath(inTrash)) {
        if (trashedTo)
            *trashedTo = inTrash;
        return std::nullopt;
    }
    // Qt found no trash after all and filed it under the working directory
    // ("files/" and "info/"): that is no trash, so the file goes back.
    const QFileInfo moved(inTrash);
    if (!QFile::rename(moved.absoluteFilePath(), path))
        return QObject::tr("%1: there is no trash, and the file was left at %2")
            .arg(native, QDir::toNativeSeparators(moved.absoluteFilePath()));
    QFile::remove(moved.dir().filePath(QStringLiteral("../info/") + moved.fileName() + QStringLiteral(".trashinfo")));
    return QObject::tr("%1: there is no trash to move it to").arg(native);
}

Outbox::Removal Outbox::discard(const QString &path)
{
    Removal removal;
    if (!moveToTrash(path, &removal.trashedTo)) {
        removal.removed = true;
        return removal;
    }
    QFile file(path);
    if (file.remove()) {
        removal.removed = true;
        return removal;
    }
    removal.error = describe(path, file.errorString());
    return removal;
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
