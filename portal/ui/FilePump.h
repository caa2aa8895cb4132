#pragma once

#include "PortalOutcome.h"

#include <QFile>
#include <QString>

class QIODevice;

/// Sends one file after its transfer header: reads it in chunks as the
/// connection drains, so the file's size never sits in memory, and counts
/// what the connection took, the header apart from the content.
class FilePump
{
public:
    /// Chunks are read until this much waits in the connection.
    static constexpr qint64 highWater = 256 * 1024;
    static constexpr qint64 chunkSize = 64 * 1024;

    /// Opens the file; the failure names the native path and the system's description.
    PortalOutcome open(const QString &path);
    /// Starts counting a send whose header of this many bytes goes out first.
    void start(qint64 headerBytes);
    /// Writes chunks to the connection until it holds highWater bytes or the
    /// file is at its end (then the file is closed). A read failure closes it too.
    PortalOutcome fill(QIODevice &connection);
    /// The connection took this many bytes: header first, then content.
    void taken(qint64 bytes);
    void close() { m_file.close(); }

    /// Whether content is still to be read from the file.
    bool reading() const { return m_file.isOpen(); }
    qint64 size() const { return m_size; }
    /// Content bytes (header apart) the connection took.
    qint64 sent() const { return m_sent; }

private:
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_sent = 0;
    qint64 m_headerBytes = 0;
};
