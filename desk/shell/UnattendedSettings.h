#pragma once

#include "Outcome.h"

#include <QList>

class SettingFiles;

/// The unattended-station features' own settings, kept in one small file
/// beside the other settings. Without the file every feature is as the
/// defaults say: the arrival alert does not repeat, the rest are on.
///
/// On disk: one line of "key=value" pairs parted by commas, e.g.
/// "repeat=5,watchdog=on,notify=on,log=on". Unknown keys and values that
/// cannot be read leave the default in place.
struct UnattendedSettings {
    int repeatMinutes = 0; ///< 0: the arrival alert is spoken once, as always
    bool watchdog = true;  ///< watch programs started or found by the launcher
    bool notify = true;    ///< desktop notification and tray icon on arrivals
    bool log = true;       ///< append events to the daily station log

    /// The repeat intervals the operator can choose, in minutes; 0 is off.
    static QList<int> repeatChoices() { return {0, 1, 5, 15}; }

    static UnattendedSettings parse(const QString &line);
    QString toLine() const;

    static UnattendedSettings load(const SettingFiles &files);
    Outcome store(const SettingFiles &files) const;

    bool operator==(const UnattendedSettings &) const = default;
};
