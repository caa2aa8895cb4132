#include "FilePump.h"

#include "RegularFileOpen.h"

PortalOutcome FilePump::open(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    if (const PortalOutcome opened = RegularFileOpen::openForReading(m_file); !opened)
        return opened;
    m_size = m_file.size();
    m_sent = 0;
    m_headerBytes = 0;
    return {};
}

void FilePump::start(qint64 headerBytes)
{
    m_sent = 0;
    m_headerBytes = headerBytes;
}

PortalOutcome FilePump::fill(QIODevice &connection)
{
    while (m_file.isOpen() && connection.bytesToWrite() < highWater) {
        const QByteArray chunk = m_file.read(chunkSize);
        if (chunk.isEmpty()) {
            const bool failed = m_file.error() != QFileDevice::NoError;
            const PortalOutcome read = failed ? PortalOutcome::fileFailure(m_file) : PortalOutcome();
            m_file.close();
            if (failed)
                return read;
            break;
        }
        // A connection that stops taking bytes reports its own error.
        connection.write(chunk);
    }
    return {};
}

void FilePump::taken(qint64 bytes)
{
    const qint64 header = qMin(bytes, m_headerBytes);
    m_headerBytes -= header;
    m_sent += bytes - header;
}
