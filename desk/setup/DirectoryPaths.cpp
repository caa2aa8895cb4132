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

Result<bool> makeDirectory(const QString &path)
{
    if (QFileInfo(path).isDir())
        return false;
    std::error_code error;
    std::filesystem::create_directory(std::filesystem::path(path.toStdU16String()), error);
    if (error)
        return Outcome::failure(QString::fromStdString(error.message()));
    if (!QFileInfo(path).isDir())
        return Outcome::failure(QStringLiteral("the directory was not created"));
    return true;
}

} // namespace DirectoryPaths
