#pragma once

#include "Outcome.h"

#include <QIODevice>
#include <QString>

class QFile;

/// Opening files that another program or the operator can replace.
///
/// A FIFO, a socket or a device put where the desk expects a file must
/// neither hang the desk (opening a FIFO waits for its other end) nor be
/// read as if it were one. The look is an open that never waits, and the
/// file Qt then opens by name (so that it keeps its name for messages) must
/// be the one looked at, else it is refused. Only a FIFO swapped in within
/// the instant between the two opens could still make the second one wait.
/// Symbolic links are followed: a link to a regular file is one.
namespace RegularFile {

/// What lies at `path`, in words for an error ("a folder", "a FIFO (named
/// pipe)", "a socket", "a device", ...); empty when it is a regular file or
/// nothing is there.
QString kindAt(const QString &path);

/// "<native path> is <kind>, not a regular file."
QString notRegular(const QString &path, const QString &kind);

/// Opens `file` (by its file name) for reading, when it is a regular file.
/// A failure names the native path and what was found there or the
/// system's reason.
Outcome openForReading(QFile &file);

/// Opens `file` for writing with `mode` (WriteOnly, with Truncate or
/// Append), creating it when missing, when what is there is a regular file.
Outcome openForWriting(QFile &file, QIODevice::OpenMode mode);

} // namespace RegularFile
