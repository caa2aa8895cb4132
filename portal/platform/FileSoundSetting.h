#pragma once

#include "SoundSetting.h"

/// The sound setting as a file: the number 1 or 0 followed by CR LF.
class FileSoundSetting : public SoundSetting
{
public:
    explicit FileSoundSetting(QString path);
    PortalOutcome store(bool on) override;
    QString path() const { return m_path; }

private:
    QString m_path;
};
