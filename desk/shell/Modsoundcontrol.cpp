#include "Modsoundcontrol.h"

#include "SettingFiles.h"

Modsoundcontrol::Modsoundcontrol(const SettingFiles &files)
    : m_files(files)
{
}

bool Modsoundcontrol::isSoundOn() const
{
    if (!m_files.exists(Setting::SoundSettings))
        return true;
    const auto value = m_files.readNumber(Setting::SoundSettings);
    return !value || *value == 1;
}

Outcome Modsoundcontrol::storeSoundSetting(bool on) const
{
    return m_files.writeRecord(Setting::SoundSettings, on ? 1 : 0);
}
