#pragma once

#include <QString>

/// The portal's view of the outbox folder.
class Outbox
{
public:
    /// Name (no folder) of the not hidden file last modified in the folder,
    /// a FIFO, socket or device included (the send refuses those in words);
    /// with equal times the one listed first (by name, letter case ignored).
    /// Folders and dangling links are passed over. Empty when there is none.
    static QString newestFile(const QString &folder);
};
