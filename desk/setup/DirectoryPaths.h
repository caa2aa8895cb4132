#pragma once

#include "shell/Outcome.h"

#include <QString>

/// What a directory set stores: a working directory, or the path of an
/// outside program's file.
enum class SetKind { Directory, Program };

/// The values and paths of the directory setup, free of any widget.
namespace DirectoryPaths {

/// The value a set's ENTER stores. A directory set stores the directory
/// alone; a program set stores the directory joined with the highlighted
/// file, or the word "blank" when no file is highlighted.
QString settingValue(SetKind kind, const QString &directory, const QString &highlightedFile);

/// The path of a new directory named `name` inside `base`. Backslashes and
/// slashes in the name both count as separators, and leading ones are
/// dropped, so "\MAIL SAVE" lands inside `base` on every platform. Empty
/// when the name holds nothing but spaces and separators.
QString newDirectoryPath(const QString &base, const QString &name);

/// Creates the last level of `path` (its parent must exist already): true
/// when it was made, false when it was there already. A failure holds the
/// system's description alone, for the set's own prefix to go before it.
Result<bool> makeDirectory(const QString &path);

/// The path as the operator reads it on this platform.
QString native(const QString &path);

} // namespace DirectoryPaths
