#pragma once

#include <QList>
#include <QHash>
#include <QString>
#include <QTcpServer>

#include <functional>
#include <optional>

/// The calls the data link has not served yet: accepted by its listener or
/// handed over by another link, kept as descriptors (the kernel holds their
/// bytes) and served in the order they came. Past the limit the listener
/// pauses, so later callers stay in the kernel's backlog instead of being
/// accepted and dropped.
class CallQueue
{
public:
    /// At most this many calls wait before the listener pauses.
    static constexpr int waitingLimit = 16;
    /// Past this many waiting a call is turned away: the backlog was emptied into the queue.
    static constexpr int hardLimit = waitingLimit + 64;

    struct Call
    {
        qintptr descriptor = -1;
        QString label; ///< the caller's name when another link handed it over
    };

    /// Descriptors still waiting are closed: their callers see the connection end.
    ~CallQueue();

    /// Called for every call the listener accepts.
    void setArrival(std::function<void(qintptr descriptor)> arrival) { m_server.take = std::move(arrival); }

    bool listen(quint16 port) { return m_server.listen(QHostAddress::Any, port); }
    bool isListening() const { return m_server.isListening(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    const QTcpServer &server() const { return m_server; }
    /// Accepts again when fewer than the limit wait.
    void resume();

    /// The name a handed-over call goes by until it is served.
    void name(qintptr descriptor, const QString &label) { m_labels.insert(descriptor, label); }
    /// Puts a call in line; false when it was turned away (and closed).
    bool admit(qintptr descriptor);
    /// The call to serve next, if one waits.
    std::optional<Call> next();
    int size() const { return int(m_waiting.size()); }
    bool isEmpty() const { return m_waiting.isEmpty(); }

private:
    /// Keeps accepted descriptors for the queue instead of wrapping them at once.
    class Listener : public QTcpServer
    {
    public:
        std::function<void(qintptr)> take;

    protected:
        void incomingConnection(qintptr descriptor) override { take(descriptor); }
    };

    Listener m_server;
    QList<qintptr> m_waiting;
    QHash<qintptr, QString> m_labels;
};
