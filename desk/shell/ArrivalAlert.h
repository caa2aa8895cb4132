#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class Clock;
class QTimer;
class Speaker;

/// The repeating arrival alert and the count of unread arrivals.
///
/// Each arrival adds its file names to the unread ones and (re)starts the
/// alert. While the alert stands and an interval is set, `tick` speaks the
/// arrival phrase again once the interval has passed since it was last
/// heard; with the sound off the phrase is left out but the rhythm kept.
/// Reading a message stops the alert, as does the operator's dismissal; a
/// message read or gone is no longer unread.
///
/// Time comes from the Clock port only; `tick` is driven by the alert's own
/// timer in the program and called directly by tests.
class ArrivalAlert : public QObject
{
    Q_OBJECT
public:
    ArrivalAlert(const Clock &clock, Speaker &speaker, std::function<bool()> soundOn, QObject *parent = nullptr);

    /// The phrase spoken when a message arrives.
    static QString phrase();

    /// 0 switches repeating off.
    void setIntervalMinutes(int minutes);
    int intervalMinutes() const { return m_intervalMinutes; }

    /// New files arrived; the first announcement is the arrival reaction's.
    void arrived(const QStringList &names);
    /// A message was read: the alert stops, the message is no longer unread.
    void read(const QString &name);
    /// A message left the receive folder without being read.
    void gone(const QString &name);
    /// Only the names still in the folder stay unread.
    void keepOnly(const QSet<QString> &present);
    void keepOnly(const std::function<bool(const QString &)> &isPresent);
    /// A message now has another name; unread or not, it stays as it was.
    void renamed(const QString &before, const QString &now);
    /// The operator has seen the notice: the alert stops, the count stays.
    void dismiss();

    int unread() const { return int(m_unread.size()); }
    bool alerting() const { return m_alerting; }

    /// Speaks the phrase again when it is due.
    void tick();
    /// Starts the timer that calls `tick`, every `milliseconds`.
    void startTicking(int milliseconds = 1000);

signals:
    void unreadChanged(int count);
    void alertingChanged(bool alerting);
    /// The phrase was due again (spoken or, with the sound off, left out).
    void repeated();

private:
    void setUnread(QSet<QString> names);
    void setAlerting(bool on);

    const Clock &m_clock;
    Speaker &m_speaker;
    std::function<bool()> m_soundOn;
    QTimer *m_timer = nullptr;
    int m_intervalMinutes = 0;
    QSet<QString> m_unread;
    bool m_alerting = false;
    QDateTime m_lastHeard;
};
