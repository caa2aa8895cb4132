#include "SettingFiles.h"

#include "RegularFile.h"
#include "compose/WholeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {

const QChar separator = QDir::separator();

QString withTrailingSeparator(const QString &directory)
{
    return directory.endsWith(separator) || directory.endsWith(u'/') ? directory : directory + separator;
}

} // namespace

bool canCreateFilesIn(const QString &directory)
{
    // Mode bits alone would mislead: root ignores them and a read-only
    // mount overrides them. Creating a file is the question that matters.
    QTemporaryFile probe(QDir(directory).filePath(QStringLiteral(".tavrix-write-check-XXXXXX")));
    return probe.open();
}

SettingsHome chooseSettingsHome(const QString &programDirectory, const QString &perUserDirectory,
                                const std::function<bool(const QString &)> &canWrite)
{
    // Plain-joined names land in the parent of the program's folder, so
    // both must take new files for the folder to hold every setting.
    const QString parent = QFileInfo(programDirectory).absolutePath();
    if (canWrite(programDirectory) && canWrite(parent))
        return {programDirectory, false};
    QDir().mkpath(perUserDirectory);
    return {perUserDirectory, true};
}

SettingFiles::SettingFiles(QString programDirectory, QString workingDirectory)
    : m_programDirectory(std::move(programDirectory))
    , m_workingDirectory(std::move(workingDirectory))
{
}

SettingFiles::SettingFiles(SettingsHome home, QString workingDirectory)
    : m_programDirectory(std::move(home.directory))
    , m_workingDirectory(std::move(workingDirectory))
    , m_perUser(home.perUser)
{
}

QString SettingFiles::path(SettingFile file) const
{
    // Names are folded to lower case so that every spelling of one file
    // meets on a case-sensitive file system.
    const QString name = QString::fromLatin1(file.name).toLower();
    switch (file.form) {
    case PathForm::PlainJoined:
        return m_programDirectory + name;
    case PathForm::Separated:
        return withTrailingSeparator(m_programDirectory) + name;
    case PathForm::BackslashJoined:
        return m_programDirectory + separator + name;
    case PathForm::Relative:
        return withTrailingSeparator(m_workingDirectory) + name;
    }
    return name;
}

bool SettingFiles::exists(SettingFile file) const
{
    return QFile::exists(path(file));
}

Outcome SettingFiles::write(SettingFile file, const QString &text) const
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > maxLineBytes)
        return Outcome::failure(QObject::tr("%1 is not written: a setting of %2 bytes is longer than the %3 a read takes.")
                                    .arg(QDir::toNativeSeparators(path(file)))
                                    .arg(bytes.size())
                                    .arg(maxLineBytes));
    return writeBytes(file, bytes + "\r\n");
}

Outcome SettingFiles::writeBytes(SettingFile file, const QByteArray &bytes) const
{
    QSaveFile out(path(file));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Outcome::cannotWrite(out.fileName(), out.errorString());
    if (const Outcome written = writeWhole(out, bytes); !written)
        return Outcome::cannotWrite(out.fileName(), written.error());
    if (!out.commit())
        return Outcome::cannotWrite(out.fileName(), out.errorString());
    return {};
}

Outcome SettingFiles::writePrintLine(SettingFile file, const QString &value) const
{
    return write(file, value);
}

Outcome SettingFiles::writePrintLine(SettingFile file, bool value) const
{
    return write(file, value ? QStringLiteral("True") : QStringLiteral("False"));
}

Outcome SettingFiles::writeRecord(SettingFile file, const QString &value) const
{
    return write(file, u'"' + value + u'"');
}

Outcome SettingFiles::writeRecord(SettingFile file, int value) const
{
    return write(file, QString::number(value));
}

Outcome SettingFiles::writeRecord(SettingFile file, bool value) const
{
    return write(file, value ? QStringLiteral("#TRUE#") : QStringLiteral("#FALSE#"));
}

Result<QString> SettingFiles::readFirstLine(SettingFile file) const
{
    QFile in(path(file));
    if (!QFileInfo::exists(in.fileName()) && RegularFile::kindAt(in.fileName()).isEmpty())
        return Outcome::failure(QObject::tr("%1 is missing.").arg(QDir::toNativeSeparators(in.fileName())));
    if (const Outcome opened = RegularFile::openForReading(in); !opened)
        return opened;
    // Two bytes past the bound leave room for the line end, so a line of
    // exactly the bound still reads whole.
    QByteArray line = in.readLine(maxLineBytes + 2);
    if (line.isEmpty() && in.error() != QFileDevice::NoError)
        return Outcome::failure(
            QObject::tr("%1 cannot be read: %2").arg(QDir::toNativeSeparators(in.fileName()), in.errorString()));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.size() > maxLineBytes)
        return Outcome::failure(QObject::tr("%1 is not a setting file: its first line is longer than %2 bytes.")
                                    .arg(QDir::toNativeSeparators(in.fileName()))
                                    .arg(maxLineBytes));
    return QString::fromUtf8(line);
}

std::optional<QString> SettingFiles::readLine(SettingFile file) const
{
    const Result<QString> line = readFirstLine(file);
    if (!line)
        return std::nullopt;
    return *line;
}

std::optional<QString> SettingFiles::readField(SettingFile file) const
{
    const auto line = readLine(file);
    if (!line)
        return std::nullopt;
    return firstField(*line);
}

std::optional<int> SettingFiles::readNumber(SettingFile file) const
{
    const auto field = readField(file);
    return field ? toNumber(*field) : std::nullopt;
}

std::optional<bool> SettingFiles::readTruth(SettingFile file) const
{
    const auto field = readField(file);
    return field ? toTruth(*field) : std::nullopt;
}

Outcome SettingFiles::clear(SettingFile file) const
{
    QFile out(path(file));
    return RegularFile::openForWriting(out, QIODevice::WriteOnly | QIODevice::Truncate);
}

Outcome SettingFiles::remove(SettingFile file) const
{
    QFile gone(path(file));
    if (gone.remove() || !gone.exists())
        return {};
    return Outcome::failure(
        QObject::tr("%1 cannot be deleted: %2").arg(QDir::toNativeSeparators(gone.fileName()), gone.errorString()));
}

QString SettingFiles::firstField(const QString &line)
{
    const QString trimmed = line.trimmed();
    // A quoted field runs to its closing quote and may hold commas; an
    // unquoted one ends at the first comma.
    if (trimmed.startsWith(u'"')) {
        const qsizetype close = trimmed.indexOf(u'"', 1);
        return close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1);
    }
    return trimmed.section(u',', 0, 0).trimmed();
}

std::optional<int> SettingFiles::toNumber(const QString &field)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok);
    if (ok)
        return value;
    if (const auto truth = toTruth(field); truth && !field.trimmed().isEmpty() && field.trimmed().at(0) == u'#')
        return *truth ? -1 : 0;
    return std::nullopt;
}

std::optional<bool> SettingFiles::toTruth(const QString &field)
{
    const QString word = field.trimmed().toUpper();
    if (word == u"#TRUE#" || word == u"TRUE")
        return true;
    if (word == u"#FALSE#" || word == u"FALSE")
        return false;
    bool ok = false;
    const double number = word.toDouble(&ok);
    if (ok)
        return number != 0.0;
    return std::nullopt;
}
