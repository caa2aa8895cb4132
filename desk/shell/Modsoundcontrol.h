#pragma once

#include "Outcome.h"

class SettingFiles;

/// The stored sound switch ("soundsettings.dat") and the question every
/// announcing screen asks before it speaks.
class Modsoundcontrol
{
public:
    explicit Modsoundcontrol(const SettingFiles &files);

    /// On unless the switch file exists and holds a number other than 1.
    /// A file that cannot be read counts as on.
    bool isSoundOn() const;

    /// Stores the switch. The sound action ignores a failure: speech and
    /// the system's mute have already followed the operator.
    Outcome storeSoundSetting(bool on) const;

private:
    const SettingFiles &m_files;
};
