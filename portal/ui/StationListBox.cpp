#include "StationListBox.h"

#include "Prompter.h"
#include "StationList.h"
#include "StationStore.h"
#include "StatusText.h"

#include <QLineEdit>
#include <QListWidget>

StationListBox::StationListBox(QLineEdit *entry, QListWidget *list, QLineEdit *address, StationStore &store,
                               Prompter &prompter, QObject *parent)
    : QObject(parent)
    , m_entry(entry)
    , m_list(list)
    , m_address(address)
    , m_store(store)
    , m_prompter(prompter)
{
    connect(m_list, &QListWidget::itemClicked, this, &StationListBox::pick);
    connect(m_list, &QListWidget::currentRowChanged, this, &StationListBox::pick);
}

void StationListBox::load()
{
    for (const QString &entry : m_store.load())
        addEntry(entry);
}

void StationListBox::addEntry(const QString &entry)
{
    auto *item = new QListWidgetItem(entry, m_list);
    item->setToolTip(entry);
}

void StationListBox::add()
{
    const QString entry = StatusText::trimSpaces(m_entry->text());
    if (entry.isEmpty()) {
        m_prompter.inform(QStringLiteral("Please type something first."), Prompter::Icon::None);
        return;
    }
    addEntry(entry);
    m_entry->clear();
    if (const PortalOutcome added = m_store.append(entry); !added)
        m_prompter.inform(StatusText::errorLine(QStringLiteral("[ADD ERR "), 75, added.why()), Prompter::Icon::Critical);
}

void StationListBox::remove()
{
    const int row = m_list->currentRow();
    if (row < 0 || !m_list->item(row)->isSelected()) {
        m_prompter.inform(QStringLiteral("Please select an item to delete."), Prompter::Icon::None);
        return;
    }
    m_entry->clear();
    {
        // Removing the entry must not pick a neighbouring one.
        const QSignalBlocker blocker(m_list);
        delete m_list->takeItem(row);
        m_list->setCurrentRow(-1);
    }
    QStringList entries;
    for (int i = 0; i < m_list->count(); ++i)
        entries.append(m_list->item(i)->text());
    if (const PortalOutcome rewritten = m_store.rewrite(entries); !rewritten)
        m_prompter.inform(StatusText::errorLine(QStringLiteral("[DELETE ERR "), 75, rewritten.why()),
                          Prompter::Icon::Critical);
}

void StationListBox::pick()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    m_address->setText(StationList::addressOf(item->text()));
}
