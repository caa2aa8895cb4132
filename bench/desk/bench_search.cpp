// Searches an archive of 10,000 saved messages (one file each, the costliest
// layout: every message is a file to open) and prints how long the search
// takes (the first one right after start, again, after a change) and what
// its worker thread spends, beside a plain `grep -c` over the same files in
// the same run.
//
//   bench_search [messages]

#include "compose/MailFields.h"
#include "receive/MessageSearch.h"
#include "receive/SearchCache.h"
#include "shell/Modsavemodule.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

const QStringList words = {
    QStringLiteral("net"),     QStringLiteral("check"),   QStringLiteral("weather"), QStringLiteral("relay"),
    QStringLiteral("antenna"), QStringLiteral("tonight"), QStringLiteral("band"),    QStringLiteral("packet"),
    QStringLiteral("node"),    QStringLiteral("digi"),    QStringLiteral("beacon"),  QStringLiteral("meeting"),
    QStringLiteral("grid"),    QStringLiteral("signal"),  QStringLiteral("report"),  QStringLiteral("73"),
    QStringLiteral("Straße"),  QStringLiteral("café"),    QStringLiteral("power"),   QStringLiteral("station"),
};

QString sentence(QRandomGenerator &random, int count)
{
    QStringList picked;
    for (int i = 0; i < count; ++i)
        picked << words[random.bounded(int(words.size()))];
    return picked.join(u' ');
}

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).section(u' ', 0, 2) : QStringLiteral("?");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("save"));
    QDir().mkpath(folder);

    // Every hundredth message holds the word searched for, in a different field each time.
    QRandomGenerator random(7);
    const QString needle = QStringLiteral("Lighthouse");
    int planted = 0;
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 0; i < messages; ++i) {
        MailFields mail{QStringLiteral("TO: N0CALL"), QStringLiteral("Subject: ") + sentence(random, 4),
                        sentence(random, 40 + random.bounded(60)),
                        QStringLiteral("From: K%1ABC").arg(i % 10)};
        if (i % 100 == 0) {
            QString *fields[] = {&mail.to, &mail.subject, &mail.message, &mail.from};
            *fields[(i / 100) % 4] += QStringLiteral(" lighthouse");
            ++planted;
        }
        QFile file(QDir(folder).filePath(Modsavemodule::archiveFileName(start.addSecs(60LL * i))));
        if (!file.open(QIODevice::WriteOnly) || file.write(Modsavemodule::archiveRecord(mail)) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        file.close();
        // An archive grows over years: its files carry the times they were saved at.
        file.open(QIODevice::ReadWrite);
        file.setFileTime(start.addSecs(60LL * i), QFileDevice::FileModificationTime);
    }
    // Drop what the writes left in the page cache's dirty list before timing.
    QProcess::execute(QStringLiteral("sync"), {});

    // The desk's way: a worker thread reads the archive as the desk starts,
    // and the screen searches whatever it has read, at once.
    qsizetype found = 0;
    QElapsedTimer sinceStart;
    sinceStart.start();
    SearchCache cache;
    cache.setFolders(folder, QString());
    const double first = milliseconds([&] { found = cache.find(needle).size(); });
    const int filesAtFirst = cache.filesRead();
    const qsizetype foundAtFirst = found;
    // And one while the worker is halfway, as an operator typing at once would.
    QThread::msleep(300);
    const double partway = milliseconds([&] { found = cache.find(needle).size(); });
    const int filesPartway = cache.filesRead();
    const qsizetype foundPartway = found;
    while (!cache.isReady())
        QThread::usleep(500);
    const double readThrough = sinceStart.nsecsElapsed() / 1e6;
    found = cache.find(needle).size();
    if (found != planted) {
        std::fprintf(stderr, "found %lld of %d planted messages\n", static_cast<long long>(found), planted);
        return 1;
    }
    // A search as the screen makes it: a look for changes asked of the
    // worker, and an answer from what is kept.
    QList<double> again;
    for (int i = 0; i < 7; ++i)
        again << milliseconds([&] {
            cache.refresh();
            found = cache.find(needle).size();
        });

    // A message saved between searches: the file of the present minute is
    // new or grows. Timed until the search answers with it.
    // The worker's word that it has more comes through the event loop.
    QObject::connect(&cache, &SearchCache::updated, &app, [] {});
    QList<double> saved;
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < 7; ++i) {
        QFile file(QDir(folder).filePath(Modsavemodule::archiveFileName(now.addSecs(60LL * (i / 2)))));
        if (!file.open(QIODevice::Append)
            || file.write(Modsavemodule::archiveRecord({QStringLiteral("TO: N0CALL"), QStringLiteral("lighthouse"),
                                                        QString(), QStringLiteral("From: W1AW")}))
                   < 0) {
            std::fprintf(stderr, "cannot append to %s\n", qPrintable(file.fileName()));
            return 1;
        }
        file.close();
        saved << milliseconds([&] {
            cache.refresh();
            while ((found = cache.find(needle).size()) != planted + i + 1)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
    }

    // What the worker does out of sight: reading and decoding every file,
    // and the look at every file's size and times (at most every half
    // minute), each timed here on its own.
    MessageSearch search;
    search.setFolders(folder, QString());
    const double readAll = milliseconds([&] { search.refresh(); });
    QList<double> full;
    for (int i = 0; i < 7; ++i)
        full << milliseconds([&] { search.refresh(); });
    if (search.find(needle).size() != planted + 7) {
        std::fprintf(stderr, "the worker's figures are of another archive\n");
        return 1;
    }

    // grep -c over the same files: one count per file, letter case ignored as the search does.
    QList<double> grep;
    for (int i = 0; i < 7; ++i) {
        grep << milliseconds([&] {
            QProcess process;
            process.setWorkingDirectory(folder);
            process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("grep -c -i -r %1 . >/dev/null").arg(needle)});
            process.waitForFinished(-1);
        });
    }

    QTextStream out(stdout);
    out << "load average:                       " << loadAverage() << "\n"
        << "messages searched:                  " << messages << " (one file each)\n"
        << "messages found:                     " << found << "\n"
        << "first search after start:           " << first << " ms (cache cold, worker reading: " << filesAtFirst
        << " files read, " << foundAtFirst << " found so far)\n"
        << "search 300 ms after start:          " << partway << " ms (" << filesPartway << " files read, "
        << foundPartway << " found so far)\n"
        << "  all read and searchable after:    " << readThrough << " ms from start\n"
        << "search again (median of 7):         " << median(again) << " ms\n"
        << "search after a new save (median):   " << median(saved) << " ms until the answer holds it\n"
        << "worker: read and decode every file: " << readAll << " ms\n"
        << "worker: look at every file (median):" << median(full) << " ms\n"
        << "grep -c -i -r (median of 7):        " << median(grep) << " ms\n";
    return 0;
}
