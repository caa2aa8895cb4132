#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class Clock;
class SettingFiles;

/// The four fields of a mail as the operator sees them.
struct MailFields {
    QString to;
    QString subject;
    QString message;
    QString from;
};

/// The receive auto-save switch ("autosave.dat") and the archive it feeds:
/// every mail closed while the switch is on is appended to a file of the
/// save directory named after the minute it was saved in.
class Modsavemodule
{
public:
    Modsavemodule(const SettingFiles &files, const Clock &clock);

    /// The stored switch, or nothing when it was never stored. Counts as on
    /// when the text, trimmed and upper-cased, is "ON" or its value is 1.
    std::optional<bool> storedAutoSave() const;

    /// Stores the switch; a failed write is skipped.
    void storeAutoSaveSetting(bool on) const;

    /// The archive file's name for a moment: "mail_yy-MM-dd_HHmm.dat".
    static QString archiveFileName(const QDateTime &time);

    /// Appends the mail as one line to the archive. On failure returns a
    /// message naming it.
    std::optional<QString> saveReceivedMessage(const MailFields &mail) const;

private:
    const SettingFiles &m_files;
    const Clock &m_clock;
};
