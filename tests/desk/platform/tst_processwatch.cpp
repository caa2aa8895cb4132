// Watching real child processes until they end: as it happens (pidfd) and
// by the check every few seconds, for a child that exits and one killed;
// finding a running script by its name; and the launcher's watchdog on a
// real child that exits.
#include "FakePorts.h"
#include "TestWaits.h"
#include "launcher/LauncherWatchdog.h"
#include "platform/LinuxProcessWatch.h"
#include "shell/SettingFiles.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

qint64 startChild(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // A child left behind must not hold the test's output open.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    return process.startDetached(&pid) ? pid : 0;
}

} // namespace

class TestProcessWatch : public QObject
{
    Q_OBJECT

private slots:
    void anEndIsSeen_data()
    {
        QTest::addColumn<bool>("polling");
        QTest::addColumn<bool>("killed");
        QTest::addRow("as it happens, exits") << false << false;
        QTest::addRow("as it happens, killed") << false << true;
        QTest::addRow("checked, exits") << true << false;
        QTest::addRow("checked, killed") << true << true;
    }
    void anEndIsSeen()
    {
        QFETCH(bool, polling);
        QFETCH(bool, killed);
        LinuxProcessWatch watch(50);
        watch.forcePolling(polling);
        QSignalSpy stopped(&watch, &ProcessWatch::stopped);
        // The child that exits by itself does so when told, not after a time
        // that a loaded machine could use up before the first check.
        QTemporaryDir dir;
        const QString go = dir.filePath(QStringLiteral("go"));
        const qint64 pid = killed ? startChild(QStringLiteral("sleep"), {QStringLiteral("30")})
                                  : startChild(QStringLiteral("sh"), {QStringLiteral("-c"),
                                                                      QStringLiteral("while [ ! -e \"$0\" ]; do sleep 0.05; done"), go});
        QVERIFY(pid > 0);
        const auto way = watch.watch(pid);
        QVERIFY2(way.ok(), qPrintable(way.error()));
        QCOMPARE(*way, polling ? ProcessWatch::Way::Polling : ProcessWatch::Way::Event);
        // A running process is never reported as stopped.
        QTest::qWait(200);
        QCOMPARE(stopped.count(), 0);
        QVERIFY(LinuxProcessWatch::isAlive(pid));
        if (killed) {
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        } else {
            QFile told(go);
            QVERIFY(told.open(QIODevice::WriteOnly));
        }
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, TestWaits::settleMs);
        QCOMPARE(stopped.first().first().toLongLong(), pid);
        QTest::qWait(150); // once only
        QCOMPARE(stopped.count(), 1);
    }

    void aProcessGoneBeforeItIsWatchedIsReportedOnce()
    {
        LinuxProcessWatch watch(50);
        const qint64 pid = startChild(QStringLiteral("true"), {});
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!LinuxProcessWatch::isAlive(pid), TestWaits::settleMs);
        QSignalSpy stopped(&watch, &ProcessWatch::stopped);
        QVERIFY(watch.watch(pid).ok());
        TRY_COMPARE(stopped.count(), 1);
    }

    void anUnwatchedEndIsNotReported()
    {
        LinuxProcessWatch watch(50);
        QSignalSpy stopped(&watch, &ProcessWatch::stopped);
        const qint64 pid = startChild(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(watch.watch(pid).ok());
        watch.unwatch(pid);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!LinuxProcessWatch::isAlive(pid), TestWaits::settleMs);
        QTest::qWait(150);
        QCOMPARE(stopped.count(), 0);
        QVERIFY(!watch.watch(0).ok());
    }

    void aRunningScriptIsFoundByItsName()
    {
        QTemporaryDir dir;
        const QString name = QStringLiteral("Modem-%1.sh").arg(QCoreApplication::applicationPid());
        const QString script = dir.filePath(name);
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("sleep 30\n");
        file.close();
        LinuxProcessWatch watch;
        QVERIFY(!watch.findRunning(name));
        const qint64 pid = startChild(QStringLiteral("sh"), {QStringLiteral("-e"), script});
        QVERIFY(pid > 0);
        TRY_COMPARE(watch.findRunning(name.toUpper()).value_or(0), pid);
        ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.findRunning(name), TestWaits::settleMs);
    }

    void theWatchdogFreesTheButtonWhenARealChildExits()
    {
        QTemporaryDir dir;
        SettingFiles files(dir.path(), dir.path());
        LinuxProcessWatch watch;
        FakeSpeaker speaker;
        QStringList events;
        LauncherWatchdog watchdog(files, watch, speaker, [] { return true; },
                                  [&events](const QString &event) { events << event; });
        QSignalSpy stopped(&watchdog, &LauncherWatchdog::programStopped);
        QVERIFY(files.writePrintLine(Setting::WinTncButton, false).ok()); // as a start leaves it
        const qint64 pid = startChild(QStringLiteral("sleep"), {QStringLiteral("0.3")});
        QVERIFY(watchdog.watchStarted({QStringLiteral("modem.sh"), Setting::WinTncButton}, pid).ok());
        QVERIFY(watchdog.watches(Setting::WinTncButton));
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, TestWaits::settleMs);
        QCOMPARE(stopped.first().at(0).toString(), QString::fromLatin1(Setting::WinTncButton.name));
        QCOMPARE(stopped.first().at(1).toString(), QStringLiteral("modem.sh has stopped"));
        QCOMPARE(files.readTruth(Setting::WinTncButton), std::optional<bool>(true));
        QCOMPARE(speaker.spoken, QStringList{QStringLiteral("modem.sh has stopped")});
        QVERIFY(events.contains(QStringLiteral("modem.sh has stopped")));
        QVERIFY(!watchdog.watches(Setting::WinTncButton));
    }
};

QTEST_MAIN(TestProcessWatch)
#include "tst_processwatch.moc"
