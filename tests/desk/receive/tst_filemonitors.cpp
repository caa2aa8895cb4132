#include "receive/FileMonitors.h"
#include "TestWaits.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write("x");
}

} // namespace

class TestFileMonitors : public QObject
{
    Q_OBJECT

private slots:
    void refusesToStartWithoutTimerOrFolder()
    {
        FileMonitors monitor;
        QCOMPARE(monitor.StartMonitoring().error(), "Error: Timer control is not set!");
        QTimer timer;
        monitor.SetTimerControl(&timer);
        QCOMPARE(monitor.StartMonitoring().error(), "Error: Folder path is not set!");
        QVERIFY(!timer.isActive());
        monitor.folderpath = QDir::tempPath();
        QVERIFY(monitor.StartMonitoring());
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), 1000);
        monitor.StopMonitoring();
        QVERIFY(!timer.isActive());
    }

    // Each row: files before the start, then one change per tick, with the
    // number of announcements expected after each tick.
    void arrivalRules_data()
    {
        QTest::addColumn<QStringList>("baseline");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QList<int>>("events");
        QTest::addRow("baseline is never announced") << QStringList{"old1", "old2"} << QStringList{"touch old1", "none"}
                                                     << QList<int>{0, 0};
        QTest::addRow("two arrivals in one tick, one event")
            << QStringList{} << QStringList{"add a+b"} << QList<int>{1};
        QTest::addRow("delete and recreate one name, none")
            << QStringList{"m"} << QStringList{"recreate m"} << QList<int>{0};
        QTest::addRow("a rename, one") << QStringList{"m"} << QStringList{"rename m n"} << QList<int>{1};
        QTest::addRow("a new letter case counts as new") << QStringList{"mail.txt"} << QStringList{"rename mail.txt MAIL.txt"}
                                                         << QList<int>{1};
        QTest::addRow("deleting raises nothing") << QStringList{"a", "b"} << QStringList{"delete a"} << QList<int>{0};
        QTest::addRow("growing a file raises nothing") << QStringList{} << QStringList{"add a", "touch a", "touch a"}
                                                       << QList<int>{1, 1, 1};
    }
    void arrivalRules()
    {
        QFETCH(QStringList, baseline);
        QFETCH(QStringList, changes);
        QFETCH(QList<int>, events);
        QTemporaryDir dir;
        for (const QString &name : baseline)
            touch(dir.filePath(name));
        QTimer timer; // never runs: the test drives the ticks
        FileMonitors monitor;
        monitor.folderpath = dir.path();
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        timer.stop();
        QSignalSpy received(&monitor, &FileMonitors::FileReceived);
        for (int i = 0; i < changes.size(); ++i) {
            const QStringList words = changes.at(i).split(u' ');
            if (words[0] == "add")
                for (const QString &name : words[1].split(u'+'))
                    touch(dir.filePath(name));
            else if (words[0] == "touch")
                touch(dir.filePath(words[1]));
            else if (words[0] == "delete")
                QFile::remove(dir.filePath(words[1]));
            else if (words[0] == "recreate") {
                QFile::remove(dir.filePath(words[1]));
                touch(dir.filePath(words[1]));
            } else if (words[0] == "rename")
                QVERIFY(QFile::rename(dir.filePath(words[1]), dir.filePath(words[2])));
            monitor.scan();
            QCOMPARE(received.count(), events.at(i));
        }
    }

    void aMissingFolderCreatedLaterAnnouncesOnce()
    {
        QTemporaryDir root;
        const QString folder = root.filePath("inbox");
        QTimer timer;
        FileMonitors monitor;
        monitor.folderpath = folder;
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        QSignalSpy received(&monitor, &FileMonitors::FileReceived);
        monitor.scan();
        QCOMPARE(received.count(), 0);
        QDir().mkpath(folder);
        touch(folder + "/MAIL - 1.txt");
        touch(folder + "/MAIL - 2.txt");
        monitor.scan();
        monitor.scan();
        QCOMPARE(received.count(), 1);
    }

    void theTimerDrivesTheScan()
    {
        QTemporaryDir dir;
        QTimer timer;
        FileMonitors monitor;
        monitor.folderpath = dir.path();
        monitor.SetTimerControl(&timer);
        QVERIFY(monitor.StartMonitoring());
        timer.setInterval(10); // a test need not wait a second
        QSignalSpy received(&monitor, &FileMonitors::FileReceived);
        touch(dir.filePath("MAIL - x.dat"));
        TRY_COMPARE(received.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFileMonitors)
#include "tst_filemonitors.moc"
