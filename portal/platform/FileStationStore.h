#pragma once

#include "StationStore.h"

/// The station list as a file ("listitems.txt"), one entry and CR LF a line.
class FileStationStore : public StationStore
{
public:
    explicit FileStationStore(QString path);
    QStringList load() override;
    PortalOutcome append(const QString &entry) override;
    PortalOutcome rewrite(const QStringList &entries) override;
    QString path() const { return m_path; }

private:
    void makeFolder() const;

    QString m_path;
};
