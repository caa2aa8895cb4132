#pragma once

#include <QString>

/// The sound setting file the portal shares with the desk ("soundsettings.dat"):
/// the portal only ever writes it.
class SoundSetting
{
public:
    virtual ~SoundSetting() = default;
    /// Stores the switch. Returns an empty string or why it could not, in words.
    virtual QString store(bool on) = 0;
};
