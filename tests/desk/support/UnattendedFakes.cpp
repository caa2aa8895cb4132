#include "UnattendedFakes.h"

#include <QFile>

Result<ProcessWatch::Way> FakeProcessWatch::watch(qint64 pid)
{
    if (refuse)
        return Outcome::failure(QStringLiteral("watch refused"));
    watched.insert(pid);
    return Way::Event;
}

std::optional<qint64> FakeProcessWatch::findRunning(const QString &fileName)
{
    const auto found = running.constFind(fileName.toLower());
    if (found == running.cend())
        return std::nullopt;
    return found.value();
}

void FakeProcessWatch::end(qint64 pid)
{
    if (watched.remove(pid))
        emit stopped(pid);
}

UnattendedDesk::UnattendedDesk()
    : station(desk.files, desk.clock, desk.speaker, desk.prompter, notifier, watch)
{
    desk.context.unattended = &station;
}

QStringList UnattendedDesk::logLines() const
{
    QFile log(station.log().todaysPath());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList UnattendedDesk::loggedEvents() const
{
    QStringList events;
    for (const QString &line : logLines())
        events << line.section(u' ', 1);
    return events;
}
