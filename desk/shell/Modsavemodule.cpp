#include "Modsavemodule.h"

#include "SettingFiles.h"
#include "platform/Clock.h"

#include <QObject>
#include <QDir>
#include <QFile>

Modsavemodule::Modsavemodule(const SettingFiles &files, const Clock &clock)
    : m_files(files)
    , m_clock(clock)
{
}

std::optional<bool> Modsavemodule::storedAutoSave() const
{
    if (!m_files.exists(Setting::AutoSaveLoad))
        return std::nullopt;
    const auto line = m_files.readLine(Setting::AutoSaveLoad);
    if (!line)
        return std::nullopt;
    const QString text = line->trimmed().toUpper();
    return text == u"ON" || SettingFiles::toNumber(text) == 1;
}

void Modsavemodule::storeAutoSaveSetting(bool on) const
{
    m_files.writeRecord(Setting::AutoSaveStore, on ? 1 : 0);
}

QString Modsavemodule::archiveFileName(const QDateTime &time)
{
    // The date separator would be a slash, which no file name can hold.
    return QStringLiteral("mail_") + time.toString(QStringLiteral("yy-MM-dd_HHmm")) + QStringLiteral(".dat");
}

std::optional<QString> Modsavemodule::saveReceivedMessage(const MailFields &mail) const
{
    const auto directory = m_files.readField(Setting::SaveDir);
    if (!directory || directory->isEmpty())
        return QObject::tr("The message could not be saved: no save directory is set (%1 is missing). "
                           "Choose one in the directory setup.")
            .arg(QDir::toNativeSeparators(m_files.path(Setting::SaveDir)));
    const QString path = QDir(*directory).filePath(archiveFileName(m_clock.now()));
    QFile archive(path);
    if (!archive.open(QIODevice::WriteOnly | QIODevice::Append))
        return QObject::tr("The message could not be saved to %1: %2")
            .arg(QDir::toNativeSeparators(path), archive.errorString());
    const QString line = mail.to + u',' + mail.subject + u',' + mail.message + u',' + mail.from + QStringLiteral("\r\n");
    const QByteArray bytes = line.toUtf8();
    if (archive.write(bytes) != bytes.size() || !archive.flush())
        return QObject::tr("The message could not be saved to %1: %2")
            .arg(QDir::toNativeSeparators(path), archive.errorString());
    return std::nullopt;
}
