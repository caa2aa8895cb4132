#include "MailPosting.h"

#include "MessageFile.h"
#include "shell/SettingFiles.h"

#include <QObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace MailPosting {

namespace {

// Message files travel to other stations' systems, so a name holds none of
// the characters that any of them refuses.
const QString forbiddenInNames = QStringLiteral("\\/:*?\"<>|");

Result failure(const QString &why)
{
    return {QString(), QObject::tr("The mail could not be posted: %1").arg(why)};
}

std::optional<QString> sendDirectory(const SettingFiles &files, Result *problem)
{
    const auto directory = files.readLine(Setting::SendDir);
    if (!directory) {
        *problem = failure(QObject::tr("no send folder is set (%1 is missing). Choose one in the directory setup.")
                               .arg(QDir::toNativeSeparators(files.path(Setting::SendDir))));
        return std::nullopt;
    }
    return directory;
}

} // namespace

Result appendRecord(const QString &directory, const QString &fileName, const MailFields &mail)
{
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        return failure(QObject::tr("the folder \"%1\" does not exist.").arg(QDir::toNativeSeparators(directory)));
    for (const QChar c : fileName)
        if (forbiddenInNames.contains(c) || c.unicode() < 32)
            return failure(QObject::tr("the file name \"%1\" holds a character that file names cannot hold (%2).")
                               .arg(fileName, forbiddenInNames));
    const QString path = QDir(directory).filePath(fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return failure(QObject::tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray line = MessageFile::mailRecordLine(mail.to, mail.subject, mail.message, mail.from);
    if (file.write(line) != line.size() || !file.flush())
        return failure(QObject::tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return {path, QString()};
}

Result postMail(const SettingFiles &files, const QDateTime &now, const MailFields &mail)
{
    Result problem;
    const auto directory = sendDirectory(files, &problem);
    if (!directory)
        return problem;
    return appendRecord(*directory, MessageFile::mailFileName(mail.from, now), mail);
}

Result postReply(const SettingFiles &files, const QDateTime &now, const MailFields &mail)
{
    Result problem;
    const auto directory = sendDirectory(files, &problem);
    if (!directory)
        return problem;
    return appendRecord(*directory, MessageFile::replyFileName(now), mail);
}

} // namespace MailPosting
