// Opens the mail composer over 10,000 messages (half saved, half received,
// one file each) and prints how long the opening holds the window, and how
// long until the To box's completion offers every sender; then opens it
// again once every message is read.
//
//   bench_search_composer [messages [distinct]]

#include "TestDesk.h"
#include "compose/MailForm.h"
#include "receive/MessageSearch.h"
#include "compose/MessageFile.h"
#include "shell/Modsavemodule.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int stations = 200;

bool write(const QString &path, const QByteArray &bytes, const QDateTime &when)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    return file.setFileTime(when, QFileDevice::FileModificationTime);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).section(u' ', 0, 2) : QStringLiteral("?");
}

int offeredCount(QWidget *composer)
{
    auto *completer = composer->findChild<QCompleter *>(QStringLiteral("addresscompleter"));
    return completer ? completer->model()->rowCount() : -1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int messages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    // "distinct": every From box says more than its callsign, so no two are alike.
    const bool distinct = argc > 2 && qstrcmp(argv[2], "distinct") == 0;

    DeskStation station;
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 0; i < messages; ++i) {
        const QDateTime when = start.addSecs(60LL * i);
        const QString from = distinct ? QStringLiteral("From: K%1ABC net %2").arg(i % stations).arg(i)
                                      : QStringLiteral("From: K%1ABC").arg(i % stations);
        const QString text = QStringLiteral("weather net tonight, message %1").arg(i);
        const bool ok = i % 2 == 0
            ? write(QDir(station.save).filePath(Modsavemodule::archiveFileName(when)),
                    Modsavemodule::archiveRecord({QStringLiteral("TO: N0CALL"), QStringLiteral("Subject: net"), text, from}),
                    when)
            : write(QDir(station.receive).filePath(QStringLiteral("MAIL - %1.txt").arg(i, 6, 10, QLatin1Char('0'))),
                    MessageFile::mailRecordLine(QStringLiteral("TO: N0CALL"), QStringLiteral("net"), text, from),
                    when);
        if (!ok) {
            std::fprintf(stderr, "cannot write message %d\n", i);
            return 1;
        }
    }
    QProcess::execute(QStringLiteral("sync"), {});

    QElapsedTimer timer;
    timer.start();
    QWidget *composer = station.desk.navigator.open<MailForm>();
    const double opened = timer.nsecsElapsed() / 1e6;
    const int offeredAtOpen = offeredCount(composer);
    // The senders arrive through the event loop, from the search's worker.
    while (offeredCount(composer) < stations && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double complete = timer.nsecsElapsed() / 1e6;
    const int offered = offeredCount(composer);

    // Again, with the search's worker through: the senders are taken from
    // what it keeps, on the screen's thread, while the composer opens.
    station.desk.navigator.unload<MailForm>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    timer.start();
    composer = station.desk.navigator.open<MailForm>();
    const double reopened = timer.nsecsElapsed() / 1e6;
    const int offeredAtReopen = offeredCount(composer);

    QTextStream out(stdout);
    out << "load average:                          " << loadAverage() << "\n"
        << "messages:                              " << messages << " (one file each, half saved, half received)\n"
        << "composer open (constructor returns):   " << opened << " ms, offering " << offeredAtOpen << " callsigns\n"
        << "every sender offered after:            " << complete << " ms from the start of opening (" << offered
        << " callsigns)\n"
        << "composer opened again, mail all read:  " << reopened << " ms, offering " << offeredAtReopen
        << " callsigns\n";
    return offered >= stations ? 0 : 1;
}
