#pragma once

#include "TestWaits.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

/// A peer speaking the wire format by hand over loopback, on a plain
/// non-blocking socket, so it sees exactly how the portal ends a connection.
struct RawPeer
{
    enum class End { Open, Closed, Reset };

    explicit RawPeer(quint16 port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // The kernel completes a loopback handshake at once, accepted or queued.
        connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~RawPeer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    RawPeer(const RawPeer &) = delete;
    RawPeer &operator=(const RawPeer &) = delete;

    bool send(const QByteArray &bytes, int ms = 10000)
    {
        QElapsedTimer waited;
        waited.start();
        qsizetype done = 0;
        while (done < bytes.size() && waited.elapsed() < ms) {
            const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            else
                QTest::qWait(2);
        }
        return done == bytes.size();
    }
    /// Sends FIN after every byte: the orderly end of a transfer.
    void finish() { ::shutdown(fd, SHUT_WR); }
    /// Ends with a reset and no FIN, the way a linger time of zero closes.
    void reset()
    {
        const linger option{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        ::close(fd);
        fd = -1;
    }
    /// Reads until the portal ends the connection or the time runs out.
    End waitForEnd(int ms = TestWaits::settleMs)
    {
        QElapsedTimer waited;
        waited.start();
        char buffer[16384];
        while (waited.elapsed() < ms) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                received.append(buffer, n);
            else if (n == 0)
                return End::Closed;
            else if (errno == ECONNRESET)
                return End::Reset;
            else if (errno == EAGAIN || errno == EWOULDBLOCK)
                QTest::qWait(5);
            else
                return End::Reset;
        }
        return End::Open;
    }
    quint16 localPort() const
    {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        return ntohs(address.sin_port);
    }

    int fd = -1;
    bool connected = false;
    QByteArray received;
};
