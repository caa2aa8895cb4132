#include "LauncherWatchdog.h"

#include "platform/Speaker.h"

#include <QDir>
#include <QTimer>

#include <cstring>

namespace {

bool sameFile(const SettingFile &a, const SettingFile &b)
{
    return std::strcmp(a.name, b.name) == 0 && a.form == b.form;
}

} // namespace

LauncherWatchdog::LauncherWatchdog(const SettingFiles &files, ProcessWatch &watch, Speaker &speaker,
                                   std::function<bool()> soundOn, std::function<void(const QString &)> record,
                                   QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_watch(watch)
    , m_speaker(speaker)
    , m_soundOn(std::move(soundOn))
    , m_record(std::move(record))
{
    connect(&m_watch, &ProcessWatch::stopped, this, &LauncherWatchdog::onStopped);
}

QString LauncherWatchdog::stoppedText(const QString &name)
{
    return name + QStringLiteral(" has stopped");
}

Result<ProcessWatch::Way> LauncherWatchdog::watchStarted(const Program &program, qint64 pid)
{
    if (!m_enabled)
        return Outcome::failure(tr("the watchdog is switched off"));
    if (pid <= 0)
        return Outcome::failure(tr("no process id for %1").arg(program.name));
    // One watch per program: a second start or find replaces the first.
    for (auto it = m_watched.begin(); it != m_watched.end();) {
        if (sameFile(it.value().stateFile, program.stateFile) && it.key() != pid) {
            m_watch.unwatch(it.key());
            it = m_watched.erase(it);
        } else {
            ++it;
        }
    }
    const Result<ProcessWatch::Way> way = m_watch.watch(pid);
    if (way)
        m_watched.insert(pid, program);
    return way;
}

Result<ProcessWatch::Way> LauncherWatchdog::watchFound(const Program &program)
{
    if (!m_enabled)
        return Outcome::failure(tr("the watchdog is switched off"));
    const auto pid = m_watch.findRunning(program.name);
    if (!pid)
        return Outcome::failure(tr("no running process of %1 was found").arg(program.name));
    return watchStarted(program, *pid);
}

void LauncherWatchdog::lookFor(const Program &program, int tries)
{
    if (!m_enabled || tries <= 0)
        return;
    m_looking.removeIf([&](const Looking &looking) { return sameFile(looking.program.stateFile, program.stateFile); });
    m_looking.append({program, tries});
    if (!m_lookTimer) {
        m_lookTimer = new QTimer(this);
        connect(m_lookTimer, &QTimer::timeout, this, &LauncherWatchdog::lookAgain);
    }
    m_lookTimer->start(m_lookIntervalMs);
}

void LauncherWatchdog::lookAgain()
{
    QList<Looking> still;
    for (Looking looking : std::as_const(m_looking)) {
        if (watchFound(looking.program))
            continue;
        if (--looking.triesLeft > 0)
            still.append(looking);
        else
            m_record(tr("launcher could not find %1 running to watch it").arg(looking.program.name));
    }
    m_looking = still;
    if (m_looking.isEmpty())
        m_lookTimer->stop();
}

bool LauncherWatchdog::watches(const SettingFile &stateFile) const
{
    for (const Program &program : m_watched)
        if (sameFile(program.stateFile, stateFile))
            return true;
    return false;
}

void LauncherWatchdog::onStopped(qint64 pid)
{
    const auto found = m_watched.constFind(pid);
    if (found == m_watched.cend())
        return;
    const Program program = found.value();
    m_watched.erase(found);

    QString notice = stoppedText(program.name);
    m_record(notice);
    if (m_soundOn())
        m_speaker.speak(notice);
    // The button's state as Reset leaves it, so the next start works.
    if (const Outcome cleared = m_files.writeRecord(program.stateFile, true); !cleared) {
        notice += u'\n' + tr("Its start button stays disabled after a restart of the launcher: %1").arg(cleared.error());
        m_record(tr("%1: state not cleared: %2").arg(program.name, cleared.error()));
    } else {
        m_record(tr("launcher cleared the running state of %1").arg(program.name));
    }
    emit programStopped(QString::fromLatin1(program.stateFile.name), notice);
}
