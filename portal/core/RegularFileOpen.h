#pragma once

#include "PortalOutcome.h"

class QFile;

/// Opening a file for reading that the operator or another program can
/// replace. A FIFO put where a file is expected would hold the portal in
/// open() until something writes to it, and a device or socket is no file to
/// read or send: both are refused in words instead.
namespace RegularFileOpen {

/// What lies at `path`, in words ("a folder", "a FIFO (named pipe)",
/// "a socket", "a device", ...); empty for a regular file or nothing at all.
/// Symbolic links are followed.
QString kindAt(const QString &path);

/// Opens `file` (by its file name) read-only when it is a regular file. The
/// look is an open that never waits; the file Qt then opens by name must be
/// the one looked at. A failure names the native path and what was found
/// there ("<path> is a FIFO (named pipe), not a regular file.") or the
/// system's reason.
PortalOutcome openForReading(QFile &file);

} // namespace RegularFileOpen
