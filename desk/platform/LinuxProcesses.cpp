#include "LinuxProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The last path component, whichever separator the path uses (Wine shows
// Windows paths in a process's arguments).
QString baseName(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

bool isWindowsProgram(const QString &path)
{
    return path.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive);
}

// The first argument after argv[0] that is not an option: the script an
// interpreter runs, or the Windows program Wine runs.
QString programArgument(const QList<QByteArray> &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments.at(i);
        if (!argument.isEmpty() && !argument.startsWith('-'))
            return QString::fromLocal8Bit(argument);
    }
    return {};
}

// The process id on success: a detached start that did not fork and exec
// says so through errorString, never as a started program.
Result<qint64> startDetached(const QString &program, const QStringList &arguments,
                             const QString &workingDirectory)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    qint64 pid = 0;
    if (process.startDetached(&pid))
        return pid;
    return Outcome::failure(QObject::tr("%1 cannot be started: %2")
                                .arg(QDir::toNativeSeparators(program), process.errorString()));
}

} // namespace

QStringList LinuxProcesses::runningProgramNames()
{
    QStringList names;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric)
            continue;
        const QString proc = QStringLiteral("/proc/") + pid;
        // The executable's name; other users' exe links are unreadable, and
        // interpreters (Wine, shells) show their own name there, so argv[0]
        // counts as well.
        const QString exe = QFile::symLinkTarget(proc + QStringLiteral("/exe"));
        if (!exe.isEmpty())
            names << baseName(exe);
        QFile cmdline(proc + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly)) {
            const QByteArray arguments = cmdline.read(4096);
            const QList<QByteArray> parts = arguments.split('\0');
            if (!parts.isEmpty() && !parts.first().isEmpty())
                names << baseName(QString::fromLocal8Bit(parts.first()));
            // Under Wine the Windows program is the first argument, and a
            // script runs as its interpreter with the script's path as the
            // first argument that is not an option ("sh -e modem.sh").
            if (const QString program = programArgument(parts); !program.isEmpty())
                names << baseName(program);
        }
    }
    return names;
}

bool LinuxProcesses::isRunning(const QString &fileName)
{
    if (fileName.isEmpty())
        return false;
    const QStringList names = runningProgramNames();
    return std::any_of(names.begin(), names.end(),
                       [&](const QString &name) { return name.compare(fileName, Qt::CaseInsensitive) == 0; });
}

Result<qint64> LinuxProcesses::start(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return Outcome::failure(QObject::tr("File not found: %1").arg(QDir::toNativeSeparators(path)));
    if (isWindowsProgram(path)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            return Outcome::failure(
                QObject::tr("%1 is a Windows program and Wine is not installed").arg(info.fileName()));
        return startDetached(wine, {path}, info.absolutePath());
    }
    if (!info.isExecutable())
        return Outcome::failure(
            QObject::tr("%1 is not a program that can be started").arg(QDir::toNativeSeparators(path)));
    return startDetached(path, {}, info.absolutePath());
}

Outcome LinuxProcesses::open(const QString &file, const QString &workingDirectory)
{
    const QString path = QDir(workingDirectory).filePath(file);
    const QFileInfo info(path);
    if (!info.exists())
        return Outcome::failure(QObject::tr("File not found: %1").arg(QDir::toNativeSeparators(path)));
    if (isWindowsProgram(path) || (info.isFile() && info.isExecutable()))
        return start(path).outcome();
    // A document: let the desktop pick the program that opens it.
    return startDetached(QStringLiteral("xdg-open"), {path}, workingDirectory).outcome();
}
