#pragma once

#include "TransferLog.h"

#include <QDialog>

class QLabel;
class QTableWidget;
class TransferLogStore;

/// "Transfer Log": the newest entries of the transfer log in a table, newest
/// on top. A send that did not complete has a Retry button in its row.
class TransferLogDialog : public QDialog
{
    Q_OBJECT
public:
    /// The table shows at most this many entries.
    static constexpr int shownEntries = 200;
    /// The columns, left to right.
    enum Column { Time, Direction, Peer, File, Bytes, Result, Detail, Retry, ColumnCount };

    TransferLogDialog(TransferLogStore &store, QWidget *parent = nullptr);

    /// Reads the log again and fills the table.
    void refresh();
    /// Shows a line under the table (what became of a retry, a read failure).
    void say(const QString &line);
    /// The records in the table, top row first.
    const QList<TransferRecord> &shown() const { return m_shown; }

signals:
    /// The operator asked to send the record's file again.
    void retryRequested(const TransferRecord &record);

private:
    TransferLogStore &m_store;
    QTableWidget *m_table = nullptr;
    QLabel *m_status = nullptr;
    QList<TransferRecord> m_shown;
};
