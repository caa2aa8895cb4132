#include "Modsavemodule.h"

#include "SettingFiles.h"
#include "compose/CsvRecords.h"
#include "compose/MailPosting.h"
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

Outcome Modsavemodule::storeAutoSaveSetting(bool on) const
{
    return m_files.writeRecord(Setting::AutoSaveStore, on ? 1 : 0);
}

QString Modsavemodule::archiveFileName(const QDateTime &time)
{
    // The date separator would be a slash, which no file name can hold.
    return QStringLiteral("mail_") + time.toString(QStringLiteral("yy-MM-dd_HHmm")) + QStringLiteral(".dat");
}

Outcome Modsavemodule::saveReceivedMessage(const MailFields &mail) const
{
    // The whole line, as the saved-messages screen reads it: a folder whose
    // name holds a comma is the folder that is browsed.
    const Result<QString> directory = m_files.readFirstLine(Setting::SaveDir);
    if (!directory || directory->isEmpty())
        return Outcome::failure(QObject::tr("The message could not be saved: no save directory is set (%1) Choose one "
                                            "in the directory setup.")
                                    .arg(directory ? QObject::tr("%1 is empty.").arg(QDir::toNativeSeparators(
                                                         m_files.path(Setting::SaveDir)))
                                                   : directory.error()));
    const QString path = QDir(*directory).filePath(archiveFileName(m_clock.now()));
    const QByteArray record = archiveRecord(mail);
    const Outcome saved = MailPosting::appendEntry(path, [&](QIODevice &out) {
        if (out.write(record) != record.size())
            return Outcome::failure(out.errorString());
        return Outcome();
    });
    if (!saved)
        return Outcome::failure(
            QObject::tr("The message could not be saved to %1: %2").arg(QDir::toNativeSeparators(path), saved.error()));
    return saved;
}

QByteArray Modsavemodule::archiveRecord(const MailFields &mail)
{
    return CsvRecords::line({mail.to, mail.subject, mail.message, mail.from}).toUtf8();
}

QStringList Modsavemodule::savedMessagePieces(const QByteArray &archive)
{
    const QString text = QString::fromUtf8(archive);
    CsvRecords::Reader reader(text);
    QStringList first;
    // Blank lines before the first message carry nothing.
    while (!reader.atEnd() && (first = reader.next()) == QStringList{QString()})
        ;
    if (first.size() >= 4)
        return first.mid(0, 4);
    if (!reader.lastWasQuoted()) {
        // Written before fields were quoted: a line break inside the message
        // ended the line, so the fields run on across lines.
        return text.split(u',').mid(0, 4);
    }
    return first;
}
