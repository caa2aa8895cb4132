#include "FileSoundSetting.h"

#include "WholeWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

FileSoundSetting::FileSoundSetting(QString path)
    : m_path(std::move(path))
{
}

PortalOutcome FileSoundSetting::store(bool on)
{
    // A per-user setting folder is made on its first write.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Written aside and swapped in, so a failure leaves the old setting as it was.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeWhole(file, on ? "1\r\n" : "0\r\n") ||
        !file.commit()) {
        return PortalOutcome::failure(QStringLiteral("The sound setting cannot be written to %1: %2")
                                    .arg(QDir::toNativeSeparators(m_path), file.errorString()));
    }
    return {};
}
