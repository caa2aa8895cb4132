#include "FileStationStore.h"

#include "RegularFileOpen.h"
#include "StationList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

FileStationStore::FileStationStore(QString path)
    : m_path(std::move(path))
{
}

QStringList FileStationStore::load()
{
    QFile file(m_path);
    // A FIFO or device in the list's place is no list: left unread, not waited on.
    if (!RegularFileOpen::openForReading(file))
        return {};
    return StationList::read(file);
}

void FileStationStore::makeFolder() const
{
    // A per-user setting folder is made on its first write.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
}

PortalOutcome FileStationStore::append(const QString &entry)
{
    makeFolder();
    return StationList::append(m_path, entry);
}

PortalOutcome FileStationStore::rewrite(const QStringList &entries)
{
    makeFolder();
    return StationList::rewrite(m_path, entries);
}
