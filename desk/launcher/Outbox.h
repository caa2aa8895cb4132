#pragma once

#include "shell/Outcome.h"

#include <QString>
#include <QStringList>

/// The send directory as the launcher lists it: the files directly inside
/// it, by name.
///
/// Only an absolute directory counts as an outbox. An empty or relative
/// value stands for no outbox at all, so that nothing outside the folder the
/// operator chose is ever listed or removed.
class Outbox
{
public:
    explicit Outbox(const QString &directory = {});

    QString directory() const { return m_directory; }
    bool isSet() const;
    bool exists() const;

    /// The names of the visible files directly in the directory, ordered by
    /// name with letter case ignored; empty when there is no such directory.
    /// A directory that exists but cannot be read is a failure.
    Result<QStringList> fileNames() const;

    QString filePath(const QString &name) const;

    /// Moves a file to the user's trash and nowhere else: where there is no
    /// trash the file stays where it was. On success, where it lies now.
    static Result<QString> moveToTrash(const QString &path);

    /// Moves a file to the system trash where there is one, so that it can
    /// still be recovered, and deletes it where there is none. On success,
    /// where it lies in the trash; empty when it was deleted for good.
    static Result<QString> discard(const QString &path);

    /// The line a screen shows after emptying the outbox moved `trashed`
    /// unsent messages to the trash; empty when it moved none.
    static QString trashedNotice(int trashed);

private:
    QString m_directory;
};
