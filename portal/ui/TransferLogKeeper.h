#pragma once

#include <QObject>

class DataLink;
class QWidget;
class TransferLogDialog;
class TransferLogStore;
struct TransferRecord;

/// The window's side of the transfer log: every ended transfer is written
/// to it, the "Transfer Log" button opens the dialog on it, and the
/// dialog's Retry sends a file again through the data link.
class TransferLogKeeper : public QObject
{
    Q_OBJECT
public:
    /// `window` is the dialog's parent.
    TransferLogKeeper(TransferLogStore &store, DataLink &link, QWidget *window);

    /// The dialog; null until it is first opened.
    TransferLogDialog *dialog() const { return m_dialog; }
    /// Writes the record; an open dialog shows it.
    void log(const TransferRecord &record);
    /// Opens (or raises) the dialog with the newest entries.
    void show();

signals:
    /// A line for the connection status box.
    void connectionLine(const QString &line);
    /// A line for the send status box.
    void sendLine(const QString &line);

private:
    void retry(const TransferRecord &record);

    TransferLogStore &m_store;
    DataLink &m_link;
    QWidget *m_window;
    TransferLogDialog *m_dialog = nullptr;
};
