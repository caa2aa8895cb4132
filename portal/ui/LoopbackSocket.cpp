#include "LoopbackSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace LoopbackSocket {

namespace {

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A close after a zero linger time is a reset.
void closeWithReset(int fd)
{
    linger option{};
    option.l_onoff = 1;
    option.l_linger = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    ::close(fd);
}

PortalResult<Listener> listener(int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return PortalOutcome::failure(systemError(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        return PortalOutcome::failure(systemError(error));
    }
    return Listener{fd, ntohs(address.sin_port)};
}

PortalResult<Pair> pair()
{
    const PortalResult<Listener> listening = listener(1);
    if (!listening)
        return listening.outcome();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listening->port);
    bool made = client >= 0 && ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    int accepted = -1;
    if (made) {
        // The loopback connection is complete at once; wait briefly all the same.
        for (int round = 0; round < 100 && accepted < 0; ++round) {
            accepted = ::accept4(listening->fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                ::usleep(1000);
            else if (accepted < 0)
                break;
        }
        made = accepted >= 0;
    }
    const int error = errno;
    if (!made && client >= 0)
        ::close(client);
    ::close(listening->fd);
    if (!made)
        return PortalOutcome::failure(systemError(error));
    setNonBlocking(client);
    return Pair{client, accepted};
}

} // namespace LoopbackSocket
