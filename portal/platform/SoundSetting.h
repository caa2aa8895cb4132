#pragma once

#include "Outcome.h"

/// The sound setting file the portal shares with the desk ("soundsettings.dat"):
/// the portal only ever writes it.
class SoundSetting
{
public:
    virtual ~SoundSetting() = default;
    /// Stores the switch.
    virtual Outcome store(bool on) = 0;
};
