#pragma once

#include <QString>
#include <optional>

/// The two parts of a stored program path that the launcher uses. Both
/// separators count, so a Windows path stored on Linux splits the same way.
namespace ProgramPath {

/// The program's file name: what follows the last separator, or the whole
/// value when it has none.
QString fileName(const QString &path);

/// The directory that holds the program, without a trailing separator
/// (except at a root); nothing when the value has no separator.
std::optional<QString> directory(const QString &path);

} // namespace ProgramPath
