#include "ProgramPath.h"

namespace {

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
}

} // namespace

namespace ProgramPath {

QString fileName(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

std::optional<QString> directory(const QString &path)
{
    const qsizetype cut = lastSeparator(path);
    if (cut < 0)
        return std::nullopt;
    // A program in the root keeps the root itself as its directory.
    if (cut == 0)
        return path.left(1);
    return path.left(cut);
}

} // namespace ProgramPath
