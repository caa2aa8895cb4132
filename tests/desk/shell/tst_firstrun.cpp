#include "FileSizeLimit.h"
#include "TestDesk.h"
#include "compose/MessageFile.h"
#include "receive/InboxForm.h"
#include "receive/ReadForm.h"
#include "receive/Received.h"
#include "receive/SaveForm.h"
#include "setup/DirChange.h"
#include "setup/DirectoryBrowser.h"
#include "setup/DirectorySet.h"
#include "shell/EnterForm.h"
#include "shell/FrSettings.h"
#include "shell/MainMenu.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cerrno>
#include <optional>

namespace {

void pickFirst(QWidget *screen)
{
    auto *list = child<QListWidget>(screen, "File1");
    QVERIFY(list->count() > 0);
    list->setCurrentRow(0);
}

const QString testMessage =
    QStringLiteral("This is a test. If you can read this then the test is a pass. Please press Exit .");

} // namespace

class TestFirstRun : public QObject
{
    Q_OBJECT

private slots:
    // A new operator's first run, screen by screen, as one story.
    void aNewOperatorSetsUpTestsAndBrowses()
    {
        TestDesk desk;
        const QString root = desk.makeDir("station");
        TestDesk::click(desk.navigator.open<EnterForm>(), "Command1");
        auto *setup = desk.navigator.loaded<DirChange>();
        QVERIFY(setup && setup->isVisible());

        // Create the three working directories under the station root, then ENTER each set.
        for (int number : {1, 2, 4}) {
            DirectorySet *set = setup->set(number);
            set->browser()->setDirectory(root);
            set->createButton()->click();
        }
        QVERIFY(QFileInfo(root + "/MAIL SAVE").isDir());
        QVERIFY(QFileInfo(root + "/MAIL RECEIVE").isDir());
        QVERIFY(QFileInfo(root + "/MAIL SEND").isDir());
        const std::pair<int, QString> chosen[] = {{1, "/MAIL SAVE"}, {2, "/MAIL RECEIVE"}, {4, "/MAIL SEND"}};
        for (const auto &[number, folder] : chosen) {
            setup->set(number)->browser()->setDirectory(root + folder);
            setup->set(number)->enterButton()->click();
        }
        QCOMPARE(desk.files.readLine(Setting::ReceiveDir).value(), QDir::toNativeSeparators(root + "/MAIL RECEIVE"));

        TestDesk::click(setup, "Command1");
        auto *menu = desk.navigator.loaded<MainMenu>();
        QVERIFY(menu && menu->isVisible());
        TestDesk::click(menu, "testprogram");
        QVERIFY(!desk.navigator.loaded<MainMenu>());
        auto *list = desk.navigator.loaded<Received>();
        QVERIFY(list && list->isVisible());
        QCOMPARE(child<QListWidget>(list, "File1")->count(), 1);
        QCOMPARE(child<QListWidget>(list, "File1")->item(0)->text(), "MAIL - 140509.txt");

        pickFirst(list);
        TestDesk::click(list, "Command2");
        auto *reader = desk.navigator.loaded<InboxForm>();
        QVERIFY(reader && reader->isVisible());
        QCOMPARE(child<QPlainTextEdit>(reader, "Text1")->toPlainText(), testMessage.toUpper() + "\n");
        // The test hides the reply, reset and auto-save buttons.
        QVERIFY(!child<QPushButton>(reader, "Command1")->isVisible());
        QVERIFY(!child<QPushButton>(reader, "cmdAutoSaveToggle")->isVisible());

        // Leaving the list while the test mail still shows: the full main
        // menu's load takes the reader, and its hidden buttons, away.
        TestDesk::click(list, "Cmdexit");
        menu = desk.navigator.loaded<MainMenu>();
        QVERIFY(!child<QPushButton>(menu, "testprogram")->isVisible());
        QVERIFY(!desk.navigator.loaded<InboxForm>());

        // Auto-save on, then a real mail arrives and is read: the reader has
        // all its buttons, and leaving it archives the mail.
        TestDesk::click(menu, "cmdAutoSaveToggle");
        writeFile(root + "/MAIL RECEIVE/MAIL - 140600.txt",
                  MessageFile::mailRecordLine("TO: TEST", "SUBJECT:TEST", testMessage + "\r\n", "From Test"));
        TestDesk::click(menu, "RECEIVE");
        list = desk.navigator.loaded<Received>();
        pickFirst(list);
        TestDesk::click(list, "Command2");
        reader = desk.navigator.loaded<InboxForm>();
        QVERIFY(reader && reader->isVisible());
        for (const char *name : {"Command1", "Command3", "cmdAutoSaveToggle"})
            QVERIFY2(child<QPushButton>(reader, name)->isVisible(), name);
        TestDesk::click(reader, "Command2");
        const QStringList saved = QDir(root + "/MAIL SAVE").entryList(QDir::Files);
        QCOMPARE(saved, QStringList{"mail_26-12-07_1405.dat"});

        TestDesk::click(desk.navigator.loaded<MainMenu>(), "RETRIEVE");
        auto *archive = desk.navigator.loaded<SaveForm>();
        QVERIFY(archive && archive->isVisible());
        pickFirst(archive);
        TestDesk::click(archive, "readmail");
        auto *savedReader = desk.navigator.loaded<ReadForm>();
        QVERIFY(savedReader && savedReader->isVisible());
        QCOMPARE(child<QLineEdit>(savedReader, "Text3")->text(), "TO: TEST");
        QVERIFY(child<QPlainTextEdit>(savedReader, "Text1")->toPlainText().startsWith(testMessage.toUpper()));

        TestDesk::click(savedReader, "Command2");
        TestDesk::click(desk.navigator.loaded<MainMenu>(), "SETTINGS");
        auto *settings = desk.navigator.loaded<FrSettings>();
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(child<QLineEdit>(settings, "Text3")->text(), QDir::toNativeSeparators(root + "/MAIL RECEIVE"));
        QCOMPARE(child<QLineEdit>(settings, "Text2")->text(), QDir::toNativeSeparators(root + "/MAIL SEND"));
        QCOMPARE(child<QLineEdit>(settings, "Text1")->text(), QDir::toNativeSeparators(root + "/MAIL SAVE"));
        // The program sets were never chosen: one message, the rest left empty.
        QCOMPARE(desk.prompter.texts().count(" no file picked"), 1);
        QVERIFY(child<QLineEdit>(settings, "Text4")->text().isEmpty());
    }

    void selfTestFileBytes()
    {
        TestDesk desk;
        const QString receive = desk.makeDir("receive");
        QVERIFY(desk.files.writePrintLine(Setting::ReceiveDir, receive));
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Enter);
        TestDesk::click(menu, "testprogram");
        const QByteArray record = readAll(receive + "/MAIL - 140509.txt");
        const QList<QByteArray> fields = record.split(',');
        QCOMPARE(fields.size(), 4);
        QCOMPARE(fields[0], QByteArray("84 79 58 32 84 69 83 84")); // TO: TEST
        QVERIFY(fields[2].endsWith(" 46 13 10"));                   // ". " then CR LF in the message
        QVERIFY(record.endsWith("\r\n"));
        for (const char c : record)
            QVERIFY(QByteArray("0123456789 ,\r\n").contains(c));
    }

    void selfTestNeedsAReceiveFolder_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addRow("no receive.dat") << false;
        QTest::addRow("folder missing") << true;
        QTest::addRow("folder full") << true;
        QTest::addRow("a device under the test file's name") << true;
    }
    void selfTestNeedsAReceiveFolder()
    {
        QFETCH(bool, stored);
        TestDesk desk;
        const bool full = QByteArray(QTest::currentDataTag()) == "folder full";
        const bool device = QByteArray(QTest::currentDataTag()) == "a device under the test file's name";
        const QString receive = full || device ? desk.makeDir("receive") : desk.programDir() + "/nowhere";
        // A device that is always full under the test file's name is not
        // written to at all: only regular files are.
        if (device && !QFile::link("/dev/full", receive + "/MAIL - 140509.txt"))
            QSKIP("no /dev/full here");
        if (stored)
            QVERIFY(desk.files.writePrintLine(Setting::ReceiveDir, receive));
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Enter);
        {
            // No file may grow: every write fails as on a full disk.
            std::optional<FileSizeLimit> limit;
            if (full)
                limit.emplace(0);
            TestDesk::click(menu, "testprogram");
        }
        QVERIFY(desk.prompter.lastText().contains("receive folder must be set first"));
        if (full) // the system's own words
            QVERIFY2(desk.prompter.lastText().contains(qt_error_string(EFBIG)), qPrintable(desk.prompter.lastText()));
        if (device)
            QVERIFY2(desk.prompter.lastText().contains("is a device, not a regular file"), qPrintable(desk.prompter.lastText()));
        QCOMPARE(desk.navigator.loaded<MainMenu>(), menu);
        QVERIFY(child<QPushButton>(menu, "testprogram")->isVisible());
        QVERIFY(!desk.navigator.loaded<Received>());
    }

    void savedMessageReader_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QStringList>("shown"); // To, Subject, Message, From
        QTest::addRow("two saves in one file") << QByteArray("A,B,C,D\r\nE,F,G,H\r\n")
                                               << QStringList{"A", "B", "C", "D"};
        QTest::addRow("commas and line breaks quoted")
            << QByteArray("TO: A,\"NET CHECK-IN, WEEK 50\",\"HI,\r\nALL\",FROM- C\r\n")
            << QStringList{"TO: A", "NET CHECK-IN, WEEK 50", "HI,\r\nALL", "FROM- C"};
        QTest::addRow("a comma in the message") << QByteArray("A,B,hello, world,D\r\n")
                                                << QStringList{"A", "B", "hello", " world"};
        QTest::addRow("one comma only") << QByteArray("A,B\r\n")
                                        << QStringList{"A", "B\r\n\r\n", "Your Message:", "From:"};
    }
    void savedMessageReader()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QStringList, shown);
        TestDesk desk;
        const QString save = desk.makeDir("save");
        QVERIFY(desk.files.writePrintLine(Setting::SaveDir, save));
        writeFile(save + "/mail_26-12-07_1405.dat", archive);
        writeFile(desk.files.path(Setting::SavedMessageHandOver), "old");
        auto *archiveScreen = desk.navigator.open<SaveForm>();
        pickFirst(archiveScreen);
        TestDesk::click(archiveScreen, "readmail");
        auto *reader = desk.navigator.loaded<ReadForm>();
        QVERIFY(reader);
        QCOMPARE(child<QLineEdit>(reader, "Text3")->text(), shown[0]);
        QCOMPARE(child<QLineEdit>(reader, "Text2")->text(), shown[1]);
        QCOMPARE(child<QPlainTextEdit>(reader, "Text1")->toPlainText(), QString(shown[2]).replace("\r\n", "\n"));
        QCOMPARE(child<QLineEdit>(reader, "Text4")->text(), shown[3]);
    }

    void savedMessagesWithoutASaveFolder()
    {
        TestDesk desk;
        auto *archive = desk.navigator.open<SaveForm>();
        QVERIFY(desk.prompter.texts().join('|').contains("No save folder is set"));
        TestDesk::click(archive, "readmail");
        QCOMPARE(desk.prompter.lastText(), " No file picked Error has been committed");
        QVERIFY(desk.navigator.loaded<MainMenu>());
    }

    void settingsDisplayShowsEverySetLocation_data()
    {
        QTest::addColumn<QStringList>("missing"); // boxes whose setting file is missing
        QTest::addRow("all set") << QStringList();
        QTest::addRow("only the Winlink program missing") << QStringList{"Text5"};
        QTest::addRow("the first and the last missing") << QStringList{"Text3", "Text12"};
        QTest::addRow("none set") << QStringList{"Text1", "Text2", "Text3", "Text4", "Text5", "Text6",
                                                 "Text7", "Text8", "Text9", "Text10", "Text11", "Text12"};
    }
    void settingsDisplayShowsEverySetLocation()
    {
        QFETCH(QStringList, missing);
        TestDesk desk;
        struct Stored {
            const char *box;
            SettingFile file;
            QString written, shown;
        };
        const Stored stored[] = {
            {"Text3", Setting::ReceiveDir, "/r, cut", "/r"}, // a field read stops at the comma
            {"Text2", Setting::SendDir, "/s", "/s"},
            {"Text1", Setting::SaveDir, "/save, whole", "/save, whole"}, // a line read keeps it
            {"Text4", Setting::WinTnc, "blank", "blank"},
            {"Text5", Setting::Winlink, "/p/winlink", "/p/winlink"},
            {"Text6", Setting::Splitter, "/p/splitter", "/p/splitter"},
            {"Text7", Setting::AttachmentDir, "/a", "/a"},
            {"Text8", Setting::Soundmodem, "/p/soundmodem", "/p/soundmodem"},
            {"Text9", Setting::Direwolf, "/p/direwolf", "/p/direwolf"},
            {"Text10", Setting::EasyTerm, "/p/easyterm", "/p/easyterm"},
            {"Text11", Setting::VarAc, "/p/varac", "/p/varac"},
            {"Text12", Setting::NprModem, "/p/npr", "/p/npr"}};
        for (const Stored &setting : stored)
            if (!missing.contains(setting.box))
                QVERIFY(desk.files.writePrintLine(setting.file, setting.written));
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "SETTINGS");
        auto *settings = desk.navigator.loaded<FrSettings>();
        QVERIFY(settings && settings->isVisible());
        for (const Stored &setting : stored)
            QCOMPARE(child<QLineEdit>(settings, setting.box)->text(),
                     missing.contains(setting.box) ? QString() : setting.shown);
        // Said once for all the missing ones, however many there are.
        QCOMPARE(desk.prompter.texts(), missing.isEmpty() ? QStringList() : QStringList{" no file picked"});
    }

    void settingsDisplayLeadsBackToTheSetup()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "SETTINGS");
        auto *settings = desk.navigator.loaded<FrSettings>();
        desk.prompter.answers << false;
        TestDesk::click(settings, "Command2");
        QCOMPARE(desk.prompter.boxes.last().title, "Confirmation");
        QCOMPARE(desk.navigator.loaded<FrSettings>(), settings);
        TestDesk::click(settings, "Command2"); // Yes
        QVERIFY(desk.navigator.loaded<DirChange>());
        QVERIFY(!desk.navigator.loaded<FrSettings>());
    }
};

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
