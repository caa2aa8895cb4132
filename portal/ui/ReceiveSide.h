#pragma once

#include "ReceiveFolder.h"
#include "ReceiveMachine.h"
#include "TransferLog.h"

#include <functional>

/// The receiving half of the data link: the receive folder, the machine that
/// turns arriving bytes into a file in it, and what the operator and the
/// transfer log are told when a received file is kept or thrown away.
class ReceiveSide
{
public:
    using Line = std::function<void(const QString &line)>;
    using Ended = std::function<void(const TransferRecord &record)>;

    /// `line` takes the connection status lines, `ended` the log records.
    ReceiveSide(const QString &folder, Line line, Ended ended);

    ReceiveMachine &machine() { return m_machine; }
    const ReceiveMachine &machine() const { return m_machine; }

    /// Once a run: throws away part files an earlier run left behind; the
    /// lines say what was found.
    QStringList sweepOnce();

    /// The record of a received file, as the transfer log shows it.
    static TransferRecord record(const QString &peer, const QString &name, qint64 bytes, TransferRecord::Result result,
                                 const QString &detail);

    /// The open receive did not arrive whole: nothing of it is kept.
    void breakOff(const QString &peer, const QString &why);
    /// The peer closed in order (or, when !endKnown, in a way nobody can
    /// tell): the open receive gets its final name, with every doubt said.
    void finish(const QString &peer, bool endKnown);
    /// The machine refused the name of a transfer: nothing was created or changed.
    void refused(const QString &peer, const ReceiveMachine::Event &event);
    /// Writing a received file failed: nothing of it is kept.
    void writeFailed(const QString &peer, const ReceiveMachine::Event &event);
    /// "Receiving NAME: N bytes so far".
    QString progressLine() const;

private:
    ReceiveFolder m_folder; ///< outlives the machine, which discards into it
    ReceiveMachine m_machine;
    Line m_line;
    Ended m_ended;
    bool m_swept = false;
};
