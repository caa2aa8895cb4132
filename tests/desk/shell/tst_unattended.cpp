// The unattended-station features on fakes: the repeating arrival alert on a
// fake clock, the unread count on the main menu, the settings file, the
// station log's lines, and an arrival carried through the received list.
#include "UnattendedFakes.h"
#include "TestWaits.h"
#include "receive/Received.h"
#include "receive/InboxForm.h"
#include "receive/ReceiveFolderEntries.h"
#include "shell/FrSettings.h"
#include "shell/MainMenu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray exampleRecord = "84 69 83 84,72 73,72 101 108 108 111,68 76 49\r\n";

void setSound(TestDesk &desk, bool on)
{
    // The switch file holds 1 for on, anything else for off.
    writeFile(desk.files.path(Setting::SoundSettings), on ? "1\r\n" : "0\r\n");
}

int timesSpoken(const TestDesk &desk)
{
    return int(desk.speaker.spoken.count(ArrivalAlert::phrase()));
}

} // namespace

class TestUnattended : public QObject
{
    Q_OBJECT

private slots:
    void settingsAreRead_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("repeat");
        QTest::addColumn<bool>("watchdog");
        QTest::addColumn<bool>("notify");
        QTest::addColumn<bool>("log");
        QTest::addRow("empty: the defaults") << "" << 0 << true << true << true;
        QTest::addRow("a chosen interval") << "repeat=5" << 5 << true << true << true;
        QTest::addRow("an interval not offered") << "repeat=7" << 0 << true << true << true;
        QTest::addRow("a negative interval") << "repeat=-1" << 0 << true << true << true;
        QTest::addRow("all off, any case, spaces") << " Repeat = 15 , WATCHDOG=Off,notify=OFF, log=off"
                                                   << 15 << false << false << false;
        QTest::addRow("garbage around") << ",,=,repeat,watchdog=maybe,x=y,repeat=1" << 1 << true << true << true;
    }
    void settingsAreRead()
    {
        QFETCH(QString, line);
        QFETCH(int, repeat);
        QFETCH(bool, watchdog);
        QFETCH(bool, notify);
        QFETCH(bool, log);
        const UnattendedSettings settings = UnattendedSettings::parse(line);
        QCOMPARE(settings.repeatMinutes, repeat);
        QCOMPARE(settings.watchdog, watchdog);
        QCOMPARE(settings.notify, notify);
        QCOMPARE(settings.log, log);
    }

    void settingsAreStoredBesideTheOthers()
    {
        TestDesk desk;
        QCOMPARE(UnattendedSettings::load(desk.files), UnattendedSettings{}); // no file: the defaults
        UnattendedSettings chosen;
        chosen.repeatMinutes = 15;
        chosen.notify = false;
        QVERIFY(chosen.store(desk.files).ok());
        QVERIFY(QFile::exists(desk.programDir() + "/unattended.dat"));
        QCOMPARE(UnattendedSettings::load(desk.files), chosen);
        QCOMPARE(UnattendedSettings::parse(chosen.toLine()), chosen);
    }

    void alertRepeatsAtItsInterval_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("spoken");
        QTest::addRow("off: never again") << 0 << true << 60 << 0 << 0;
        QTest::addRow("every minute, three minutes") << 1 << true << 3 << 3 << 3;
        QTest::addRow("every minute, just under one") << 1 << true << 0 << 0 << 0;
        QTest::addRow("every five, fourteen minutes") << 5 << true << 14 << 2 << 2;
        QTest::addRow("every fifteen, fourteen minutes") << 15 << true << 14 << 0 << 0;
        QTest::addRow("every fifteen, an hour") << 15 << true << 60 << 4 << 4;
        QTest::addRow("sound off: kept in rhythm, not spoken") << 1 << false << 3 << 3 << 0;
    }
    void alertRepeatsAtItsInterval()
    {
        QFETCH(int, interval);
        QFETCH(bool, sound);
        QFETCH(int, minutes);
        QFETCH(int, repeats);
        QFETCH(int, spoken);
        UnattendedDesk u;
        setSound(u.desk, sound);
        ArrivalAlert &alert = u.station.alert();
        alert.setIntervalMinutes(interval);
        QSignalSpy repeated(&alert, &ArrivalAlert::repeated);
        alert.arrived({"MAIL - a.dat"});
        // Ticks every 20 seconds of the fake clock, and one just short of the
        // next full minute when none is asked for.
        const int ticks = minutes == 0 ? 2 : minutes * 3;
        for (int i = 0; i < ticks; ++i) {
            u.desk.clock.time = u.desk.clock.time.addSecs(minutes == 0 ? 29 : 20);
            alert.tick();
        }
        QCOMPARE(int(repeated.count()), repeats);
        QCOMPARE(timesSpoken(u.desk), spoken);
        // Each repeat is one line in the log, saying whether it was heard.
        const QStringList logged = u.loggedEvents().filter(QRegularExpression("^arrival alert"));
        QCOMPARE(int(logged.size()), repeats);
        for (const QString &line : logged) {
            QVERIFY2(line.endsWith(", 1 unread"), qPrintable(line));
            QCOMPARE(line.contains("not spoken"), !sound);
        }
    }

    void alertStopsWhenReadOrDismissed()
    {
        UnattendedDesk u;
        ArrivalAlert &alert = u.station.alert();
        alert.setIntervalMinutes(1);
        QSignalSpy counts(&alert, &ArrivalAlert::unreadChanged);
        alert.arrived({"a.dat", "b.dat"});
        QCOMPARE(alert.unread(), 2);
        alert.arrived({"b.dat"}); // the same name again is no second message
        QCOMPARE(alert.unread(), 2);
        alert.dismiss();
        u.desk.clock.time = u.desk.clock.time.addSecs(120);
        alert.tick();
        QCOMPARE(timesSpoken(u.desk), 0);
        QCOMPARE(alert.unread(), 2); // dismissed, still unread

        alert.arrived({"c.dat"}); // a new arrival stands again
        u.desk.clock.time = u.desk.clock.time.addSecs(60);
        alert.tick();
        QCOMPARE(timesSpoken(u.desk), 1);
        alert.read("a.dat");
        QCOMPARE(alert.unread(), 2);
        QVERIFY(!alert.alerting());
        u.desk.clock.time = u.desk.clock.time.addSecs(600);
        alert.tick();
        QCOMPARE(timesSpoken(u.desk), 1);
        alert.keepOnly({"c.dat"}); // b.dat was taken by another program
        QCOMPARE(alert.unread(), 1);
        QCOMPARE(counts.last().first().toInt(), 1);
    }

    void alertIsNotHeldOffByAClockSetBack()
    {
        UnattendedDesk u;
        ArrivalAlert &alert = u.station.alert();
        alert.setIntervalMinutes(1);
        alert.arrived({"a.dat"});
        u.desk.clock.time = u.desk.clock.time.addSecs(-3600);
        alert.tick();
        QCOMPARE(timesSpoken(u.desk), 0);
        u.desk.clock.time = u.desk.clock.time.addSecs(61);
        alert.tick();
        QCOMPARE(timesSpoken(u.desk), 1);
    }

    void logLinesAreOneEventEach_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("written");
        QTest::addRow("plain") << "read MAIL.dat" << "read MAIL.dat";
        QTest::addRow("line ends in a name") << "arrived a\r\nb\tc.dat" << "arrived a  b c.dat";
        QTest::addRow("very long") << QString(5000, u'x') << QString(StationLog::maxEventLength, u'x') + "...";
    }
    void logLinesAreOneEventEach()
    {
        QFETCH(QString, event);
        QFETCH(QString, written);
        UnattendedDesk u;
        u.station.record(event);
        const QStringList lines = u.logLines();
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(Z|[+-]\\d{2}:\\d{2}) "));
        QVERIFY2(stamp.match(lines.first()).hasMatch(), qPrintable(lines.first()));
        QVERIFY(lines.first().startsWith(u.desk.clock.time.toString(Qt::ISODate).left(19)));
        QCOMPARE(u.loggedEvents().first(), written);
    }

    void logStartsAFileEachDay()
    {
        UnattendedDesk u;
        u.station.record("first day");
        const QString first = u.station.log().todaysPath();
        u.desk.clock.time = u.desk.clock.time.addDays(1);
        u.station.record("second day");
        QVERIFY(first != u.station.log().todaysPath());
        QCOMPARE(QFileInfo(first).fileName(), "stationlog-2026-12-07.txt");
        QCOMPARE(u.loggedEvents(), QStringList{"second day"});
        QVERIFY(readAll(first).endsWith(" first day\n"));
    }

    void aLogThatCannotBeWrittenIsSaidOnce()
    {
        UnattendedDesk u;
        const QString path = u.station.log().todaysPath();
        QVERIFY(QDir().mkpath(path)); // a folder takes the log's name
        u.station.record("one");
        u.station.record("two");
        QCOMPARE(u.desk.prompter.boxes.size(), 1);
        QVERIFY(u.desk.prompter.lastText().contains(QDir::toNativeSeparators(path)));
        QVERIFY(QDir().rmdir(path));
        u.station.record("three"); // working again; a later failure is said again
        QCOMPARE(u.loggedEvents(), QStringList{"three"});
    }

    void aLogSwitchedOffWritesNothing()
    {
        UnattendedDesk u;
        UnattendedSettings off = u.station.settings();
        off.log = false;
        QVERIFY(u.station.apply(off).ok());
        u.station.record("nothing");
        QVERIFY(!QFile::exists(u.station.log().todaysPath()));
    }

    void arrivalsAreLoggedCountedAndNotified()
    {
        UnattendedDesk u;
        const QString receive = u.desk.makeSettingDir(Setting::ReceiveDir, "receive");
        writeFile(receive + "/old.dat", "old");
        u.station.watchFolder(receive);
        QCOMPARE(u.station.takeArrivals(receive), QStringList{}); // the baseline is no arrival
        writeFile(receive + "/MAIL - b.dat", exampleRecord);
        writeFile(receive + "/FILE - a.dat", "12345");
        QCOMPARE(u.station.takeArrivals(receive), (QStringList{"FILE - a.dat", "MAIL - b.dat"}));
        QCOMPARE(u.loggedEvents(), (QStringList{"arrived FILE - a.dat (5 bytes)",
                                                QString("arrived MAIL - b.dat (%1 bytes)").arg(exampleRecord.size())}));
        QCOMPARE(u.station.alert().unread(), 2);
        QCOMPARE(u.notifier.notes.size(), 1);
        QVERIFY(u.notifier.notes.first().body.contains("MAIL - b.dat"));
        QCOMPARE(u.notifier.counts, QList<int>{2});

        u.station.messageRead("MAIL - b.dat");
        QVERIFY(QFile::remove(receive + "/MAIL - b.dat"));
        QCOMPARE(u.notifier.counts, (QList<int>{2, 1}));
        QVERIFY(QFile::remove(receive + "/FILE - a.dat"));
        u.station.messageDeleted("FILE - a.dat", QString());
        QCOMPARE(u.loggedEvents().mid(2),
                 (QStringList{"read MAIL - b.dat", "deleted FILE - a.dat for good (no trash)"}));
        QCOMPARE(u.station.alert().unread(), 0);

        // What came while the monitor was stopped counts when it starts again.
        writeFile(receive + "/late.dat", "x");
        u.station.watchFolder(receive);
        QCOMPARE(u.station.alert().unread(), 1);
    }

    void notificationsSwitchedOffStayQuiet()
    {
        UnattendedDesk u;
        UnattendedSettings settings = u.station.settings();
        settings.notify = false;
        QVERIFY(u.station.apply(settings).ok());
        const QString receive = u.desk.makeDir("receive");
        u.station.baseline(receive);
        writeFile(receive + "/a.dat", "x");
        QCOMPARE(u.station.takeArrivals(receive).size(), 1);
        QVERIFY(u.notifier.notes.isEmpty());
        QVERIFY(u.notifier.counts.isEmpty());
        QCOMPARE(u.station.alert().unread(), 1);
    }

    void trayClickAsksForTheFront()
    {
        UnattendedDesk u;
        QSignalSpy front(&u.station, &UnattendedStation::frontRequested);
        u.notifier.click();
        QCOMPARE(front.count(), 1);
    }

    void mainMenuShowsTheCountAndDismisses()
    {
        UnattendedDesk u;
        auto *menu = MainMenu::open(u.desk.context, MainMenu::Opener::WorkingScreen);
        auto *count = child<QLabel>(menu, "unreadCount");
        auto *dismiss = child<QPushButton>(menu, "dismissAlert");
        QVERIFY(count && dismiss);
        QVERIFY(count->isHidden());
        QVERIFY(dismiss->isHidden());
        u.station.alert().arrived({"a.dat", "b.dat"});
        QCOMPARE(count->text(), "2 unread message(s)");
        QVERIFY(!count->isHidden());
        QVERIFY(!dismiss->isHidden());
        TestDesk::click(menu, "dismissAlert");
        QVERIFY(!u.station.alert().alerting());
        QVERIFY(dismiss->isHidden());
        QVERIFY(!count->isHidden()); // still unread
        QVERIFY(u.loggedEvents().last().contains("dismissed"));
    }

    void withoutTheFeaturesTheMenuIsAsItWas()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::WorkingScreen);
        QVERIFY(!child<QLabel>(menu, "unreadCount"));
        QVERIFY(!child<QPushButton>(menu, "dismissAlert"));
        auto *settings = desk.navigator.open<FrSettings>();
        QVERIFY(!child<QComboBox>(settings, "repeatAlert"));
        QVERIFY(!child<QPushButton>(settings, "stationLog"));
        QVERIFY(settings->findChildren<QCheckBox *>().isEmpty());
    }

    // The station's three switches stand beside the repeat interval: shown
    // as stored (on without the file), stored whole when clicked, followed
    // at once, and shown as they stand again on the next visit.
    void settingsDisplaySwitchesTheFeatures_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::addRow("watchdog") << "watchdogSwitch" << "watchdog";
        QTest::addRow("desktop notification") << "notifySwitch" << "notify";
        QTest::addRow("station log") << "logSwitch" << "log";
    }
    void settingsDisplaySwitchesTheFeatures()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        UnattendedDesk u;
        QVERIFY(!QFile::exists(u.desk.files.path(Setting::Unattended)));
        auto *settings = u.desk.navigator.open<FrSettings>();
        auto *toggle = child<QCheckBox>(settings, qPrintable(box));
        QVERIFY(toggle);
        QVERIFY(toggle->isChecked());
        QVERIFY(!QFile::exists(u.desk.files.path(Setting::Unattended))); // looking stores nothing

        toggle->click();
        QVERIFY(!toggle->isChecked());
        const QByteArray stored = readAll(u.desk.files.path(Setting::Unattended));
        QVERIFY2(stored.contains(key.toLatin1() + "=off"), stored.constData());
        QCOMPARE(UnattendedSettings::load(u.desk.files), u.station.settings());
        // Only this one switched; the others and the interval stay as they were.
        QCOMPARE(u.station.settings().toLine().count("=off"), 1);
        QCOMPARE(u.station.settings().repeatMinutes, 0);
        // No tray icon stands with a count nobody keeps up to date.
        QCOMPARE(u.notifier.trayShown, key != "notify");

        // The feature follows at once.
        const QString receive = u.desk.makeDir("receive");
        u.station.baseline(receive);
        writeFile(receive + "/a.dat", "x");
        QCOMPARE(u.station.takeArrivals(receive).size(), 1);
        QCOMPARE(u.notifier.notes.isEmpty(), key == "notify");
        QCOMPARE(QFile::exists(u.station.log().todaysPath()), key != "log");
        QCOMPARE(u.station.watchdog().enabled(), key != "watchdog");

        u.desk.navigator.unload<FrSettings>();
        settings = u.desk.navigator.open<FrSettings>();
        QVERIFY(!child<QCheckBox>(settings, qPrintable(box))->isChecked());
        child<QCheckBox>(settings, qPrintable(box))->click();
        QCOMPARE(UnattendedSettings::load(u.desk.files), UnattendedSettings{});
        // Switched on again, the tray shows the count it was not told meanwhile.
        QCOMPARE(u.notifier.counts, QList<int>{1});
        QVERIFY(u.notifier.trayShown);
    }

    // The tray follows the stored switch from the start, and each switch after.
    void trayFollowsTheNotificationSwitch()
    {
        UnattendedDesk u;
        UnattendedSettings off = u.station.settings();
        off.notify = false;
        QVERIFY(u.station.apply(off).ok());
        QVERIFY(!u.notifier.trayShown);

        FakeNotifier later;
        UnattendedStation restarted(u.desk.files, u.desk.clock, u.desk.speaker, u.desk.prompter, later, u.watch);
        QVERIFY(!later.trayShown);
        restarted.alert().arrived({"a.dat", "b.dat"});
        QVERIFY(!later.trayShown);
        QVERIFY(later.counts.isEmpty());
        QVERIFY(restarted.apply(UnattendedSettings{}).ok());
        QVERIFY(later.trayShown);
        QCOMPARE(later.counts, QList<int>{2});
        // Applying the same switch again changes nothing in the tray.
        QVERIFY(restarted.apply(UnattendedSettings{}).ok());
        QCOMPARE(later.counts, QList<int>{2});
        QVERIFY(restarted.apply(off).ok());
        QVERIFY(!later.trayShown);
    }

    void aSwitchThatCannotBeStoredIsNotShownAsChosen()
    {
        UnattendedDesk u;
        auto *settings = u.desk.navigator.open<FrSettings>();
        QVERIFY(blockWritesAt(u.desk.files.path(Setting::Unattended), "folder in its place"));
        auto *toggle = child<QCheckBox>(settings, "logSwitch");
        toggle->click();
        QVERIFY(toggle->isChecked());
        QVERIFY(u.station.settings().log);
        QVERIFY(namesRefusal(u.desk.prompter.lastText(), u.desk.files.path(Setting::Unattended)));
    }

    // Every control of the settings display is reached with Alt and its own letter.
    void settingsDisplayMnemonicsAreDistinct()
    {
        UnattendedDesk u;
        auto *settings = u.desk.navigator.open<FrSettings>();
        QHash<QChar, QString> letters;
        QStringList captions;
        for (const QAbstractButton *button : settings->findChildren<QAbstractButton *>())
            captions << button->text();
        for (const QLabel *label : settings->findChildren<QLabel *>())
            if (label->buddy())
                captions << label->text();
        int marked = 0;
        for (const QString &caption : std::as_const(captions)) {
            const qsizetype amp = caption.indexOf(u'&');
            if (amp < 0 || amp + 1 >= caption.size())
                continue;
            ++marked;
            const QChar letter = caption.at(amp + 1).toLower();
            QVERIFY2(!letters.contains(letter), qPrintable(caption + " and " + letters.value(letter)));
            letters.insert(letter, caption);
        }
        for (const char *name : {"watchdogSwitch", "notifySwitch", "logSwitch"})
            QVERIFY2(child<QCheckBox>(settings, name)->text().contains(u'&'), name);
        QCOMPARE(marked, 7);
    }

    void settingsDisplaySetsTheRepeatAndOpensTheLog()
    {
        UnattendedDesk u;
        auto *settings = u.desk.navigator.open<FrSettings>();
        auto *repeat = child<QComboBox>(settings, "repeatAlert");
        QVERIFY(repeat);
        QCOMPARE(repeat->currentData().toInt(), 0); // off unless chosen
        repeat->setCurrentIndex(repeat->findData(1));
        emit repeat->activated(repeat->currentIndex());
        QCOMPARE(u.station.alert().intervalMinutes(), 1);
        QCOMPARE(UnattendedSettings::load(u.desk.files).repeatMinutes, 1);

        TestDesk::click(settings, "stationLog");
        const QFileInfo log(u.station.log().todaysPath());
        QCOMPARE(u.desk.processes.opened, QStringList{log.absolutePath() + "|" + log.fileName()});
        QVERIFY(log.exists());
    }

    void aRepeatThatCannotBeStoredIsNotShownAsChosen()
    {
        UnattendedDesk u;
        auto *settings = u.desk.navigator.open<FrSettings>();
        auto *repeat = child<QComboBox>(settings, "repeatAlert");
        QVERIFY(blockWritesAt(u.desk.files.path(Setting::Unattended), "folder in its place"));
        repeat->setCurrentIndex(repeat->findData(5));
        emit repeat->activated(repeat->currentIndex());
        QCOMPARE(repeat->currentData().toInt(), 0);
        QCOMPARE(u.station.alert().intervalMinutes(), 0);
        QVERIFY(namesRefusal(u.desk.prompter.lastText(), u.desk.files.path(Setting::Unattended)));
    }

    // A mail whose name is not UTF-8 is counted once; the received list's
    // rename to a name the desk can open (a numbered one, as its reading is
    // taken) is neither a second arrival nor a second unread message.
    void aRenameByTheReceivedListIsNoArrival()
    {
        UnattendedDesk u;
        TestDesk &desk = u.desk;
        const QString receive = desk.makeSettingDir(Setting::ReceiveDir, "receive");
        const QString reading = QStringLiteral("MAIL - caf\u00e9.dat");
        const QString renamed = QStringLiteral("MAIL - caf\u00e9 (2).dat");
        writeFile(receive + "/" + reading, "older");
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        auto *list = desk.navigator.loaded<Received>();
        QVERIFY(list);
        list->monitor().scan();

        // Written by its bytes: no QString spells this name.
        const QByteArray latinPath = QFile::encodeName(receive) + "/MAIL - caf\xe9.dat";
        const int fd = ::open(latinPath.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, exampleRecord.constData(), size_t(exampleRecord.size())), exampleRecord.size());
        QCOMPARE(::close(fd), 0);
        list->monitor().scan();
        QCOMPARE(timesSpoken(desk), 1);
        TRY_COMPARE(child<QLabel>(menu, "unreadCount")->text(), "1 unread message(s)");
        QVERIFY2(u.loggedEvents().contains(QString("arrived %1 (%2 bytes)").arg(reading).arg(exampleRecord.size())),
                 qPrintable(u.loggedEvents().join(" | ")));

        desk.navigator.open<Received>();
        list->refreshList();
        QVERIFY(!child<QListWidget>(list, "File1")->findItems(renamed, Qt::MatchExactly).isEmpty());
        list->monitor().scan();
        list->monitor().scan();
        QCOMPARE(timesSpoken(desk), 1);
        QCOMPARE(u.notifier.notes.size(), 1);
        QCOMPARE(u.station.alert().unread(), 1);
        QVERIFY(u.loggedEvents().contains(QString("renamed %1 to %2 so that it can be opened").arg(reading, renamed)));
        // Read under its new name before anything else arrives (reading
        // takes it out of the folder): no longer unread.
        QVERIFY(QFile::remove(receive + "/" + renamed));
        u.station.messageRead(renamed);
        QCOMPARE(u.station.alert().unread(), 0);
        QVERIFY(u.station.takeArrivals(receive).isEmpty());
        QCOMPARE(u.station.alert().unread(), 0);
        QCOMPARE(u.loggedEvents().filter(QRegularExpression("^arrived ")).size(), 1);
        QCOMPARE(u.loggedEvents().filter(QRegularExpression("^renamed ")).size(), 1);
    }

    void aDroppedMailRepeatsThroughTheReceivedList()
    {
        UnattendedDesk u;
        TestDesk &desk = u.desk;
        const QString receive = desk.makeSettingDir(Setting::ReceiveDir, "receive");
        UnattendedSettings settings = u.station.settings();
        settings.repeatMinutes = 1;
        QVERIFY(u.station.apply(settings).ok());
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        auto *list = desk.navigator.loaded<Received>();
        QVERIFY(list);
        list->monitor().scan();
        const QString name = "MAIL - From- C--14-05-09--12-07-26.dat";
        writeFile(receive + "/" + name, exampleRecord);
        list->monitor().scan();
        QCOMPARE(timesSpoken(desk), 1); // the arrival reaction's own
        // The folder is listed on a worker thread; the count follows.
        TRY_COMPARE(child<QLabel>(menu, "unreadCount")->text(), "1 unread message(s)");
        QVERIFY(u.loggedEvents().contains(QString("arrived %1 (%2 bytes)").arg(name).arg(exampleRecord.size())));
        desk.clock.time = desk.clock.time.addSecs(60);
        u.station.alert().tick();
        QCOMPARE(timesSpoken(desk), 2);

        // Read through Read Message: the alert stops and the count goes.
        desk.navigator.open<Received>();
        list->refreshList();
        auto *files = child<QListWidget>(list, "File1");
        files->setCurrentRow(0);
        TestDesk::click(list, "Command2");
        QVERIFY(desk.navigator.loaded<InboxForm>());
        QCOMPARE(u.station.alert().unread(), 0);
        desk.clock.time = desk.clock.time.addSecs(600);
        u.station.alert().tick();
        QCOMPARE(timesSpoken(desk), 2);
        QVERIFY(u.loggedEvents().contains("read " + name));
    }
};

QTEST_MAIN(TestUnattended)
#include "tst_unattended.moc"
