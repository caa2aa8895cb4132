#include "DirectoryPaths.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace DirectoryPaths {

namespace {

QString joined(const QString &directory, const QString &name)
{
    // A root already ends with its separator; never double it.
    if (directory.endsWith(u'/') || directory.endsWith(QDir::separator()))
        return directory + name;
    return directory + QDir::separator() + name;
}

} // namespace

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString settingValue(SetKind kind, const QString &directory, const QString &highlightedFile)
{
    const QString stored = native(directory);
    if (kind == SetKind::Directory)
        return stored;
    return highlightedFile.isEmpty() ? QStringLiteral("blank") : joined(stored, highlightedFile);
}

QString newDirectoryPath(const QString &base, const QString &name)
{
    // Operators type the names the way the defaults show them, with a
    // leading backslash; on this side that is a separator, not a letter.
    QString relative = name;
    relative.replace(u'\\', u'/');
    const auto edge = [](QChar c) { return c == u'/' || c.isSpace(); };
    while (!relative.isEmpty() && edge(relative.front()))
        relative.remove(0, 1);
    while (!relative.isEmpty() && edge(relative.back()))
        relative.chop(1);
    if (relative.isEmpty())
        return {};
    return native(joined(QDir::fromNativeSeparators(base), relative));
}

Creation makeDirectory(const QString &path)
{
    if (QFileInfo(path).isDir())
        return {Creation::AlreadyThere, {}};
    std::error_code error;
    std::filesystem::create_directory(std::filesystem::path(path.toStdU16String()), error);
    if (error)
        return {Creation::Failed, QString::fromStdString(error.message())};
    if (!QFileInfo(path).isDir())
        return {Creation::Failed, QStringLiteral("the directory was not created")};
    return {Creation::Created, {}};
}

QString writeFailure(const QString &path)
{
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("the folder %1 does not exist").arg(native(folder.filePath()));
    if (file.isDir())
        return QStringLiteral("%1 is a folder, not a file").arg(native(path));
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file %1 is read-only").arg(native(path));
    if (!folder.isWritable())
        return QStringLiteral("no permission to write in %1").arg(native(folder.filePath()));
    return QStringLiteral("could not write %1").arg(native(path));
}

} // namespace DirectoryPaths
