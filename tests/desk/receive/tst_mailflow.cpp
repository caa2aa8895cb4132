#include "TestDesk.h"
#include "TestWaits.h"
#include "compose/FrmDecide.h"
#include "compose/MailForm.h"
#include "compose/MessageFile.h"
#include "launcher/Rodiruverezer.h"
#include "receive/InboxForm.h"
#include "receive/Received.h"
#include "shell/EnterForm.h"
#include "shell/MainMenu.h"
#include "shell/Modsoundcontrol.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>

namespace {

void pick(Received *list, const QString &name)
{
    auto *files = child<QListWidget>(list, "File1");
    const auto found = files->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name + " is not listed"));
    files->setCurrentItem(found.first());
}

// The record of "To: AB", "Subject: X", "Your Message: Hi", "From- C".
const QByteArray exampleRecord = "84 79 58 32 65 66,83 85 66 74 69 67 84 58 32 88,"
                                 "89 79 85 82 32 77 69 83 83 65 71 69 58 32 72 73,70 82 79 77 45 32 67\r\n";

} // namespace

class TestMailFlow : public QObject
{
    Q_OBJECT

private:
    using Station = DeskStation;

private slots:
    void composeWritesTheExactFile()
    {
        Station station;
        TestDesk &desk = station.desk;
        writeFile(station.send + "/old unsent.dat", "x");
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "PACKETMAIL");
        QVERIFY(!desk.navigator.loaded<MainMenu>());
        TestDesk::click(desk.navigator.loaded<FrmDecide>(), "Cmdmail");
        auto *composer = desk.navigator.loaded<MailForm>();
        QVERIFY(composer && composer->isVisible());
        // The composer keeps its title bar, and opening it emptied the outbox.
        QVERIFY(!composer->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(QDir(station.send).isEmpty());
        QCOMPARE(child<QLineEdit>(composer, "Text3")->text(), "TO-");

        child<QLineEdit>(composer, "Text3")->setText("To: AB");
        child<QLineEdit>(composer, "Text2")->setText("Subject: X");
        child<QPlainTextEdit>(composer, "Text1")->setPlainText("Your Message: Hi");
        child<QLineEdit>(composer, "Text4")->setText("From- C");
        TestDesk::click(composer, "Command1");

        const QString posted = station.send + "/MAIL - From- C--14-05-09--12-07-26.dat";
        QCOMPARE(readAll(posted), exampleRecord);
        QVERIFY(!desk.navigator.loaded<MailForm>());
        auto *launcher = desk.navigator.loaded<Rodiruverezer>();
        QVERIFY(launcher && launcher->isVisible());
        QVERIFY(!child<QListWidget>(launcher, "File1")->findItems(QFileInfo(posted).fileName(), Qt::MatchExactly).isEmpty());
    }

    void postingFailuresKeepTheComposerOpen_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addRow("no send.dat") << "no setting";
        QTest::addRow("send folder gone") << "no folder";
        QTest::addRow("From text no file name can hold") << "bad name";
    }
    void postingFailuresKeepTheComposerOpen()
    {
        QFETCH(QString, problem);
        Station station;
        TestDesk &desk = station.desk;
        if (problem == "no setting")
            QVERIFY(desk.files.remove(Setting::SendDir));
        auto *composer = desk.navigator.open<MailForm>();
        if (problem == "no folder")
            QDir(station.send).removeRecursively();
        if (problem == "bad name")
            child<QLineEdit>(composer, "Text4")->setText("From: N0CALL/2");
        TestDesk::click(composer, "Command1");
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QVERIFY(desk.prompter.lastText().startsWith("The mail could not be posted"));
        QCOMPARE(desk.navigator.loaded<MailForm>(), composer);
        QVERIFY(QDir(station.send).isEmpty());
        QCOMPARE(child<QLineEdit>(composer, "Text4")->text().isEmpty(), false);
    }

    void arrivalIsAnnouncedReadAnsweredAndSaved()
    {
        Station station;
        TestDesk &desk = station.desk;
        writeFile(station.receive + "/already here.txt", "old");
        auto *enter = desk.navigator.open<EnterForm>();
        enter->showReenter();
        TestDesk::click(enter, "reenter");
        auto *menu = desk.navigator.loaded<MainMenu>();
        auto *list = desk.navigator.loaded<Received>();
        QVERIFY(list && !list->isVisible()); // loaded hidden: the monitor runs

        list->monitor().scan();
        QVERIFY(desk.speaker.spoken.isEmpty()); // the baseline is never announced
        writeFile(station.receive + "/MAIL - From- C--14-05-09--12-07-26.dat", exampleRecord);
        list->monitor().scan();
        QCOMPARE(desk.speaker.spoken,
                 QStringList{"Message has arrived  Warning Check Running Packet Program to ensure total message "
                             "received before opening"});
        QCOMPARE(child<QLabel>(menu, "Label1")->text(), "A Message Has Arrived ");
        QCOMPARE(child<QLabel>(menu, "Label2")->text(),
                 " Warning Check Packet Program to ensure total message received before opening");

        TestDesk::click(menu, "RECEIVE");
        QVERIFY(child<QLabel>(menu, "Label1")->text().isEmpty());
        QVERIFY(list->isVisible());
        pick(list, "MAIL - From- C--14-05-09--12-07-26.dat");
        TestDesk::click(list, "Command2");
        QVERIFY(!QFile::exists(station.receive + "/MAIL - From- C--14-05-09--12-07-26.dat"));
        auto *reader = desk.navigator.loaded<InboxForm>();
        QVERIFY(reader && reader->isVisible());
        QCOMPARE(child<QLineEdit>(reader, "Text3")->text(), "TO: AB");
        QCOMPARE(child<QLineEdit>(reader, "Text2")->text(), "SUBJECT: X");
        QCOMPARE(child<QPlainTextEdit>(reader, "Text1")->toPlainText(), "YOUR MESSAGE: HI");
        QCOMPARE(child<QLineEdit>(reader, "Text4")->text(), "FROM- C");

        // Auto-save on, from the reader itself; then exit archives the mail as shown.
        TestDesk::click(reader, "cmdAutoSaveToggle");
        QCOMPARE(child<QPushButton>(menu, "cmdAutoSaveToggle")->text(), "Receive &Auto Save ON");
        child<QLineEdit>(reader, "Text2")->setText("SUBJECT: X, edited");
        TestDesk::click(reader, "Command2");
        QCOMPARE(readAll(station.save + "/mail_26-12-07_1405.dat"),
                 QByteArray("TO: AB,\"SUBJECT: X, edited\",YOUR MESSAGE: HI,FROM- C\r\n"));
        QVERIFY(!desk.navigator.loaded<InboxForm>());
        QVERIFY(menu->isVisible());
    }

    void replyGoesToTheOutbox()
    {
        Station station;
        TestDesk &desk = station.desk;
        writeFile(desk.files.path(Setting::MailHandOver), exampleRecord + "\r\n");
        writeFile(station.send + "/waiting.dat", "unsent");
        auto *reader = desk.navigator.open<InboxForm>();
        QVERIFY(QDir(station.send).isEmpty()); // opening a mail empties the outbox
        child<QLineEdit>(reader, "Text3")->setText("To: C");
        child<QLineEdit>(reader, "Text4")->setText("From- AB");
        TestDesk::click(reader, "Command1");
        QCOMPARE(readAll(station.send + "/MAIL - 140509.txt"),
                 QByteArray("84 79 58 32 67,83 85 66 74 69 67 84 58 32 88,"
                            "89 79 85 82 32 77 69 83 83 65 71 69 58 32 72 73,70 82 79 77 45 32 65 66\r\n"));
        QCOMPARE(readAll(desk.files.path(Setting::MailHandOver)), QByteArray());
        QVERIFY(!desk.navigator.loaded<InboxForm>());
        QVERIFY(desk.navigator.loaded<Rodiruverezer>()->isVisible());
    }

    void malformedHandOverIsSaidInWords()
    {
        Station station;
        TestDesk &desk = station.desk;
        writeFile(desk.files.path(Setting::MailHandOver), "65,66,67\r\n");
        auto *reader = desk.navigator.open<InboxForm>();
        QCOMPARE(desk.prompter.lastText(), "File content is not in the expected format.");
        QCOMPARE(child<QLineEdit>(reader, "Text3")->text(), "TO:");
    }

    // A message leaves the receive folder only once the reader shows it;
    // on every failure it stays, and the operator is told.
    void routing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("setup"); // "", "hand-over blocked", "reader loaded hidden"
        QTest::addColumn<bool>("readerOpened");
        QTest::addColumn<bool>("stays");
        QTest::addColumn<QString>("message"); // some box holds this; empty: no box
        const QString noRecord = "holds no mail record";
        const QString shownInPart = "shown only as far as it could be read";
        QTest::addRow("mail in lower case") << "mail - y.txt" << QByteArray("65,66,67,68") << "" << true << false << "";
        QTest::addRow("shown by the reader loaded hidden")
            << "MAIL - 1.txt" << exampleRecord << "reader loaded hidden" << true << false << "";
        QTest::addRow("MAIL by name, FILE in text, not a clean record")
            << "MAIL - x.dat" << QByteArray("65 66,file,67,68") << "" << false << true << noRecord;
        QTest::addRow("neither") << "notes.txt" << QByteArray("65,66,67,68") << "" << false << true
                                 << "Unrecognized file type.";
        QTest::addRow("empty file") << "MAIL - 000000.txt" << QByteArray() << "" << false << true
                                    << "The message stays in the receive folder.";
        QTest::addRow("garbage named MAIL, no commas")
            << "MAIL - g.txt" << QByteArray("\x01\xfe garbage \x80") << "" << false << true << noRecord;
        QTest::addRow("garbage named MAIL, reader loaded hidden")
            << "MAIL - g.txt" << QByteArray("\x01\xfe garbage \x80") << "reader loaded hidden" << false << true
            << noRecord;
        QTest::addRow("garbage named MAIL with commas")
            << "MAIL - g.txt" << QByteArray("\x01,\xfe,,garbage \x80") << "" << false << true << noRecord;
        QTest::addRow("garbage named MAIL over several lines")
            << "MAIL - g.txt" << QByteArray("\x01,\xfe,,\r\ngarbage,\r\n\x80\r\n") << "" << false << true << noRecord;
        QTest::addRow("three fields only") << "MAIL - 3.txt" << QByteArray("65,66,67\r\n") << "" << false << true
                                           << noRecord;
        QByteArray random(16 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
        QTest::addRow("large random file") << "MAIL - garbage.dat" << random << "" << false << true << noRecord;
        QTest::addRow("a record, then garbage")
            << "MAIL - 1.txt" << exampleRecord + "\x01\xfe" << "" << true << true << shownInPart;
        QTest::addRow("a line that is no record between two records, not taken apart")
            << "MAIL - 1.txt" << exampleRecord + "65,66\r\n" + exampleRecord << "" << true << true << shownInPart;
        const qsizetype megabytes4 = 4 * 1024 * 1024;
        QTest::addRow("a line longer than any record")
            << "MAIL - 1.txt" << QByteArray(megabytes4 + 1, '7') << "" << false << true << "longer than 4 MB";
        QByteArray largeRecords;
        for (int i = 0; i < 5; ++i)
            largeRecords += "65,66,67," + QByteArray(megabytes4 - 64, '7') + "\r\n";
        QTest::addRow("more mail text than is taken apart")
            << "MAIL - 1.txt" << largeRecords << "" << false << true << "more mail text than the 16 MB";
        QTest::addRow("mail hand-over cannot be written")
            << "MAIL - 1.txt" << exampleRecord << "hand-over blocked" << false << true
            << "The message stays in the receive folder";
    }
    void routing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, setup);
        QFETCH(bool, readerOpened);
        QFETCH(bool, stays);
        QFETCH(QString, message);
        Station station;
        TestDesk &desk = station.desk;
        writeFile(station.receive + u'/' + name, content);
        if (setup == "hand-over blocked")
            QDir().mkpath(desk.files.path(Setting::MailHandOver) + "/inside");
        if (setup == "reader loaded hidden")
            desk.navigator.load<InboxForm>()->hideReplyControls();
        auto *list = desk.navigator.open<Received>();
        pick(list, name);
        TestDesk::click(list, "Command2");
        QCOMPARE(readAll(station.receive + u'/' + name), stays ? content : QByteArray("<missing>"));
        QCOMPARE(QDir(station.receive).entryList(QDir::Files).size(), stays ? 1 : 0);
        auto *reader = desk.navigator.loaded<InboxForm>();
        QCOMPARE(reader && reader->isVisible(), readerOpened);
        if (readerOpened && !stays)
            QCOMPARE(readAll(desk.files.path(Setting::MailHandOver)), content + "\r\n");
        if (message.isEmpty()) {
            QVERIFY2(desk.prompter.boxes.isEmpty(), qPrintable(desk.prompter.texts().join(" | ")));
        } else {
            const QString said = desk.prompter.texts().join(" | ");
            QVERIFY2(said.contains(message), qPrintable(said));
        }
        if (stays && message.startsWith("The message stays")) // the path is named
            QVERIFY(desk.prompter.texts().join(" | ").contains(QDir::toNativeSeparators(station.receive + u'/' + name)));
        if (content.isEmpty())
            QCOMPARE(desk.prompter.boxes.first().title, "Error Handler");
    }

    // Two replies of one second share a file: the first is shown now, the
    // second becomes a message of its own and is shown next; none is lost.
    void twoMailsInOneFileAreReadOneByOne()
    {
        Station station;
        TestDesk &desk = station.desk;
        const QByteArray second = MessageFile::mailRecordLine("To: B", "Subject: Y", "Bye", "From- D");
        writeFile(station.receive + "/MAIL - 140509.txt", exampleRecord + second);
        auto *list = desk.navigator.open<Received>();
        pick(list, "MAIL - 140509.txt");
        TestDesk::click(list, "Command2");
        QCOMPARE(child<QLineEdit>(desk.navigator.loaded<InboxForm>(), "Text3")->text(), "TO: AB");
        QCOMPARE(child<QLineEdit>(desk.navigator.loaded<InboxForm>(), "Text4")->text(), "FROM- C");
        QVERIFY(!QFile::exists(station.receive + "/MAIL - 140509.txt"));
        QCOMPARE(readAll(station.receive + "/MAIL - 140509 (2).txt"), second);

        TestDesk::click(desk.navigator.loaded<InboxForm>(), "Command2");
        list = desk.navigator.open<Received>();
        pick(list, "MAIL - 140509 (2).txt");
        TestDesk::click(list, "Command2");
        QCOMPARE(child<QLineEdit>(desk.navigator.loaded<InboxForm>(), "Text3")->text(), "TO: B");
        QCOMPARE(child<QPlainTextEdit>(desk.navigator.loaded<InboxForm>(), "Text1")->toPlainText(), "BYE");
        QVERIFY(QDir(station.receive).isEmpty());
    }

    // Posts that share a file are taken apart up to a limit.
    void aFileOfManyMails_data()
    {
        QTest::addColumn<int>("records");
        QTest::addRow("100, taken apart") << 100;
        QTest::addRow("101, refused") << 101;
    }
    void aFileOfManyMails()
    {
        QFETCH(int, records);
        Station station;
        TestDesk &desk = station.desk;
        QByteArray file;
        for (int i = 0; i < records; ++i)
            file += MessageFile::mailRecordLine("To: AB", "Subject: X", QString::number(i), "From- C");
        writeFile(station.receive + "/MAIL - 1.txt", file);
        auto *list = desk.navigator.open<Received>();
        pick(list, "MAIL - 1.txt");
        TestDesk::click(list, "Command2");
        const QStringList left = QDir(station.receive).entryList(QDir::Files);
        if (records <= 100) {
            QCOMPARE(left.size(), records - 1);
            QVERIFY(!left.contains("MAIL - 1.txt"));
            QCOMPARE(child<QPlainTextEdit>(desk.navigator.loaded<InboxForm>(), "Text1")->toPlainText(), "0");
        } else {
            QCOMPARE(left, QStringList{"MAIL - 1.txt"});
            QVERIFY(!desk.navigator.loaded<InboxForm>());
            QVERIFY(desk.prompter.lastText().contains("no more than 100"));
        }
    }

    void nothingSelected()
    {
        Station station;
        TestDesk &desk = station.desk;
        writeFile(desk.files.path(Setting::MailHandOver), "stale");
        auto *list = desk.navigator.open<Received>();
        TestDesk::click(list, "Command2");
        QCOMPARE(desk.prompter.lastText(), "No file selected.");
        QVERIFY(!QFile::exists(desk.files.path(Setting::MailHandOver)));
        QVERIFY(!QFile::exists(desk.files.path(Setting::AttachmentHandOver)));
    }

    void aFileThatWillNotGoIsLeftWhenTheOperatorSaysSo()
    {
        Station station;
        TestDesk &desk = station.desk;
        // A folder under a message's name cannot be removed as a file, even by root.
        const QString stuck = station.receive + "/MAIL - stuck.txt";
        QDir().mkpath(stuck + "/inside");
        auto *list = desk.navigator.open<Received>();
        desk.prompter.answers << true << false;
        QVERIFY(!list->KillFile(stuck));
        QCOMPARE(desk.prompter.boxes.size(), 3); // asked twice, then told
        QVERIFY(desk.prompter.boxes.at(0).text.startsWith("Failed to delete the file: "));
        QVERIFY(QFile::exists(stuck));
    }

    // Deleting asks once, then moves the message to the trash, from where
    // it can be restored; without a trash the message stays.
    void deleteAsksOnceThenTrashes_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("dataHome"); // "<root>" stands for the test's folder
        QTest::addColumn<bool>("trashed");
        QTest::addRow("declined") << false << "<root>/data" << false;
        QTest::addRow("confirmed") << true << "<root>/data" << true;
        QTest::addRow("confirmed, no trash possible") << true << "<root>/plain file/data" << false;
    }
    void deleteAsksOnceThenTrashes()
    {
        QFETCH(bool, answer);
        QFETCH(QString, dataHome);
        QFETCH(bool, trashed);
        Station station;
        TestDesk &desk = station.desk;
        const QString root = desk.makeDir("trash test");
        writeFile(root + "/plain file", "a file where a folder would have to be");
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.replace("<root>", root)));
        const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", previous); });
        const QString name = "MAIL - 1.txt";
        writeFile(station.receive + u'/' + name, exampleRecord);
        auto *list = desk.navigator.open<Received>();
        pick(list, name);
        desk.prompter.answers << answer;
        TestDesk::click(list, "Command1");

        QVERIFY(desk.prompter.boxes.first().question);
        QVERIFY(desk.prompter.boxes.first().text.contains(name));
        QCOMPARE(desk.prompter.boxes.size(), answer ? 2 : 1);
        QCOMPARE(readAll(station.receive + u'/' + name), trashed ? QByteArray("<missing>") : exampleRecord);
        QCOMPARE(readAll(root + "/data/Trash/files/" + name), trashed ? exampleRecord : QByteArray("<missing>"));
        QVERIFY(!QFile::exists(desk.workingDir() + "/files/" + name));
        QCOMPARE(child<QListWidget>(list, "File1")->count(), trashed ? 0 : 1);
        if (answer)
            QVERIFY(desk.prompter.lastText().startsWith(trashed ? "file deleted successfully" : "error deleting file: "));
        if (answer && !trashed)
            QVERIFY(desk.prompter.lastText().contains(QDir::toNativeSeparators(station.receive + u'/' + name)));
    }

    // Opening the composer or reading a mail empties the outbox into the
    // trash; the screen that opened says so in a line, and says nothing
    // when the outbox was empty or there is no trash to restore from.
    void emptiedOutboxIsSaidOnTheScreen_data()
    {
        QTest::addColumn<QString>("screen"); // "composer" or "reader"
        QTest::addColumn<int>("unsent");
        QTest::addColumn<bool>("trash");
        QTest::addColumn<QString>("line"); // empty: no line
        const QString one = "1 unsent message was moved from the outbox to the trash; it can be restored from there.";
        const QString three =
            "3 unsent messages were moved from the outbox to the trash; they can be restored from there.";
        for (const char *screen : {"composer", "reader"}) {
            QTest::addRow("%s, outbox empty", screen) << screen << 0 << true << "";
            QTest::addRow("%s, one unsent", screen) << screen << 1 << true << one;
            QTest::addRow("%s, three unsent", screen) << screen << 3 << true << three;
            QTest::addRow("%s, no trash", screen) << screen << 2 << false << "";
        }
    }
    void emptiedOutboxIsSaidOnTheScreen()
    {
        QFETCH(QString, screen);
        QFETCH(int, unsent);
        QFETCH(bool, trash);
        QFETCH(QString, line);
        Station station;
        TestDesk &desk = station.desk;
        const QString root = desk.makeDir("trash test");
        // A plain file where the data folder would be leaves no trash.
        if (!trash)
            writeFile(root + "/data", "a file where a folder would have to be");
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
        const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", previous); });
        for (int i = 0; i < unsent; ++i)
            writeFile(station.send + QStringLiteral("/MAIL - %1.txt").arg(i), "unsent");
        QWidget *opened = nullptr;
        if (screen == "composer") {
            opened = desk.navigator.open<MailForm>();
        } else {
            writeFile(station.receive + "/MAIL - 1.txt", exampleRecord);
            auto *list = desk.navigator.open<Received>();
            pick(list, "MAIL - 1.txt");
            TestDesk::click(list, "Command2");
            opened = desk.navigator.loaded<InboxForm>();
        }
        QVERIFY(opened && opened->isVisible());
        QVERIFY(QDir(station.send).isEmpty());
        if (trash)
            QCOMPARE(QDir(root + "/data/Trash/files").entryList(QDir::Files).size(), unsent);
        auto *notice = opened->findChild<QLabel *>("outboxTrashedNotice");
        if (line.isEmpty()) {
            QVERIFY(!notice || !notice->isVisible());
        } else {
            QVERIFY(notice);
            QCOMPARE(notice->text(), line);
            QVERIFY(notice->isVisible());
        }
        // A line, not a box to click away.
        QVERIFY2(desk.prompter.boxes.isEmpty(), qPrintable(desk.prompter.texts().join(" | ")));
    }

    // The list on screen follows the folder on the monitor's ticks, also
    // when files go without any arrival and when the folder itself goes.
    void theListDropsWhatIsGone()
    {
        Station station;
        TestDesk &desk = station.desk;
        writeFile(station.receive + "/MAIL - 1.txt", "1");
        writeFile(station.receive + "/MAIL - 2.txt", "2");
        auto *list = desk.navigator.open<Received>();
        auto *files = child<QListWidget>(list, "File1");
        QCOMPARE(files->count(), 2);
        pick(list, "MAIL - 2.txt");
        QFile::remove(station.receive + "/MAIL - 1.txt");
        QTRY_COMPARE_WITH_TIMEOUT(files->count(), 1, TestWaits::settleMs);
        QCOMPARE(files->currentItem()->text(), "MAIL - 2.txt");
        QVERIFY(QDir(station.receive).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(files->count(), 0, TestWaits::settleMs);
        TestDesk::click(list, "Command2");
        QCOMPARE(desk.prompter.lastText(), "No file selected.");
    }

    void anArrivalWhileTheMenuIsClosedShowsWhenItOpens()
    {
        Station station;
        TestDesk &desk = station.desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        auto *list = desk.navigator.load<Received>();
        TestDesk::click(menu, "PACKETMAIL"); // the menu closes while composing
        QVERIFY(!desk.navigator.loaded<MainMenu>());
        writeFile(station.receive + "/MAIL - 2.txt", "1");
        list->monitor().scan();
        menu = MainMenu::open(desk.context, MainMenu::Opener::WorkingScreen);
        QCOMPARE(child<QLabel>(menu, "Label1")->text(), "A Message Has Arrived ");
        // Seen once is enough.
        desk.navigator.unload<MainMenu>();
        TestDesk::settle();
        menu = MainMenu::open(desk.context, MainMenu::Opener::WorkingScreen);
        QVERIFY(child<QLabel>(menu, "Label1")->text().isEmpty());
    }

    void arrivalWithTheListHiddenLeavesItAlone()
    {
        Station station;
        TestDesk &desk = station.desk;
        QVERIFY(Modsoundcontrol(desk.files).storeSoundSetting(false));
        MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        auto *list = desk.navigator.load<Received>();
        writeFile(station.receive + "/MAIL - 1.txt", "1");
        list->monitor().scan();
        QVERIFY(desk.speaker.spoken.isEmpty()); // sound off
        QCOMPARE(child<QListWidget>(list, "File1")->count(), 0);
        QCOMPARE(child<QLabel>(desk.navigator.loaded<MainMenu>(), "Label1")->text(), "A Message Has Arrived ");
    }
};

QTEST_MAIN(TestMailFlow)
#include "tst_mailflow.moc"
