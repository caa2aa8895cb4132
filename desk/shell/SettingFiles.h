#pragma once

#include "Outcome.h"

#include <QString>
#include <functional>
#include <optional>

/// How a setting file's path is formed from the program directory.
enum class PathForm {
    PlainJoined,     ///< program directory + name, with no separator between them
    Separated,       ///< program directory + separator (unless already there) + name
    BackslashJoined, ///< program directory + separator + name (the name itself starts with one)
    Relative,        ///< the bare name, in the current working directory
};

/// One setting or hand-over file: its name and the way its path is formed.
/// All letter-case variants of a name meet in one file, because names are
/// folded to lower case before they are joined.
struct SettingFile {
    const char *name;
    PathForm form;
};

/// Every setting and hand-over file the desk uses. Screens name files only
/// through these, never by building a path themselves.
namespace Setting {
// Working directories
inline constexpr SettingFile SaveDir{"save.dat", PathForm::PlainJoined};
inline constexpr SettingFile ReceiveDir{"receive.dat", PathForm::PlainJoined};
inline constexpr SettingFile SendDir{"send.dat", PathForm::PlainJoined};
inline constexpr SettingFile AttachmentDir{"received.dat", PathForm::PlainJoined};
// Outside program paths
inline constexpr SettingFile WinTnc{"packet.dat", PathForm::PlainJoined};
inline constexpr SettingFile Winlink{"winlink.dat", PathForm::PlainJoined};
inline constexpr SettingFile Splitter{"splitter.dat", PathForm::PlainJoined};
inline constexpr SettingFile Soundmodem{"soundmodempacket.dat", PathForm::PlainJoined};
inline constexpr SettingFile Direwolf{"direwolfpacket.dat", PathForm::PlainJoined};
inline constexpr SettingFile EasyTerm{"easyterm.dat", PathForm::PlainJoined};
inline constexpr SettingFile VarAc{"vara.dat", PathForm::PlainJoined};
inline constexpr SettingFile NprModem{"nprmodem.dat", PathForm::PlainJoined};
// Sound and auto-save switches
inline constexpr SettingFile SoundSettings{"soundsettings.dat", PathForm::Separated};
inline constexpr SettingFile SoundState{"soundstate.dat", PathForm::BackslashJoined};
inline constexpr SettingFile AutoSaveStore{"autosave.dat", PathForm::Separated};
inline constexpr SettingFile AutoSaveLoad{"autosave.dat", PathForm::BackslashJoined};
// Launcher button states
inline constexpr SettingFile WinTncButton{"buttonstate.dat", PathForm::PlainJoined};
inline constexpr SettingFile SoundmodemButton{"buttonstates.dat", PathForm::PlainJoined};
inline constexpr SettingFile WinlinkButton{"buttonstatess.dat", PathForm::PlainJoined};
inline constexpr SettingFile DirewolfButton{"buttonstatesss.dat", PathForm::PlainJoined};
inline constexpr SettingFile SplitterButton{"buttonstatessss.dat", PathForm::PlainJoined};
inline constexpr SettingFile EasyTermButton{"buttonstater.dat", PathForm::PlainJoined};
inline constexpr SettingFile NprModemButton{"thestate.dat", PathForm::PlainJoined};
inline constexpr SettingFile VarAcButton{"varastate.dat", PathForm::PlainJoined};
// Hand-over scratch files
inline constexpr SettingFile MailHandOver{"mail.dat", PathForm::Relative};
inline constexpr SettingFile AttachmentHandOver{"temp", PathForm::PlainJoined};
inline constexpr SettingFile SavedMessageHandOver{"temp", PathForm::Relative};
// The unattended-station features (repeat alert, watchdog, notifications, log)
inline constexpr SettingFile Unattended{"unattended.dat", PathForm::Separated};
} // namespace Setting

/// The folder that stands for the program directory in every path form.
/// Normally the program's own folder; when the program cannot write there
/// (an installed program), a folder of the user's own takes its place, and
/// the path forms are applied to it unchanged.
struct SettingsHome {
    QString directory;
    bool perUser = false;
};

/// True when a file can really be created in `directory` (tried, then
/// removed), so read-only mounts and missing rights both count as not.
bool canCreateFilesIn(const QString &directory);

/// The program's folder when files can be created both in it and in its
/// parent (where the plain-joined files land); otherwise `perUserDirectory`,
/// created with its parent when missing.
SettingsHome chooseSettingsHome(const QString &programDirectory, const QString &perUserDirectory,
                                const std::function<bool(const QString &)> &canWrite = canCreateFilesIn);

/// The one-line setting files beside the program: where they lie, and the
/// two ways each is written and read.
///
/// Content is one value on the first line, ended by CR LF. A write either
/// prints the value as it is ("print line") or in record style, where a
/// string is quoted and a truth value becomes #TRUE# or #FALSE# ("write
/// record"). A read takes the whole first line ("line read") or its first
/// comma-separated field, trimmed and unquoted ("field read").
class SettingFiles
{
public:
    SettingFiles(QString programDirectory, QString workingDirectory);
    SettingFiles(SettingsHome home, QString workingDirectory);

    /// The folder the path forms start from: the program's own, or the
    /// per-user folder that stands in for it.
    QString programDirectory() const { return m_programDirectory; }
    /// True when the program's folder could not be written and a per-user
    /// folder stands in for it.
    bool inPerUserFolder() const { return m_perUser; }
    QString path(SettingFile file) const;
    bool exists(SettingFile file) const;

    /// Every write replaces the whole file or leaves it as it was; a failure
    /// names the file and the system's reason. A value longer than
    /// `maxLineBytes` is refused, since it would not read back.
    Outcome writePrintLine(SettingFile file, const QString &value) const;
    Outcome writePrintLine(SettingFile file, bool value) const;
    /// Keeps a string literal from turning into a truth value.
    Outcome writePrintLine(SettingFile file, const char *value) const { return writePrintLine(file, QString::fromUtf8(value)); }
    Outcome writeRecord(SettingFile file, const QString &value) const;
    Outcome writeRecord(SettingFile file, int value) const;
    Outcome writeRecord(SettingFile file, bool value) const;

    /// The longest first line a read takes: a setting is a path or a word,
    /// and a file that holds more is not a setting file.
    static constexpr qsizetype maxLineBytes = 32 * 1024;

    /// The first line, or why there is none: the file is missing, is not a
    /// regular file (a FIFO in its place never makes the read wait), cannot
    /// be read, or its first line is longer than `maxLineBytes`. The reason
    /// names the setting file's native path.
    Result<QString> readFirstLine(SettingFile file) const;

    /// The same reads, for readers to whom every failure means "not set".
    std::optional<QString> readLine(SettingFile file) const;
    std::optional<QString> readField(SettingFile file) const;
    std::optional<int> readNumber(SettingFile file) const;
    std::optional<bool> readTruth(SettingFile file) const;

    /// Replaces the file's whole content, or leaves it as it was.
    Outcome writeBytes(SettingFile file, const QByteArray &bytes) const;

    /// Empties the file (creating it if needed), as opening it for output
    /// and closing it does.
    Outcome clear(SettingFile file) const;
    /// Succeeds when the file is gone afterwards, also when it never was.
    Outcome remove(SettingFile file) const;

    /// The conversions of a field read, for text read elsewhere.
    static QString firstField(const QString &line);
    static std::optional<int> toNumber(const QString &field);
    static std::optional<bool> toTruth(const QString &field);

private:
    Outcome write(SettingFile file, const QString &text) const;

    QString m_programDirectory;
    QString m_workingDirectory;
    bool m_perUser = false;
};
