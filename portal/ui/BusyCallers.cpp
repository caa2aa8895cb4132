#include "BusyCallers.h"

#include "Wire.h"

void BusyCallers::turnAway(const AgwFrame &notice, const QByteArray &own, const QByteArray &busyWith)
{
    if (m_callers.contains(notice.callFrom))
        return;
    if (m_callers.size() >= limit) {
        m_send(AgwFrame::disconnect(notice.port, own, notice.callFrom));
        return;
    }
    // It begins with none of the transfer headers and is no chat control
    // line, so a portal that called to send mail keeps nothing of it and one
    // that called to chat shows it.
    const QByteArray line = Wire::busyLine(QString::fromLatin1(own), QString::fromLatin1(busyWith));
    m_send(AgwFrame::sessionData(notice.port, own, notice.callFrom, line));
    QElapsedTimer clock;
    clock.start();
    m_callers.insert(notice.callFrom, clock);
    m_send(AgwFrame::outstanding(notice.port, own, notice.callFrom));
}

bool BusyCallers::onCount(const AgwFrame &frame, const QByteArray &own)
{
    const auto caller = m_callers.find(frame.callTo);
    if (caller == m_callers.end())
        return false;
    if (frame.number() == 0) {
        m_send(AgwFrame::disconnect(frame.port, own, frame.callTo));
        m_callers.erase(caller);
    }
    return true;
}

void BusyCallers::poll(const QByteArray &own, int limitMs)
{
    for (auto caller = m_callers.begin(); caller != m_callers.end();) {
        if (caller.value().elapsed() > limitMs) {
            // The line was never confirmed: the caller is not kept waiting for it.
            m_send(AgwFrame::disconnect(0, own, caller.key()));
            caller = m_callers.erase(caller);
            continue;
        }
        m_send(AgwFrame::outstanding(0, own, caller.key()));
        ++caller;
    }
}

void BusyCallers::disconnectAll(const QByteArray &own)
{
    for (auto caller = m_callers.cbegin(); caller != m_callers.cend(); ++caller)
        m_send(AgwFrame::disconnect(0, own, caller.key()));
    m_callers.clear();
}
