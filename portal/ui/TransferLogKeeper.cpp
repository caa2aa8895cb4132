#include "TransferLogKeeper.h"

#include "DataLink.h"
#include "TransferLogDialog.h"
#include "TransferLogStore.h"

TransferLogKeeper::TransferLogKeeper(TransferLogStore &store, DataLink &link, QWidget *window)
    : QObject(window)
    , m_store(store)
    , m_link(link)
    , m_window(window)
{
}

void TransferLogKeeper::log(const TransferRecord &record)
{
    if (const PortalOutcome logged = m_store.append(record); !logged)
        emit connectionLine(tr("The transfer log could not be written (%1); the transfer itself is not affected.")
                                .arg(logged.why()));
    if (m_dialog && m_dialog->isVisible())
        m_dialog->refresh();
}

void TransferLogKeeper::show()
{
    if (!m_dialog) {
        m_dialog = new TransferLogDialog(m_store, m_window);
        connect(m_dialog, &TransferLogDialog::retryRequested, this, &TransferLogKeeper::retry);
    }
    m_dialog->say({});
    m_dialog->refresh();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void TransferLogKeeper::retry(const TransferRecord &record)
{
    const PortalOutcome started = m_link.retrySend(record);
    const QString line = started ? tr("Retrying the send of %1 to %2: the send status box shows how it goes.")
                                       .arg(record.file, record.peer)
                                 : started.why();
    if (!started)
        emit sendLine(line);
    if (m_dialog)
        m_dialog->say(line);
}
