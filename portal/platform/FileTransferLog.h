#pragma once

#include "TransferLogStore.h"

#include <QString>

/// The transfer log as a CSV file beside the portal's other setting files.
class FileTransferLog : public TransferLogStore
{
public:
    /// The log's name in the setting folder.
    static QString fileName() { return QStringLiteral("transferlog.csv"); }

    explicit FileTransferLog(QString path);
    PortalOutcome append(const TransferRecord &record) override;
    PortalOutcome readLast(int count, TransferLog::Tail *tail) override;
    QString path() const { return m_path; }

private:
    QString m_path;
};
