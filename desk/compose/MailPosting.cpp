#include "MailPosting.h"

#include "MessageFile.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace MailPosting {

namespace {

// Message files travel to other stations' systems, so a name holds none of
// the characters that any of them refuses.
const QString forbiddenInNames = QStringLiteral("\\/:*?\"<>|");

Outcome failure(const QString &why)
{
    return Outcome::failure(QObject::tr("The mail could not be posted: %1").arg(why));
}

Result<QString> sendDirectory(const SettingFiles &files)
{
    const Result<QString> directory = files.readFirstLine(Setting::SendDir);
    if (!directory)
        return failure(QObject::tr("no send folder is set (%1) Choose one in the directory setup.").arg(directory.error()));
    return *directory;
}

// A new file is written here first, so that it takes its name only when
// whole. The folder is hidden, and the monitor and every file list show
// files only, so a part file is never announced, listed or sent.
const QString partFolderName = QStringLiteral(".posting");

// Hands a writer's bytes on to the file until all are written or the
// system refuses: a file that takes only part of a write (the disk fills
// up) is asked again, so a failure comes with the system's reason instead
// of a short count.
class WholeWrites : public QIODevice
{
public:
    explicit WholeWrites(QFileDevice &file)
        : m_file(file)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const qint64 written = m_file.write(data + done, size - done);
            if (written <= 0) {
                setErrorString(m_file.errorString());
                return -1;
            }
            done += written;
        }
        return done;
    }

private:
    QFileDevice &m_file;
};

// The entry is on the disk, not only in the system's cache, before the
// post counts as done: a file system that can only tell at that point
// (a network share, a full disk) still gets its say.
Outcome syncToDisk(QFileDevice &file)
{
#if defined(Q_OS_WIN)
    const bool synced = _commit(file.handle()) == 0;
#else
    const bool synced = ::fsync(file.handle()) == 0;
#endif
    if (synced)
        return {};
    return Outcome::cannotWrite(file.fileName(), QString::fromLocal8Bit(std::strerror(errno)));
}

Outcome createWhole(const QString &path, const EntryWriter &write)
{
    const QString shown = QDir::toNativeSeparators(path);
    QDir folder = QFileInfo(path).dir();
    if (!folder.mkpath(partFolderName))
        return Outcome::failure(
            QObject::tr("%1 cannot be created: %2").arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    QFile part;
    for (int attempt = 0; attempt < 100 && !part.isOpen(); ++attempt) {
        part.setFileName(folder.filePath(partFolderName + QStringLiteral("/%1-%2.part")
                                                             .arg(QCoreApplication::applicationPid())
                                                             .arg(QRandomGenerator::global()->generate())));
        part.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    Outcome outcome;
    if (!part.isOpen()) {
        outcome = Outcome::failure(QObject::tr("%1 cannot be created: %2").arg(shown, part.errorString()));
    } else {
        WholeWrites out(part);
        outcome = write(out);
        if (outcome)
            outcome = syncToDisk(part);
        part.close();
        // Never replaces a file of that name that appeared meanwhile.
        if (outcome && !part.rename(path))
            outcome = Outcome::cannotWrite(path, part.errorString());
        if (!outcome)
            part.remove();
    }
    folder.rmdir(partFolderName); // only when no other post is using it
    return outcome;
}

Outcome appendInPlace(const QString &path, const EntryWriter &write)
{
    QFile file(path);
    // Unbuffered: a write that fails says so at once, with the system's reason.
    // A FIFO under the name would hold the desk in its open.
    if (Outcome opened = RegularFile::openForWriting(file, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        !opened)
        return opened;
    const qint64 before = file.size();
    WholeWrites out(file);
    Outcome outcome = write(out);
    if (outcome)
        outcome = syncToDisk(file);
    if (outcome)
        return outcome;
    if (file.size() != before && !file.resize(before))
        return Outcome::failure(outcome.error()
                                + QObject::tr(" It could not be cut back to its former length of %1 bytes (%2), so "
                                              "it may end in part of this entry.")
                                      .arg(before)
                                      .arg(file.errorString()));
    return outcome;
}

} // namespace

Outcome appendEntry(const QString &path, const EntryWriter &write)
{
    const QFileInfo target(path);
    if (target.exists() || target.isSymLink())
        return appendInPlace(path, write);
    return createWhole(path, write);
}

Posted appendRecord(const QString &directory, const QString &fileName, const MailFields &mail)
{
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        return failure(QObject::tr("the folder \"%1\" does not exist.").arg(QDir::toNativeSeparators(directory)));
    for (const QChar c : fileName)
        if (forbiddenInNames.contains(c) || c.unicode() < 32)
            return failure(QObject::tr("the file name \"%1\" holds a character that file names cannot hold (%2).")
                               .arg(fileName, forbiddenInNames));
    const QString path = QDir(directory).filePath(fileName);
    const QByteArray line = MessageFile::mailRecordLine(mail.to, mail.subject, mail.message, mail.from);
    const Outcome written = appendEntry(path, [&](QIODevice &out) {
        if (out.write(line) != line.size())
            return Outcome::cannotWrite(path, out.errorString());
        return Outcome();
    });
    if (!written)
        return failure(written.error());
    return path;
}

Posted postMail(const SettingFiles &files, const QDateTime &now, const MailFields &mail)
{
    const auto directory = sendDirectory(files);
    if (!directory)
        return directory.outcome();
    return appendRecord(*directory, MessageFile::mailFileName(mail.from, now), mail);
}

Posted postReply(const SettingFiles &files, const QDateTime &now, const MailFields &mail)
{
    const auto directory = sendDirectory(files);
    if (!directory)
        return directory.outcome();
    return appendRecord(*directory, MessageFile::replyFileName(now), mail);
}

} // namespace MailPosting
