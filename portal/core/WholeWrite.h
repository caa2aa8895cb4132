#pragma once

#include <QByteArrayView>
#include <QFileDevice>

/// Writes every byte of `bytes` to `out`; false when the system stopped it,
/// and then out.errorString() holds the system's reason.
///
/// Open files written this way with QIODevice::Unbuffered: a buffered
/// QFileDevice (QSaveFile too) drops a write that the system cut short (a
/// full disk, a file size limit) in its flush and still commits, so a
/// truncated file would be reported as whole. Unbuffered, the short write
/// shows, and writing the rest brings out the system's reason.
inline bool writeWhole(QFileDevice &out, QByteArrayView bytes)
{
    Q_ASSERT(out.openMode() & QIODevice::Unbuffered);
    while (!bytes.isEmpty()) {
        const qint64 written = out.write(bytes.data(), bytes.size());
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}
