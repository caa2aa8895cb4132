// Usage: bench_attachment [megabytes]   (default 100)
//
// Composes an attachment message from a file of random bytes and receives it
// again, each direction through files in a temporary folder, the way the
// composer and the receiver do it. Each direction runs in a child process so
// the peak memory it prints (VmHWM) is its own; the goal is under a second
// each way and under four times the file's size.
#include "compose/AttachmentStream.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return -1;
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

bool makeRandomFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(100);
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qint64 left = size; left > 0; left -= block.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
    }
    return true;
}

// Runs `work` in a child process and prints its time and peak memory.
bool measure(const char *direction, qint64 fileSize, const std::function<std::optional<QString>()> &work)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const qint64 before = statusKiB("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const auto failure = work();
        const qint64 ms = timer.elapsed();
        if (failure) {
            std::fprintf(stderr, "%s failed: %s\n", direction, qPrintable(*failure));
            std::_Exit(1);
        }
        const qint64 peak = statusKiB("VmHWM:");
        std::printf("%-8s %8lld ms  %7.1f MB/s  peak %7.1f MB (%.2fx the file; %.1f MB before the work)\n", direction,
                    static_cast<long long>(ms), fileSize / 1e6 / (ms / 1000.0), peak / 1024.0,
                    peak * 1024.0 / fileSize, before / 1024.0);
        std::fflush(stdout);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const qint64 size = megabytes * 1024 * 1024;
    QTemporaryDir folder;
    const QString original = folder.filePath(QStringLiteral("original.bin"));
    const QString message = folder.filePath(QStringLiteral("File - 14-05-09--12-07-26.txt"));
    const QString received = folder.filePath(QStringLiteral("received.bin"));
    if (!folder.isValid() || !makeRandomFile(original, size)) {
        std::fprintf(stderr, "cannot write the test file in %s\n", qPrintable(folder.path()));
        return 1;
    }
    std::printf("attachment of %lld MiB (%lld bytes), files in %s\n", static_cast<long long>(megabytes),
                static_cast<long long>(size), qPrintable(folder.path()));

    const bool composed = measure("compose", size, [&]() -> std::optional<QString> {
        QFile source(original);
        QSaveFile out(message);
        if (!source.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot open the files");
        const AttachmentHeader header{QStringLiteral("Your Message: bench"), QStringLiteral("Subject: 100 MB"),
                                      QStringLiteral("TO: DL1ABC"), QStringLiteral("From: K7X"),
                                      QStringLiteral("original.bin")};
        if (const Outcome written = AttachmentStream::writeEntry(header, source, out); !written)
            return written.error();
        if (!out.commit())
            return out.errorString();
        return std::nullopt;
    });
    if (!composed)
        return 1;

    const bool receivedWhole = measure("receive", size, [&]() -> std::optional<QString> {
        QFile in(message);
        QSaveFile out(received);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot open the files");
        AttachmentStream::Reader reader(in);
        const Result<AttachmentHeader> header = reader.readHeader();
        if (!header)
            return header.error();
        if (const Outcome read = reader.readData(out); !read)
            return read.error();
        if (!out.commit())
            return out.errorString();
        return std::nullopt;
    });
    if (!receivedWhole)
        return 1;

    const qint64 messageSize = QFileInfo(message).size();
    const bool same = sha256(original) == sha256(received);
    std::printf("message file %.1f MB (%.3fx the file); received file %s\n", messageSize / 1e6,
                double(messageSize) / size, same ? "identical" : "DIFFERENT");
    return same ? 0 : 1;
}
