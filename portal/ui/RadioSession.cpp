#include "RadioSession.h"

#include "Wire.h"

RadioSession::RadioSession(const QByteArray &remote, bool outgoing)
    : remote(remote)
    , outgoing(outgoing)
{
    clock.start();
}

int RadioSession::retries() const
{
    return qMax(0, framesSeen - framesHanded) + qMax(0, connectsSeen - 1);
}

void RadioSession::handed(qint64 bytes)
{
    inFlight.append(int(bytes));
    handedBytes += bytes;
    ++framesHanded;
}

void RadioSession::unconfirmed(qint64 count)
{
    if (count < 0)
        return;
    outstanding = int(qMin<qint64>(count, inFlight.size()));
    if (inFlight.size() > outstanding)
        lastProgressMs = clock.elapsed();
    while (inFlight.size() > outstanding)
        acknowledged += inFlight.takeFirst();
}

bool RadioSession::ownFrame(const QByteArray &report)
{
    const int before = retries();
    if (report.contains("<I "))
        ++framesSeen;
    else if (report.contains("<SABM"))
        ++connectsSeen;
    return retries() > before;
}

bool RadioSession::answered(const QByteArray &data)
{
    if (!outgoing || !busy.isEmpty())
        return false;
    busy = answer.take(data);
    return !busy.isEmpty();
}

bool RadioSession::stalled(int limitMs) const
{
    const bool waiting = !linked || !inFlight.isEmpty() || (localEnded && !closeAfterFlush);
    return waiting && clock.elapsed() - lastProgressMs > limitMs;
}

QString RadioSession::summary() const
{
    const double seconds = clock.elapsed() / 1000.0;
    if (outgoing) {
        return tr("%1 of %2 bytes sent were acknowledged by %3, %4 bytes received, in %5 s (%6 bytes/s), %7 retries.")
            .arg(acknowledged)
            .arg(handedBytes)
            .arg(remoteText())
            .arg(received)
            .arg(seconds, 0, 'f', 1)
            .arg(seconds > 0 ? acknowledged / seconds : 0.0, 0, 'f', 0)
            .arg(retries());
    }
    return tr("%1 bytes received from %2 in %3 s, %4 bytes sent, %5 retries.")
        .arg(received)
        .arg(remoteText())
        .arg(seconds, 0, 'f', 1)
        .arg(handedBytes)
        .arg(retries());
}

std::optional<QString> RadioSession::progress(bool force)
{
    if (!force && clock.elapsed() < nextReportMs)
        return std::nullopt;
    nextReportMs = clock.elapsed() + progressEveryMs;
    if (outgoing && linked && handedBytes > 0) {
        return tr("Radio to %1: %2 bytes given to the modem, %3 acknowledged, %4 retries.")
            .arg(remoteText())
            .arg(handedBytes)
            .arg(acknowledged)
            .arg(retries());
    }
    if (!outgoing && received > 0)
        return tr("Radio from %1: %2 bytes received so far.").arg(remoteText()).arg(received);
    return std::nullopt;
}

RadioSession::Ending RadioSession::endOf(const QString &notice) const
{
    const QString other = remoteText();
    const bool retryOut = notice.contains(QStringLiteral("RETRY"), Qt::CaseInsensitive);
    // Its modem confirmed our frames all the same: no end of this session passes for a delivery.
    if (!busy.isEmpty())
        return {false, tr("Radio session with %1 ended: %1 was busy and kept nothing. %2").arg(other, summary())};
    if (disconnectSent && !retryOut)
        return {true, tr("Radio session with %1 ended in order: %2").arg(other, summary())};
    if (!outgoing && !retryOut) {
        // The caller ended the session: its whole transfer is in, as a clean close on the IP link says.
        return {true, tr("Radio session from %1 ended by the caller: %2 bytes received in %3 s.")
                          .arg(other)
                          .arg(received)
                          .arg(clock.elapsed() / 1000.0, 0, 'f', 1)};
    }
    // Still a reset for the data link: without the last acknowledgement nothing is known delivered.
    if (localEnded && !retryOut) {
        return {false, tr("Radio session with %1 ended by %1 before every frame was confirmed (\"%2\"): %3")
                           .arg(other, notice, summary())};
    }
    return {false, tr("Radio session with %1 broken off by the modem program (\"%2\"): %3").arg(other, notice, summary())};
}
