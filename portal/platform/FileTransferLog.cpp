#include "FileTransferLog.h"

#include "RegularFileOpen.h"
#include "WholeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

FileTransferLog::FileTransferLog(QString path)
    : m_path(std::move(path))
{
}

PortalOutcome FileTransferLog::append(const TransferRecord &record)
{
    // A per-user setting folder is made on its first write.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile file(m_path);
    // A FIFO would take the record into its buffer and lose it; a device, the same.
    if (const QString kind = RegularFileOpen::kindAt(m_path); !kind.isEmpty())
        return PortalOutcome::failure(
            QObject::tr("%1 is %2, not a regular file.").arg(QDir::toNativeSeparators(m_path), kind));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return PortalOutcome::fileFailure(file);
    const qint64 before = file.size();
    QByteArray bytes;
    if (before == 0) {
        bytes = TransferLog::headerLine();
    } else {
        // A line cut short by an earlier crash must not swallow this record.
        char last = 0;
        if (!file.seek(before - 1) || !file.getChar(&last))
            return PortalOutcome::fileFailure(file);
        if (last != '\n')
            bytes = "\r\n";
    }
    bytes += TransferLog::line(record);
    if (!file.seek(before) || !writeWhole(file, bytes)) {
        const PortalOutcome failed = PortalOutcome::fileFailure(file);
        // Whole or nothing: a half-written record is cut off again.
        file.resize(before);
        return failed;
    }
    return {};
}

PortalOutcome FileTransferLog::readLast(int count, TransferLog::Tail *tail)
{
    *tail = {};
    QFile file(m_path);
    if (!file.exists())
        return {}; // no transfer yet
    if (const PortalOutcome opened = RegularFileOpen::openForReading(file); !opened)
        return opened;
    *tail = TransferLog::readTail(file, count);
    return {};
}
