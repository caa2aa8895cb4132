#pragma once

#include "PortalOutcome.h"

/// The sound setting file the portal shares with the desk ("soundsettings.dat"):
/// the portal only ever writes it.
class SoundSetting
{
public:
    virtual ~SoundSetting() = default;
    /// Stores the switch.
    virtual PortalOutcome store(bool on) = 0;
};
