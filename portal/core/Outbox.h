#pragma once

#include <QString>

/// The portal's view of the outbox folder.
class Outbox
{
public:
    /// Name (no folder) of the ordinary, not hidden file last modified in the
    /// folder; with equal times the one listed first (by name, letter case
    /// ignored). Empty when the folder holds no such file.
    static QString newestFile(const QString &folder);
};
