#include "FileStationStore.h"

#include "StationList.h"

#include <QFile>

FileStationStore::FileStationStore(QString path)
    : m_path(std::move(path))
{
}

QStringList FileStationStore::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return StationList::read(file);
}

QString FileStationStore::append(const QString &entry)
{
    return StationList::append(m_path, entry);
}

QString FileStationStore::rewrite(const QStringList &entries)
{
    return StationList::rewrite(m_path, entries);
}
