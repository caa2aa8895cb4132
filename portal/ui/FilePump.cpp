#include "FilePump.h"

#include <QDir>

namespace {

QString failure(const QFile &file)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
}

} // namespace

Outcome FilePump::open(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return Outcome::failure(failure(m_file));
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

Outcome FilePump::fill(QIODevice &connection)
{
    while (m_file.isOpen() && connection.bytesToWrite() < highWater) {
        const QByteArray chunk = m_file.read(chunkSize);
        if (chunk.isEmpty()) {
            const bool failed = m_file.error() != QFileDevice::NoError;
            const QString why = failed ? failure(m_file) : QString();
            m_file.close();
            if (failed)
                return Outcome::failure(why);
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
