#include "ReceiveSide.h"

#include "StatusText.h"

#include <QCoreApplication>

using StatusText::shortName;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DataLink", text);
}

} // namespace

ReceiveSide::ReceiveSide(const QString &folder, Line line, Ended ended)
    : m_folder(folder)
    , m_machine(m_folder)
    , m_line(std::move(line))
    , m_ended(std::move(ended))
{
}

QStringList ReceiveSide::sweepOnce()
{
    QStringList lines;
    if (m_swept)
        return lines;
    m_swept = true;
    const ReceiveFolder::Sweep sweep = m_folder.removeLeftovers();
    if (sweep.removed > 0) {
        lines.append(QStringLiteral("Removed %1 unfinished receive file(s) left from an earlier run "
                              "(the portal was stopped during a transfer).")
                   .arg(sweep.removed));
    }
    if (!sweep.outcome)
        lines.append(QStringLiteral("An unfinished receive file could not be removed: ") + sweep.outcome.why());
    return lines;
}

TransferRecord ReceiveSide::record(const QString &peer, const QString &name, qint64 bytes,
                                   TransferRecord::Result result, const QString &detail)
{
    TransferRecord record;
    record.time = QDateTime::currentDateTime();
    record.direction = TransferRecord::Direction::Received;
    record.peer = peer;
    record.file = name;
    record.bytes = bytes;
    record.result = result;
    record.detail = detail;
    return record;
}

void ReceiveSide::breakOff(const QString &peer, const QString &why)
{
    const TransferRecord broken =
        record(peer, m_machine.receiveName(), m_machine.written(), TransferRecord::Result::BrokenOff, why);
    m_machine.discardFile();
    m_line(QStringLiteral("Receive file %1 broken off after %2 bytes: %3; nothing of it kept.")
               .arg(shortName(broken.file))
               .arg(broken.bytes)
               .arg(broken.detail));
    m_ended(broken);
}

void ReceiveSide::refused(const QString &peer, const ReceiveMachine::Event &event)
{
    const TransferRecord refusal = record(peer, event.text, 0, TransferRecord::Result::Refused, event.detail);
    m_line(QStringLiteral("Refused receive file \"%1\" from %2: %3. The transfer was refused: nothing was "
                          "created or changed; connection closed.")
               .arg(shortName(refusal.file), refusal.peer, refusal.detail));
    m_ended(refusal);
}

void ReceiveSide::writeFailed(const QString &peer, const ReceiveMachine::Event &event)
{
    const TransferRecord failed =
        record(peer, event.text, m_machine.written(), TransferRecord::Result::BrokenOff, event.detail);
    m_line(QStringLiteral("ERROR in DataArrival: 75 - %1. The transfer of %2 was "
                          "stopped and nothing of it kept; connection closed.")
               .arg(failed.detail, shortName(failed.file)));
    m_ended(failed);
}

QString ReceiveSide::progressLine() const
{
    return QStringLiteral("Receiving %1: %2 bytes so far").arg(shortName(m_machine.receiveName())).arg(m_machine.written());
}

void ReceiveSide::finish(const QString &peer, bool endKnown)
{
    TransferRecord kept = record(peer, m_machine.receiveName(), m_machine.written(), TransferRecord::Result::Complete, {});
    const QString name = shortName(kept.file);
    const bool lineEnd = m_machine.endsWithLineEnd();
    const PortalOutcome committed = m_machine.finishFile();
    m_line(QStringLiteral("Closed receive file: ") + name);
    if (!committed) {
        kept.result = TransferRecord::Result::BrokenOff;
        kept.detail = committed.why();
        m_line(QStringLiteral("The received file %1 could not be kept: %2").arg(name, committed.why()));
        m_ended(kept);
        return;
    }
    m_line(QStringLiteral("Received %1: %2 bytes from %3.").arg(name).arg(kept.bytes).arg(kept.peer));
    QStringList doubts;
    // The wire has no length: a sender that stopped early and closed in order
    // is seen only by a message file that lacks its closing line end.
    if (!lineEnd) {
        doubts.append(tr("it does not end with a line end (CR LF)"));
        m_line(QStringLiteral("The received file %1 may be incomplete: it does not end with a line end (CR LF) as "
                              "every message file does. It was kept; ask the sender to send it again.")
                   .arg(name));
    }
    if (!endKnown) {
        doubts.append(tr("whether the sender closed in order is unknown"));
        m_line(QStringLiteral("The received file %1 may be incomplete: this system "
                              "cannot tell whether the sender closed in order.")
                   .arg(name));
    }
    if (!doubts.isEmpty()) {
        kept.result = TransferRecord::Result::PossiblyIncomplete;
        kept.detail = doubts.join(QStringLiteral("; "));
    }
    m_ended(kept);
}
