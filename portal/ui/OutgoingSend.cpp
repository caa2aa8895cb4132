#include "OutgoingSend.h"

#include "LinkText.h"
#include "ReceiveName.h"
#include "RegularFileOpen.h"
#include "SocketDescriptor.h"
#include "StatusText.h"

#include <QDir>
#include <QFileInfo>

using StatusText::errorLine;
using StatusText::shortName;

QString OutgoingSend::refusal(const QString &folder, const QString &name, const Confirm &confirm)
{
    // A line end inside the name would end the header early: the receiver
    // would take the rest of the name for content.
    const QString controls = ReceiveName::controlCharacters(name);
    if (!controls.isEmpty()) {
        QString shown = name;
        for (QChar &c : shown) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                c = u'?';
        }
        return QStringLiteral("Not sent: the name of the newest outbox file \"%1\" holds a control "
                              "character (%2), which would break the transfer header. Rename or "
                              "remove the file in %3.")
            .arg(shortName(shown), controls, QDir::toNativeSeparators(folder));
    }
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (const QString kind = RegularFileOpen::kindAt(path); !kind.isEmpty()) {
        // A FIFO would hold the send in open(), a device would be sent without end.
        return QStringLiteral("Not sent: %1 is %2, not a regular file. Remove it from the outbox.")
            .arg(QDir::toNativeSeparators(path), kind);
    }
    if (const PortalOutcome opened = RegularFileOpen::openForReading(file); !opened) {
        return errorLine(QStringLiteral("[SEND INIT ERR "), 75,
                         QStringLiteral("Path/File access error: %1").arg(opened.why()));
    }
    if (file.size() == 0) {
        return errorLine(QStringLiteral("[SEND INIT ERR "), 62,
                         QStringLiteral("Input past end of file: %1 is empty").arg(QDir::toNativeSeparators(path)));
    }
    file.close();
    if (!ReceiveName::storesContent(name)) {
        const QString question =
            QStringLiteral("The newest outbox file \"%1\" does not begin with \"MAIL\" or \"FILE\". The other station "
                           "will not keep it: it refuses such a transfer and stores nothing.\n\nSend it anyway?")
                .arg(shortName(name));
        if (!confirm || !confirm(question)) {
            return QStringLiteral("Not sent: \"%1\" does not begin with \"MAIL\" or \"FILE\", so the "
                                  "other station would not keep it.")
                .arg(shortName(name));
        }
    }
    return {};
}

void OutgoingSend::begin(const QString &peer, const QString &path, const TransferRecord *retryOf)
{
    const QFileInfo sent(path);
    m_record = {};
    m_record.direction = TransferRecord::Direction::Sent;
    m_record.file = m_name;
    m_record.peer = peer;
    m_record.fileSize = retryOf ? retryOf->fileSize : sent.size();
    m_record.fileModified = retryOf ? retryOf->fileModified : sent.lastModified();
    m_retrying = retryOf != nullptr;
}

OutgoingSend::Opening OutgoingSend::open(const QString &path, QString &why)
{
    if (const PortalOutcome opened = m_pump.open(path); !opened) {
        why = opened.why();
        return Opening::Failed;
    }
    const QFileInfo opened(path);
    if (m_retrying && (opened.size() != m_record.fileSize ||
                       opened.lastModified().toMSecsSinceEpoch() != m_record.fileModified.toMSecsSinceEpoch())) {
        // Changed between the retry's check and now: never send another file in its place.
        m_pump.close();
        return Opening::Changed;
    }
    m_record.fileSize = opened.size();
    m_record.fileModified = opened.lastModified();
    return Opening::Opened;
}

TransferRecord OutgoingSend::record(TransferRecord::Result result, const QString &detail, bool counted) const
{
    TransferRecord record = m_record;
    record.time = QDateTime::currentDateTime();
    record.bytes = counted || result == TransferRecord::Result::Complete ? m_pump.sent() : 0;
    record.result = result;
    record.detail = detail;
    return record;
}

void OutgoingSend::watchDelivery(QObject *owner, int watch, const QString &peer, int limitMs,
                                 std::function<void(const QString &line)> line,
                                 std::function<void(const TransferRecord &record)> ended)
{
    using SocketDescriptor::Delivery;
    // The delivery is judged later, when the other station closes: the record waits for it.
    TransferRecord waiting = record(TransferRecord::Result::Complete, {}, false);
    ++m_deliveriesWatched;
    SocketDescriptor::watchDelivery(
        owner, watch, m_name, peer, waiting.bytes, limitMs,
        [this, waiting, line = std::move(line), ended = std::move(ended)](const QString &said, Delivery delivery) mutable {
            line(said);
            if (delivery == Delivery::Pending)
                return;
            --m_deliveriesWatched;
            waiting.time = QDateTime::currentDateTime();
            waiting.result = delivery == Delivery::Taken     ? TransferRecord::Result::Complete
                             : delivery == Delivery::Refused ? TransferRecord::Result::Refused
                                                             : TransferRecord::Result::PossiblyIncomplete;
            if (delivery != Delivery::Taken)
                waiting.detail = said;
            ended(waiting);
        });
}

QString OutgoingSend::progressLine() const
{
    return QStringLiteral("Sending %1: %2 of %3 bytes%4")
        .arg(m_name)
        .arg(m_pump.sent())
        .arg(m_pump.size())
        .arg(LinkText::percent(m_pump.sent(), m_pump.size()));
}
