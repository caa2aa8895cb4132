#include "FileSoundSetting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

FileSoundSetting::FileSoundSetting(QString path)
    : m_path(std::move(path))
{
}

PortalOutcome FileSoundSetting::store(bool on)
{
    // A per-user setting folder is made on its first write.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(on ? "1\r\n" : "0\r\n") != 3 ||
        !file.flush()) {
        return PortalOutcome::failure(QStringLiteral("The sound setting cannot be written to %1: %2")
                                    .arg(QDir::toNativeSeparators(m_path), file.errorString()));
    }
    return {};
}
