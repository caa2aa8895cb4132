#pragma once

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

    /// Stores the switch; a failed write is ignored.
    void storeSoundSetting(bool on) const;

private:
    const SettingFiles &m_files;
};
