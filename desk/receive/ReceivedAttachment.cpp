#include "ReceivedAttachment.h"

#include "compose/AddressBook.h"
#include "compose/MessageFile.h"
#include "compose/WholeWrite.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "shell/StationLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr SettingFile everySettingFile[] = {
    Setting::SaveDir, Setting::ReceiveDir, Setting::SendDir, Setting::AttachmentDir, Setting::WinTnc,
    Setting::Winlink, Setting::Splitter, Setting::Soundmodem, Setting::Direwolf, Setting::EasyTerm, Setting::VarAc,
    Setting::NprModem, Setting::SoundSettings, Setting::SoundState, Setting::AutoSaveStore, Setting::AutoSaveLoad,
    Setting::WinTncButton, Setting::SoundmodemButton, Setting::WinlinkButton, Setting::DirewolfButton,
    Setting::SplitterButton, Setting::EasyTermButton, Setting::NprModemButton, Setting::VarAcButton,
    Setting::MailHandOver, Setting::AttachmentHandOver, Setting::SavedMessageHandOver, Setting::Unattended,
    AddressBook::sentFile};

// Names a received attachment never takes, whether or not such a file lies
// there now: both programs (they may stand in one folder), and every setting
// and hand-over file, which the desk reads with any letter case.
bool isReservedName(const QString &name)
{
    // The portal keeps its own files beside its program: its station list,
    // its radio link choice and its transfer log.
    QStringList reserved = {QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                            QStringLiteral("tavrixdesk"),
                            QStringLiteral("tavrixportal"),
                            QStringLiteral("listitems.txt"),
                            QStringLiteral("radiomodem.ini"),
                            QStringLiteral("transferlog.csv")};
    for (const QString &program : QStringList(reserved))
        reserved << program + QStringLiteral(".exe");
    for (const SettingFile &file : everySettingFile)
        reserved << QString::fromLatin1(file.name);
    return reserved.contains(name, Qt::CaseInsensitive) || StationLog::isLogFileName(name);
}

// Why an attachment may not be written at `target`.
Outcome mayWrite(const QString &target, const SettingFiles &files)
{
    const QFileInfo info(target);
    const QString name = info.fileName();
    if (isReservedName(name))
        return Outcome::failure(
            QObject::tr("the sender's file name \"%1\" is the name of a program or of a setting file of this "
                        "station, which a received file never replaces.")
                .arg(name));
    for (const SettingFile &file : everySettingFile)
        if (QFileInfo(files.path(file)).absoluteFilePath().compare(info.absoluteFilePath(), Qt::CaseInsensitive) == 0)
            return Outcome::failure(
                QObject::tr("%1 is a setting file of this station, which a received file never replaces.")
                    .arg(QDir::toNativeSeparators(target)));
    if (info.isSymLink())
        return Outcome::failure(QObject::tr("%1 is a link to another place; a received file is never written through it.")
                                    .arg(QDir::toNativeSeparators(target)));
    if (info.isDir())
        return Outcome::failure(QObject::tr("%1 is a folder.").arg(QDir::toNativeSeparators(target)));
    if (info.exists() && info.isExecutable())
        return Outcome::failure(QObject::tr("%1 is an executable file, which a received file never replaces.")
                                    .arg(QDir::toNativeSeparators(target)));
    return {};
}

constexpr QFileDevice::Permissions executeBits =
    QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup | QFileDevice::ExeOther;

QString cannotBeWritten(const QString &path, const QString &reason)
{
    return QObject::tr("%1 cannot be written (%2).").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

ReceivedAttachment::ReceivedAttachment(const QString &messagePath, const SettingFiles &files)
    : m_message(messagePath)
    , m_files(files)
    , m_reader(m_message)
{
}

Result<AttachmentHeader> ReceivedAttachment::readHeader()
{
    if (!m_message.isOpen() && !m_message.open(QIODevice::ReadOnly))
        return Outcome::failure(QObject::tr("%1 cannot be read (%2).")
                                    .arg(QDir::toNativeSeparators(m_message.fileName()), m_message.errorString()));
    return m_reader.readHeader();
}

Result<QString> ReceivedAttachment::targetFor(const QString &senderName) const
{
    // The sender's name never leads outside the program's folder.
    const QString name = MessageFile::safeFileName(senderName);
    if (name.isEmpty())
        return Outcome::failure(
            QObject::tr("the sender's file name \"%1\" is not a file name that can be used here.").arg(senderName));
    const QString target = QDir(m_files.programDirectory()).filePath(name);
    if (Outcome allowed = mayWrite(target, m_files); !allowed)
        return allowed;
    return target;
}

Outcome ReceivedAttachment::writeData(const QString &target, const ProgressCallback &progress)
{
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Outcome::failure(cannotBeWritten(target, out.errorString()));
    if (const Outcome read = m_reader.readData(out, progress); !read) {
        out.cancelWriting();
        static_cast<void>(out.commit()); // only removes the part written so far
        return read;
    }
    // Received bytes are data, never a program that a click would start.
    if (out.permissions() & executeBits)
        out.setPermissions(out.permissions() & ~executeBits);
    if (!out.commit())
        return Outcome::failure(cannotBeWritten(target, out.errorString()));
    return {};
}

bool ReceivedAttachment::hasContent(const QString &path)
{
    QFile in(path);
    return RegularFile::openForReading(in).ok() && in.size() > 0;
}

Outcome ReceivedAttachment::copyWhole(const QString &source, const QString &destination)
{
    QFile in(source);
    if (const Outcome opened = RegularFile::openForReading(in); !opened)
        return opened;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Outcome::cannotWrite(destination, out.errorString());
    // In pieces, so a large attachment costs little memory.
    constexpr qint64 piece = 4 * 1024 * 1024;
    while (!in.atEnd()) {
        const QByteArray bytes = in.read(piece);
        if (bytes.isEmpty()) {
            out.cancelWriting();
            return Outcome::failure(
                QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(source), in.errorString()));
        }
        if (const Outcome written = writeWhole(out, bytes); !written) {
            out.cancelWriting();
            return Outcome::cannotWrite(destination, written.error());
        }
    }
    if (!out.commit())
        return Outcome::cannotWrite(destination, out.errorString());
    return {};
}
