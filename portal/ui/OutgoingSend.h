#pragma once

#include "FilePump.h"
#include "PortalOutcome.h"
#include "TransferLog.h"

#include <QString>

#include <functional>

class QObject;

/// The sending half of the data link: which outbox file goes out, the checks
/// it passes before a call is made, the pump that feeds it to the connection
/// and the record its status lines and log entry are made from.
class OutgoingSend
{
public:
    /// Asks the operator a Yes/No question; true for Yes.
    using Confirm = std::function<bool(const QString &question)>;

    /// Why the outbox file `name` in `folder` is not sent, as the send status
    /// line says it; empty when it may go. A file the other station will not
    /// keep goes only when `confirm` says Yes.
    static QString refusal(const QString &folder, const QString &name, const Confirm &confirm);

    /// The file the current (or the last) send is about.
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    /// A new send of `path` to `peer`: its record starts. A retry keeps the
    /// version of the file it was asked to send.
    void begin(const QString &peer, const QString &path, const TransferRecord *retryOf);
    void setPeer(const QString &peer) { m_record.peer = peer; }
    const TransferRecord &outgoing() const { return m_record; }

    enum class Opening { Opened, Failed, Changed };
    /// Opens the file for the pump when the call is answered. A retry whose
    /// file changed since it was checked is Changed and sends nothing;
    /// `why` gets a failure's cause.
    Opening open(const QString &path, QString &why);

    /// The record of this send ending so; `counted` says whether the bytes
    /// the connection took count (a send that never began carries none).
    TransferRecord record(TransferRecord::Result result, const QString &detail, bool counted) const;
    /// "Sending NAME: N of M bytes (P%)".
    QString progressLine() const;

    /// After every byte of this send left with our close: waits on the
    /// connection's second descriptor `watch` (at most limitMs) for the other
    /// station's close, says in lines whether it took the file whole and
    /// ends the record with that verdict. `owner` keeps the watch alive.
    void watchDelivery(QObject *owner, int watch, const QString &peer, int limitMs,
                       std::function<void(const QString &line)> line,
                       std::function<void(const TransferRecord &record)> ended);
    /// Sends whose delivery is not yet judged.
    int deliveriesWatched() const { return m_deliveriesWatched; }

    FilePump &pump() { return m_pump; }
    const FilePump &pump() const { return m_pump; }

private:
    QString m_name;
    TransferRecord m_record;
    bool m_retrying = false;
    FilePump m_pump;
    int m_deliveriesWatched = 0;
};
