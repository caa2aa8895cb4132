#pragma once

#include "Outcome.h"

#include <QDate>
#include <QString>

class Clock;

/// The station log: one line per event, appended to a file of the day
/// ("stationlog-YYYY-MM-DD.txt") in the settings folder. Each line is the
/// local time in ISO 8601 with its offset from UTC, a space, and the event.
class StationLog
{
public:
    StationLog(QString folder, const Clock &clock);

    /// Switched off, `append` writes nothing and succeeds.
    void setEnabled(bool on) { m_enabled = on; }
    bool enabled() const { return m_enabled; }

    /// The log file of that day.
    QString pathFor(QDate day) const;
    /// Today's log file, by the clock.
    QString todaysPath() const;

    /// True for the name of any day's log file, in any letter case.
    static bool isLogFileName(const QString &name);

    /// Appends one line. Line ends and other control characters in the
    /// event become spaces, and a very long event is cut, so one event is
    /// always one line. A failed append leaves the file as it was.
    Outcome append(const QString &event) const;

    /// The longest event text kept, in characters.
    static constexpr qsizetype maxEventLength = 1000;

private:
    QString m_folder;
    const Clock &m_clock;
    bool m_enabled = true;
};
