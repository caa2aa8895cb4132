#include "TransferLogDialog.h"

#include "TransferLogStore.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    // A long name or cause stays readable in full as the cell's tip.
    item->setToolTip(text);
    return item;
}

} // namespace

TransferLogDialog::TransferLogDialog(TransferLogStore &store, QWidget *parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("TransferLogDialog"));
    setWindowTitle(QStringLiteral("Transfer Log"));
    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("transferTable"));
    m_table->setHorizontalHeaderLabels({tr("Time"), tr("Direction"), tr("Peer"), tr("File"), tr("Bytes"), tr("Result"),
                                        tr("Detail"), tr("Retry")});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(Detail, QHeaderView::Stretch);
    m_table->setWordWrap(false);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("transferLogStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *reload = new QPushButton(tr("Re&fresh"), this);
    reload->setObjectName(QStringLiteral("transferLogRefresh"));
    reload->setAutoDefault(false);
    auto *close = new QPushButton(tr("&Close"), this);
    close->setObjectName(QStringLiteral("transferLogClose"));
    close->setAutoDefault(false);
    connect(reload, &QPushButton::clicked, this, [this] {
        say({});
        refresh();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(reload);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(1000, 480);
}

void TransferLogDialog::refresh()
{
    TransferLog::Tail tail;
    const PortalOutcome read = m_store.readLast(shownEntries, &tail);
    m_shown.clear();
    for (auto it = tail.records.crbegin(); it != tail.records.crend(); ++it)
        m_shown.append(*it);
    m_table->clearContents();
    m_table->setRowCount(int(m_shown.size()));
    for (int row = 0; row < m_shown.size(); ++row) {
        const TransferRecord &record = m_shown[row];
        const QString time = record.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        m_table->setItem(row, Time, cell(time));
        m_table->setItem(row, Direction, cell(TransferLog::directionWord(record.direction)));
        m_table->setItem(row, Peer, cell(record.peer));
        m_table->setItem(row, File, cell(record.file));
        QTableWidgetItem *bytes = cell(QString::number(record.bytes));
        bytes->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, Bytes, bytes);
        m_table->setItem(row, Result, cell(TransferLog::resultWord(record.result)));
        m_table->setItem(row, Detail, cell(record.detail));
        if (record.retryable()) {
            auto *retry = new QPushButton(tr("Retry"), m_table);
            retry->setObjectName(QStringLiteral("retry%1").arg(row));
            retry->setAutoDefault(false);
            retry->setToolTip(tr("Send %1 to %2 again").arg(record.file, record.peer));
            // The record itself, not the row: a refresh may have moved the rows since.
            connect(retry, &QPushButton::clicked, this, [this, record] { emit retryRequested(record); });
            m_table->setCellWidget(row, Retry, retry);
        }
    }
    if (!read) {
        say(tr("The transfer log cannot be read: %1").arg(read.why()));
    } else if (tail.damaged > 0) {
        say(tr("%n damaged line(s) of the transfer log were skipped.", nullptr, tail.damaged));
    }
}

void TransferLogDialog::say(const QString &line)
{
    m_status->setText(line);
}
