#pragma once

#include <QObject>

class Prompter;
class QLineEdit;
class QListWidget;
class StationStore;

/// The station list on the window: entries typed in the entry line are
/// added and stored, the selected one deleted, and picking one puts its
/// address in the address line.
class StationListBox : public QObject
{
    Q_OBJECT
public:
    StationListBox(QLineEdit *entry, QListWidget *list, QLineEdit *address, StationStore &store, Prompter &prompter,
                   QObject *parent = nullptr);

    /// Shows the stored entries.
    void load();
    /// Adds the typed entry to the list and the store.
    void add();
    /// Deletes the selected entry from the list and the store.
    void remove();

private:
    void addEntry(const QString &entry);
    void pick();

    QLineEdit *m_entry;
    QListWidget *m_list;
    QLineEdit *m_address;
    StationStore &m_store;
    Prompter &m_prompter;
};
