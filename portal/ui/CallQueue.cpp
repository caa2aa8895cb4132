#include "CallQueue.h"

#include "SocketDescriptor.h"

CallQueue::~CallQueue()
{
    for (const qintptr descriptor : std::as_const(m_waiting))
        SocketDescriptor::closeDescriptor(descriptor);
}

void CallQueue::resume()
{
    if (m_waiting.size() < waitingLimit)
        m_server.resumeAccepting();
}

bool CallQueue::admit(qintptr descriptor)
{
    if (m_waiting.size() >= hardLimit) {
        // The number is free for the next call: its name must not outlive it.
        m_labels.remove(descriptor);
        SocketDescriptor::closeDescriptor(descriptor);
        return false;
    }
    m_waiting.append(descriptor);
    // Calls handed over by another link also come while nothing listens here,
    // and a listener that does not listen cannot be paused.
    if (m_waiting.size() >= waitingLimit && m_server.isListening())
        m_server.pauseAccepting();
    return true;
}

std::optional<CallQueue::Call> CallQueue::next()
{
    if (m_waiting.isEmpty())
        return std::nullopt;
    Call call;
    call.descriptor = m_waiting.takeFirst();
    call.label = m_labels.take(call.descriptor);
    if (m_waiting.size() < waitingLimit && m_server.isListening())
        m_server.resumeAccepting();
    return call;
}
