#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <sys/resource.h>

/// Files written by this process stop growing at `bytes`: a write past it
/// fails with EFBIG, as a full disk fails with ENOSPC, after a part of the
/// data went in. The old limit and signal handler come back at the end.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
    void (*m_oldHandler)(int) = nullptr;
};

// The system's own words when it stops `payload` written after `start` to a
// file of its own (under the same limit): the write goes on until it is
// refused, as any writer that keeps its bytes must.
inline QString systemReason(const QString &path, const QByteArray &start, const QByteArray &payload)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return QStringLiteral("cannot open the twin file");
    const QByteArray bytes = start + payload;
    qsizetype done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written <= 0) {
            error = errno;
            break;
        }
        done += written;
    }
    ::close(fd);
    return error == 0 ? QStringLiteral("the system took every byte") : QString::fromLocal8Bit(std::strerror(error));
}
