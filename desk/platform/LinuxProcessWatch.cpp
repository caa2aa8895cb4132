#include "LinuxProcessWatch.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

#ifdef SYS_pidfd_open
int openPidfd(qint64 pid)
{
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0U));
}
#else
int openPidfd(qint64)
{
    errno = ENOSYS;
    return -1;
}
#endif

QString baseName(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

// The names a process answers to, as the launcher's running check reads
// them: its executable, its argv[0], and the first argument that is not an
// option (the script an interpreter runs, the program Wine runs).
QStringList namesOf(const QString &proc)
{
    QStringList names;
    if (const QString exe = QFile::symLinkTarget(proc + QStringLiteral("/exe")); !exe.isEmpty())
        names << baseName(exe);
    QFile cmdline(proc + QStringLiteral("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return names;
    const QList<QByteArray> parts = cmdline.read(4096).split('\0');
    if (!parts.isEmpty() && !parts.first().isEmpty())
        names << baseName(QString::fromLocal8Bit(parts.first()));
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (!parts.at(i).isEmpty() && !parts.at(i).startsWith('-')) {
            names << baseName(QString::fromLocal8Bit(parts.at(i)));
            break;
        }
    }
    return names;
}

} // namespace

LinuxProcessWatch::LinuxProcessWatch(int pollIntervalMs, QObject *parent)
    : ProcessWatch(parent)
    , m_pollTimer(new QTimer(this))
{
    m_pollTimer->setInterval(pollIntervalMs);
    connect(m_pollTimer, &QTimer::timeout, this, &LinuxProcessWatch::pollAll);
}

LinuxProcessWatch::~LinuxProcessWatch()
{
    for (QSocketNotifier *notifier : std::as_const(m_pidfds)) {
        ::close(int(notifier->socket()));
        delete notifier;
    }
}

bool LinuxProcessWatch::isAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // The state follows the command name in parentheses, which may hold
    // spaces and parentheses itself: read after the last ')'.
    const QByteArray line = stat.read(1024);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return true;
    const char state = line.at(close + 2);
    return state != 'Z' && state != 'X';
}

Result<ProcessWatch::Way> LinuxProcessWatch::watch(qint64 pid)
{
    if (pid <= 0)
        return Outcome::failure(tr("%1 is no process id").arg(pid));
    if (m_pidfds.contains(pid) || m_polled.contains(pid))
        return m_pidfds.contains(pid) ? Way::Event : Way::Polling;
    const int fd = m_forcePolling ? (errno = ENOSYS, -1) : openPidfd(pid);
    if (fd >= 0) {
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, pid] { ended(pid); });
        m_pidfds.insert(pid, notifier);
        return Way::Event;
    }
    if (errno == ESRCH) {
        // Gone before it could be watched: it has stopped all the same.
        QTimer::singleShot(0, this, [this, pid] { emit stopped(pid); });
        return Way::Event;
    }
    // Older kernels (ENOSYS) and sandboxes that refuse the call: look now and then.
    m_polled.append(pid);
    if (!m_pollTimer->isActive())
        m_pollTimer->start();
    return Way::Polling;
}

void LinuxProcessWatch::unwatch(qint64 pid)
{
    if (QSocketNotifier *notifier = m_pidfds.take(pid)) {
        notifier->setEnabled(false);
        ::close(int(notifier->socket()));
        notifier->deleteLater();
    }
    m_polled.removeAll(pid);
    if (m_polled.isEmpty())
        m_pollTimer->stop();
}

void LinuxProcessWatch::ended(qint64 pid)
{
    unwatch(pid);
    emit stopped(pid);
}

void LinuxProcessWatch::pollAll()
{
    const QList<qint64> polled = m_polled;
    for (const qint64 pid : polled)
        if (!isAlive(pid))
            ended(pid);
}

std::optional<qint64> LinuxProcessWatch::findRunning(const QString &fileName)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == qint64(::getpid()))
            continue;
        if (namesOf(QStringLiteral("/proc/") + entry).contains(fileName, Qt::CaseInsensitive) && isAlive(pid))
            return pid;
    }
    return std::nullopt;
}
