#pragma once

#include "shell/Modsavemodule.h"

#include <QDateTime>
#include <QString>

class SettingFiles;

/// Writing plain mail into a folder: the composer's post and the inbox
/// reader's reply into the outbox, and the self-test into the inbox.
namespace MailPosting {

/// Where a post went, or why it could not be written (then nothing was).
struct Result {
    QString path;
    QString error;
    explicit operator bool() const { return error.isEmpty(); }
};

/// The composer's post: "MAIL - <From>--<long stamp>.dat" in the send folder.
Result postMail(const SettingFiles &files, const QDateTime &now, const MailFields &mail);

/// The inbox reader's reply: "MAIL - <short stamp>.txt" in the send folder.
Result postReply(const SettingFiles &files, const QDateTime &now, const MailFields &mail);

/// Appends one mail record line to `fileName` in `directory`.
Result appendRecord(const QString &directory, const QString &fileName, const MailFields &mail);

} // namespace MailPosting
