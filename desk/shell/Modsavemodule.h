#pragma once

#include "Outcome.h"
#include "compose/MailFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class Clock;
class SettingFiles;

/// The receive auto-save switch ("autosave.dat") and the archive it feeds:
/// every mail closed while the switch is on is appended to a file of the
/// save directory named after the minute it was saved in, one
/// comma-separated record per mail (To, Subject, Message, From), UTF-8.
class Modsavemodule
{
public:
    Modsavemodule(const SettingFiles &files, const Clock &clock);

    /// The stored switch, or nothing when it was never stored. Counts as on
    /// when the text, trimmed and upper-cased, is "ON" or its value is 1.
    std::optional<bool> storedAutoSave() const;

    /// Stores the switch. The screens skip a failure, as the switch is
    /// shown all the same.
    Outcome storeAutoSaveSetting(bool on) const;

    /// The archive file's name for a moment: "mail_yy-MM-dd_HHmm.dat".
    static QString archiveFileName(const QDateTime &time);

    /// The archive record of a mail: its four texts exactly as shown, a
    /// field holding a comma, a double quote or a line end in double quotes.
    static QByteArray archiveRecord(const MailFields &mail);

    /// The first saved message of an archive file's bytes as up to four
    /// pieces (To, Subject, Message, From); fewer when it holds fewer.
    /// Archives written before fields were quoted read as they always did:
    /// a first line of fewer than four fields that quotes nothing is split
    /// at every comma of the whole text.
    static QStringList savedMessagePieces(const QByteArray &archive);

    /// Appends the mail's record to the archive, whole or not at all.
    Outcome saveReceivedMessage(const MailFields &mail) const;

private:
    const SettingFiles &m_files;
    const Clock &m_clock;
};
