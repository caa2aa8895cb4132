#include "ArrivalAlert.h"

#include "platform/Clock.h"
#include "platform/Speaker.h"

#include <QTimer>

namespace {

// Names are outside input; a folder flooded with new files does not grow
// the count without end.
constexpr qsizetype maxUnread = 100000;

} // namespace

ArrivalAlert::ArrivalAlert(const Clock &clock, Speaker &speaker, std::function<bool()> soundOn, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_speaker(speaker)
    , m_soundOn(std::move(soundOn))
{
}

QString ArrivalAlert::phrase()
{
    return QStringLiteral(
        "Message has arrived  Warning Check Running Packet Program to ensure total message received before opening");
}

void ArrivalAlert::setIntervalMinutes(int minutes)
{
    m_intervalMinutes = std::max(0, minutes);
}

void ArrivalAlert::arrived(const QStringList &names)
{
    QSet<QString> unread = m_unread;
    for (const QString &name : names) {
        if (unread.size() >= maxUnread)
            break;
        unread.insert(name);
    }
    setUnread(std::move(unread));
    m_lastHeard = m_clock.now();
    setAlerting(true);
}

void ArrivalAlert::read(const QString &name)
{
    QSet<QString> unread = m_unread;
    unread.remove(name);
    setUnread(std::move(unread));
    setAlerting(false);
}

void ArrivalAlert::gone(const QString &name)
{
    QSet<QString> unread = m_unread;
    unread.remove(name);
    setUnread(std::move(unread));
    if (m_unread.isEmpty())
        setAlerting(false);
}

void ArrivalAlert::keepOnly(const QSet<QString> &present)
{
    keepOnly([&present](const QString &name) { return present.contains(name); });
}

void ArrivalAlert::keepOnly(const std::function<bool(const QString &)> &isPresent)
{
    QSet<QString> unread = m_unread;
    unread.removeIf([&isPresent](const QString &name) { return !isPresent(name); });
    setUnread(std::move(unread));
    if (m_unread.isEmpty())
        setAlerting(false);
}

void ArrivalAlert::renamed(const QString &before, const QString &now)
{
    if (!m_unread.contains(before))
        return;
    QSet<QString> unread = m_unread;
    unread.remove(before);
    unread.insert(now);
    setUnread(std::move(unread));
}

void ArrivalAlert::dismiss()
{
    setAlerting(false);
}

void ArrivalAlert::tick()
{
    if (!m_alerting || m_intervalMinutes <= 0)
        return;
    const QDateTime now = m_clock.now();
    const qint64 since = m_lastHeard.secsTo(now);
    // A clock set back would otherwise hold the next repeat off by as much.
    if (since < 0) {
        m_lastHeard = now;
        return;
    }
    if (since < qint64(m_intervalMinutes) * 60)
        return;
    m_lastHeard = now;
    if (m_soundOn())
        m_speaker.speak(phrase());
    emit repeated();
}

void ArrivalAlert::startTicking(int milliseconds)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &ArrivalAlert::tick);
    }
    m_timer->start(milliseconds);
}

void ArrivalAlert::setUnread(QSet<QString> names)
{
    const bool changed = names.size() != m_unread.size();
    m_unread = std::move(names);
    if (changed)
        emit unreadChanged(unread());
}

void ArrivalAlert::setAlerting(bool on)
{
    if (on == m_alerting)
        return;
    m_alerting = on;
    emit alertingChanged(on);
}
