#pragma once

#include "shell/Outcome.h"

#include <QByteArrayView>
#include <QIODevice>

/// Writes every byte of `bytes` to `out`, or fails with the system's reason.
///
/// Open files written this way with QIODevice::Unbuffered: a buffered
/// QFileDevice (QSaveFile too) drops a write that the system cut short (a
/// full disk, a file size limit) in its flush and still commits, so a
/// truncated file would be reported as whole. Unbuffered, the short write
/// shows, and writing the rest brings out the system's reason.
inline Outcome writeWhole(QIODevice &out, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = out.write(bytes.data(), bytes.size());
        if (written <= 0)
            return Outcome::failure(out.errorString());
        bytes = bytes.sliced(written);
    }
    return {};
}
