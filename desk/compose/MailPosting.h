#pragma once

#include "MailFields.h"
#include "shell/Outcome.h"

#include <QDateTime>
#include <QString>
#include <functional>

class QIODevice;
class SettingFiles;

/// Writing messages into a folder: the composers' posts and the inbox
/// reader's reply into the outbox, the self-test into the inbox, and the
/// archive of saved messages. Every one of them goes through `appendEntry`.
namespace MailPosting {

/// Where a post went (its path), or why it could not be written (then nothing was).
using Posted = Result<QString>;

/// Puts one entry's bytes into `out`; a failure says why it cannot.
using EntryWriter = std::function<Outcome(QIODevice &out)>;

/// Adds one entry to the file at `path`. A new file appears under its name
/// only once it is whole; an existing file gets the entry appended and, on
/// any failure, is cut back to the length it had. A failure carries the
/// operating system's own words.
Outcome appendEntry(const QString &path, const EntryWriter &write);

/// The composer's post: "MAIL - <From>--<long stamp>.dat" in the send folder.
Posted postMail(const SettingFiles &files, const QDateTime &now, const MailFields &mail);

/// The inbox reader's reply: "MAIL - <short stamp>.txt" in the send folder.
Posted postReply(const SettingFiles &files, const QDateTime &now, const MailFields &mail);

/// Appends one mail record line to `fileName` in `directory`.
Posted appendRecord(const QString &directory, const QString &fileName, const MailFields &mail);

} // namespace MailPosting
