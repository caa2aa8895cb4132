#include "TestDesk.h"
#include "launcher/Rodiruverezer.h"
#include "setup/DirChange.h"
#include "setup/DirectoryBrowser.h"
#include "setup/DirectoryPaths.h"
#include "setup/DirectorySet.h"
#include "shell/EnterForm.h"
#include "shell/MainMenu.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

constexpr SettingFile setFiles[] = {Setting::SaveDir,    Setting::ReceiveDir, Setting::WinTnc,     Setting::SendDir,
                                    Setting::Winlink,    Setting::Splitter,   Setting::AttachmentDir,
                                    Setting::Soundmodem, Setting::Direwolf,   Setting::EasyTerm,
                                    Setting::VarAc,      Setting::NprModem};

SettingFile fileOfSet(int number)
{
    return setFiles[number - 1];
}

QString stored(const TestDesk &desk, SettingFile file)
{
    return desk.files.readLine(file).value_or(QStringLiteral("<no file>"));
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// A folder with two subfolders and two files, under the desk's temporary root.
QString makeTree(const TestDesk &desk)
{
    const QString root = desk.makeDir(QStringLiteral("station"));
    QDir().mkpath(root + QStringLiteral("/alpha/inner"));
    QDir().mkpath(root + QStringLiteral("/beta"));
    touch(root + QStringLiteral("/notes.txt"));
    touch(root + QStringLiteral("/radio.exe"));
    touch(root + QStringLiteral("/beta/modem.exe"));
    return root;
}

// Opens the setup screen with set `number` moved to `directory`; null when it cannot move there.
DirectorySet *openSetIn(TestDesk &desk, int number, const QString &directory)
{
    DirectorySet *set = desk.navigator.open<DirChange>()->set(number);
    return set->browser()->setDirectory(directory) ? set : nullptr;
}

QStringList texts(const QListWidget *list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result << list->item(row)->text();
    return result;
}

} // namespace

class TestDirChange : public QObject
{
    Q_OBJECT

private slots:
    void newDirectoryPath_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addRow("backslash name in a folder") << "/data/radio" << "\\MAIL SAVE" << "/data/radio/MAIL SAVE";
        QTest::addRow("slash name in a folder") << "/data/radio" << "/MAIL SAVE" << "/data/radio/MAIL SAVE";
        QTest::addRow("at the root no double separator") << "/" << "\\MAIL SAVE" << "/MAIL SAVE";
        QTest::addRow("base with trailing separator") << "/data/" << "inbox" << "/data/inbox";
        QTest::addRow("spaces around are trimmed") << "/data" << "  \\ MAIL  " << "/data/MAIL";
        QTest::addRow("inner backslash separates") << "/data" << "MAIL\\SUB" << "/data/MAIL/SUB";
        QTest::addRow("only spaces") << "/data" << "   " << "";
        QTest::addRow("only separators") << "/data" << " \\ / " << "";
        QTest::addRow("trailing separator dropped") << "/data" << "MAIL SEND\\ " << "/data/MAIL SEND";
    }
    void newDirectoryPath()
    {
        QFETCH(QString, base);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(DirectoryPaths::newDirectoryPath(base, name), expected);
    }

    void opensBareWithEverySet()
    {
        TestDesk desk;
        auto *screen = desk.navigator.open<DirChange>();
        QVERIFY(screen->isVisible());
        QVERIFY(screen->windowFlags().testFlag(Qt::FramelessWindowHint));
        // display box and ENTER button of sets 1 to 12
        const char *names[][2] = {{"Text8", "Command9"},  {"Text9", "Command10"},  {"Text3", "Command3"},
                                  {"Text10", "Command11"}, {"Text5", "Command4"},   {"Text6", "Command6"},
                                  {"Text12", "Command13"}, {"Text13", "Command14"}, {"Text14", "Command15"},
                                  {"Text11", "Command12"}, {"Text15", "Command16"}, {"Text16", "Command17"}};
        for (int number = 1; number <= 12; ++number) {
            DirectorySet *set = screen->set(number);
            QVERIFY(set);
            QCOMPARE(set->display()->objectName(), QLatin1String(names[number - 1][0]));
            QCOMPARE(set->enterButton()->objectName(), QLatin1String(names[number - 1][1]));
            QCOMPARE(set->enterButton()->text(), QStringLiteral("ENTER"));
            QVERIFY(set->display()->text().isEmpty());
            for (const char *list : {"Drive%1", "Dir%1", "File%1"})
                QVERIFY(screen->findChild<QWidget *>(QString::fromLatin1(list).arg(number)));
            QCOMPARE(set->browser()->directory(), QDir::toNativeSeparators(QDir::currentPath()));
        }
        const QList<std::pair<const char *, const char *>> boxes = {
            {"Text1", "MAIL SAVE"}, {"Text2", "MAIL RECEIVE"}, {"Text4", "MAIL SEND"}, {"Text7", "MAIL ATTACHMENT"}};
        for (const auto &[box, name] : boxes)
            QCOMPARE(screen->findChild<QLineEdit *>(QLatin1String(box))->text(),
                     QDir::separator() + QLatin1String(name));
        QCOMPARE(screen->set(1)->browser()->driveList()->itemData(0).toString(), QDir::rootPath());
        // Nothing is read or written when the screen opens.
        QVERIFY(QDir(desk.programDir()).isEmpty());
        QVERIFY(desk.prompter.boxes.isEmpty());
    }

    void tabOrderLeadsWithTheReceiveAndSaveBoxes()
    {
        TestDesk desk;
        auto *screen = desk.navigator.open<DirChange>();
        QWidget *first = screen->findChild<QWidget *>(QStringLiteral("Text9"));
        QStringList chain;
        for (QWidget *widget = first; chain.size() < 200; widget = widget->nextInFocusChain()) {
            if (widget->focusPolicy() & Qt::TabFocus && !widget->objectName().isEmpty())
                chain << widget->objectName();
            if (widget->nextInFocusChain() == first)
                break;
        }
        QCOMPARE(chain.mid(0, 7), (QStringList{"Text9", "Text8", "Text2", "Text1", "Drive1", "Dir1", "File1"}));
        for (const char *outside : {"Text3", "Text5", "Text10", "Text12", "Text13", "Text14", "Text15", "Text16"})
            QVERIFY2(!chain.contains(QLatin1String(outside)), outside);
        // The send and attachment names can still be typed from the keyboard.
        for (const char *inside : {"Text4", "Text7", "Command2", "Command7", "Command8", "Command1", "Command5"})
            QVERIFY2(chain.contains(QLatin1String(inside)), inside);
    }

    void enterStoresTheChoice_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<QString>("expected"); // "<dir>" stands for the chosen directory
        QTest::addRow("save directory") << 1 << "" << "<dir>";
        QTest::addRow("save directory ignores a highlighted file") << 1 << "notes.txt" << "<dir>";
        QTest::addRow("receive directory") << 2 << "" << "<dir>";
        QTest::addRow("send directory ignores a highlighted file") << 4 << "radio.exe" << "<dir>";
        QTest::addRow("attachment directory") << 7 << "" << "<dir>";
        QTest::addRow("WinTNC without a file stores blank") << 3 << "" << "blank";
        QTest::addRow("WinTNC program") << 3 << "radio.exe" << "<dir>/radio.exe";
        QTest::addRow("Winlink program") << 5 << "radio.exe" << "<dir>/radio.exe";
        QTest::addRow("splitter without a file") << 6 << "" << "blank";
        QTest::addRow("VarAC program") << 11 << "radio.exe" << "<dir>/radio.exe";
        QTest::addRow("NPR modem program") << 12 << "notes.txt" << "<dir>/notes.txt";
    }
    void enterStoresTheChoice()
    {
        QFETCH(int, number);
        QFETCH(QString, highlight);
        QFETCH(QString, expected);
        TestDesk desk;
        const QString directory = makeTree(desk);
        DirectorySet *set = openSetIn(desk, number, directory);
        QVERIFY(set);
        if (!highlight.isEmpty())
            QVERIFY(set->browser()->highlightFile(highlight));
        desk.navigator.load<Rodiruverezer>();
        desk.prompter.boxes.clear();

        TestDesk::click(set->window(), set->enterButton()->objectName());

        const QString value = QDir::toNativeSeparators(QString(expected).replace(QStringLiteral("<dir>"), directory));
        QCOMPARE(stored(desk, fileOfSet(number)), value);
        QCOMPARE(set->display()->text(), value);
        QCOMPARE(desk.prompter.texts(), QStringList{});
        // The launcher must read the new value when it opens next.
        QVERIFY(!desk.navigator.loaded<Rodiruverezer>());
    }

    void changeOfDirectoryStoresOnlyTheMarkedSets_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("stores");
        const bool storesAtChange[] = {false, false, false, true, false, true, true, true, true, true, true, true};
        for (int number = 1; number <= 12; ++number)
            QTest::addRow("set %d", number) << number << storesAtChange[number - 1];
    }
    void changeOfDirectoryStoresOnlyTheMarkedSets()
    {
        QFETCH(int, number);
        QFETCH(bool, stores);
        TestDesk desk;
        const QString directory = makeTree(desk);
        auto *screen = desk.navigator.open<DirChange>();
        QVERIFY(screen->set(number)->browser()->setDirectory(directory));
        const QStringList written = QDir(desk.programDir() + QStringLiteral("/..")).entryList(QDir::Files);
        if (stores) {
            // Only its own file, holding the new directory.
            QCOMPARE(written, QStringList{QFileInfo(desk.files.path(fileOfSet(number))).fileName()});
            QCOMPARE(stored(desk, fileOfSet(number)), QDir::toNativeSeparators(directory));
        } else {
            QCOMPARE(written, QStringList{});
        }
        QVERIFY(screen->set(number)->display()->text().isEmpty());
    }

    void keyboardAloneChoosesAProgramAndAChangeOverwritesIt()
    {
        TestDesk desk;
        const QString directory = makeTree(desk);
        auto *screen = desk.navigator.open<DirChange>();
        DirectorySet *varac = screen->set(11);
        DirectoryBrowser *browser = varac->browser();
        QVERIFY(browser->setDirectory(directory));
        QCOMPARE(texts(browser->directoryList()), (QStringList{"..", "alpha", "beta"}));
        QCOMPARE(texts(browser->fileList()), (QStringList{"notes.txt", "radio.exe"}));

        // Arrows highlight, Enter opens, Backspace goes up.
        QTest::keyClick(browser->directoryList(), Qt::Key_Down);
        QTest::keyClick(browser->directoryList(), Qt::Key_Return);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory + QStringLiteral("/alpha")));
        QCOMPARE(texts(browser->directoryList()), (QStringList{"..", "inner"}));
        QCOMPARE(texts(browser->fileList()), QStringList{});
        QTest::keyClick(browser->directoryList(), Qt::Key_Backspace);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory));
        QTest::keyClick(browser->fileList(), Qt::Key_Down);
        QTest::keyClick(browser->fileList(), Qt::Key_Down);
        QCOMPARE(browser->highlightedFile(), QStringLiteral("radio.exe"));
        QTest::keyClick(varac->enterButton(), Qt::Key_Space);
        const QString program = QDir::toNativeSeparators(directory + QStringLiteral("/radio.exe"));
        QCOMPARE(stored(desk, Setting::VarAc), program);

        // Moving on without ENTER stores just the new directory; the box keeps what ENTER stored.
        browser->directoryList()->setCurrentRow(2); // beta
        QTest::keyClick(browser->directoryList(), Qt::Key_Enter);
        QCOMPARE(stored(desk, Setting::VarAc), QDir::toNativeSeparators(directory + QStringLiteral("/beta")));
        QCOMPARE(texts(browser->fileList()), QStringList{"modem.exe"});
        QCOMPARE(browser->highlightedFile(), QString());
        QCOMPARE(varac->display()->text(), program);
        // ".." through Enter goes up as well.
        browser->directoryList()->setCurrentRow(0);
        QTest::keyClick(browser->directoryList(), Qt::Key_Return);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory));
        QCOMPARE(desk.prompter.texts(), QStringList{});
    }

    void driveThatIsNotReadyKeepsTheDirectory()
    {
        TestDesk desk;
        const QString directory = makeTree(desk);
        const QString gone = desk.makeDir(QStringLiteral("card"));
        QVERIFY(QDir(gone).removeRecursively());
        auto *screen = desk.navigator.open<DirChange>();
        DirectoryBrowser *browser = screen->set(4)->browser();
        browser->setDrives({{QDir::rootPath(), QStringLiteral("root")},
                            {directory, QStringLiteral("stick")},
                            {gone, QStringLiteral("card")}});
        QVERIFY(browser->setDirectory(directory + QStringLiteral("/alpha")));
        QCOMPARE(browser->driveList()->currentIndex(), 0);
        // An arrow key in the drive list chooses the next drive.
        QTest::keyClick(browser->driveList(), Qt::Key_Down);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory));
        const QString storedBefore = stored(desk, Setting::SendDir);
        QCOMPARE(storedBefore, QDir::toNativeSeparators(directory));

        QVERIFY(!browser->chooseDrive(2));
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QVERIFY2(desk.prompter.lastText().contains(QStringLiteral("card is not ready")), qPrintable(desk.prompter.lastText()));
        QCOMPARE(desk.prompter.boxes.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory));
        QCOMPARE(browser->driveList()->currentIndex(), 0);
        QCOMPARE(stored(desk, Setting::SendDir), storedBefore);

        // Enter on a drive that is not ready passes quietly.
        browser->driveList()->setCurrentIndex(2);
        QTest::keyClick(browser->driveList(), Qt::Key_Return);
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory));

        // A ready drive moves the set to its root, which the send set stores.
        QVERIFY(browser->chooseDrive(0));
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(QDir::rootPath()));
        QCOMPARE(stored(desk, Setting::SendDir), QDir::toNativeSeparators(QDir::rootPath()));
    }

    void folderThatCannotBeOpenedKeepsTheDirectory()
    {
        TestDesk desk;
        const QString directory = makeTree(desk);
        auto *screen = desk.navigator.open<DirChange>();
        DirectoryBrowser *browser = screen->set(8)->browser();
        QVERIFY(browser->setDirectory(directory));
        // The folder vanished after it was listed.
        QVERIFY(QDir(directory + QStringLiteral("/beta")).removeRecursively());
        browser->directoryList()->setCurrentRow(2);
        QTest::keyClick(browser->directoryList(), Qt::Key_Return);
        QCOMPARE(browser->directory(), QDir::toNativeSeparators(directory));
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QVERIFY(desk.prompter.lastText().contains(QStringLiteral("does not exist")));
        QCOMPARE(stored(desk, Setting::Soundmodem), QDir::toNativeSeparators(directory));
    }

    void createDirectory_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name"); // "<default>" keeps the box's own text
        QTest::addColumn<QString>("before"); // what lies there already: "", "dir" or "file"
        QTest::addColumn<QString>("message"); // "<path>" stands for the joined path
        QTest::addColumn<Prompter::Icon>("icon");
        QTest::addColumn<bool>("cleared");
        const auto info = Prompter::Icon::Information;
        const auto critical = Prompter::Icon::Critical;
        QTest::addRow("default save name") << 1 << "<default>" << "" << "Directory created: <path>" << info << true;
        QTest::addRow("typed with a backslash") << 2 << "\\MAIL RECEIVE" << "" << "Directory created: <path>" << info
                                                << true;
        QTest::addRow("already there") << 4 << "<default>" << "dir" << "Directory already exists: <path>" << info
                                       << true;
        QTest::addRow("only spaces") << 7 << "   " << "" << "Please enter a folder name."
                                     << Prompter::Icon::Exclamation << false;
        QTest::addRow("missing parent, save prefix") << 1 << "no such/MAIL" << "" << "Error creating directory: "
                                                     << critical << false;
        QTest::addRow("file in the way, send prefix") << 4 << "<default>" << "file" << "Cannot create directory: "
                                                      << critical << false;
        QTest::addRow("missing parent, attachment prefix") << 7 << "no such/MAIL" << "" << "Cannot create directory: "
                                                           << critical << false;
    }
    void createDirectory()
    {
        QFETCH(int, number);
        QFETCH(QString, name);
        QFETCH(QString, before);
        QFETCH(QString, message);
        QFETCH(Prompter::Icon, icon);
        QFETCH(bool, cleared);
        TestDesk desk;
        const QString base = makeTree(desk);
        DirectorySet *set = openSetIn(desk, number, base);
        QVERIFY(set);
        if (name != QLatin1String("<default>"))
            set->nameBox()->setText(name);
        const QString typed = set->nameBox()->text();
        const QString path = DirectoryPaths::newDirectoryPath(base, typed);
        if (before == QLatin1String("dir"))
            QVERIFY(QDir().mkdir(path));
        if (before == QLatin1String("file"))
            touch(path);
        desk.prompter.boxes.clear();

        TestDesk::click(set->window(), set->createButton()->objectName());

        QCOMPARE(desk.prompter.boxes.size(), 1);
        const QString expected = QString(message).replace(QStringLiteral("<path>"), QDir::toNativeSeparators(path));
        if (icon == Prompter::Icon::Critical) {
            QVERIFY2(desk.prompter.lastText().startsWith(expected), qPrintable(desk.prompter.lastText()));
            QVERIFY2(desk.prompter.lastText().size() > expected.size(), "the cause is missing");
        } else {
            QCOMPARE(desk.prompter.lastText(), expected);
        }
        QCOMPARE(desk.prompter.boxes.last().icon, icon);
        QCOMPARE(set->nameBox()->text().isEmpty(), cleared);
        QCOMPARE(QFileInfo(path).isDir(), message.startsWith(QLatin1String("Directory")));
        // The directory shows in the lists only after the screen is rebuilt.
        if (before.isEmpty())
            QVERIFY(!texts(set->browser()->directoryList()).contains(QFileInfo(path).fileName()));
    }

    void failedWritesAreReported_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("atChange");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("exact");
        QTest::addRow("save set ENTER") << 1 << false << "An error has occurred: " << false;
        QTest::addRow("Winlink set ENTER") << 5
                                           << false
                                           << QString::fromUtf8("Something went wrong\u2014possibly an invalid path. "
                                                                "Please try again.")
                                           << true;
        QTest::addRow("Direwolf set at a change") << 9 << true << "Error saving directory path: " << false;
    }
    void failedWritesAreReported()
    {
        QFETCH(int, number);
        QFETCH(bool, atChange);
        QFETCH(QString, message);
        QFETCH(bool, exact);
        TestDesk desk;
        const QString directory = makeTree(desk);
        // A folder where the setting file should be makes every write fail.
        QVERIFY(QDir().mkdir(desk.files.path(fileOfSet(number))));
        auto *screen = desk.navigator.open<DirChange>();
        DirectorySet *set = screen->set(number);
        set->browser()->setDirectory(directory);
        if (!atChange) {
            QVERIFY(desk.prompter.boxes.isEmpty());
            TestDesk::click(screen, set->enterButton()->objectName());
        }
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QCOMPARE(desk.prompter.boxes.last().icon, Prompter::Icon::Critical);
        if (exact) {
            QCOMPARE(desk.prompter.lastText(), message);
        } else {
            QVERIFY2(desk.prompter.lastText().startsWith(message), qPrintable(desk.prompter.lastText()));
            QVERIFY2(namesRefusal(desk.prompter.lastText(), desk.files.path(fileOfSet(number))),
                     qPrintable(desk.prompter.lastText()));
        }
        QVERIFY(set->display()->text().isEmpty());
        QCOMPARE(desk.navigator.loaded<DirChange>(), screen);
    }

    void saveAllRebuildsTheScreen()
    {
        TestDesk desk;
        const QString directory = makeTree(desk);
        auto *screen = desk.navigator.open<DirChange>();
        screen->set(1)->browser()->setDirectory(directory);
        TestDesk::click(screen, QStringLiteral("Command9"));
        screen->set(4)->nameBox()->setText(QStringLiteral("other"));
        QVERIFY(!screen->set(1)->display()->text().isEmpty());

        TestDesk::click(screen, QStringLiteral("Command8"));

        auto *fresh = desk.navigator.loaded<DirChange>();
        QVERIFY(fresh);
        QVERIFY(fresh != screen);
        QVERIFY(fresh->isVisible());
        QVERIFY(fresh->set(1)->display()->text().isEmpty());
        QCOMPARE(fresh->set(4)->nameBox()->text(), QDir::separator() + QStringLiteral("MAIL SEND"));
        // What was stored stays stored.
        QCOMPARE(stored(desk, Setting::SaveDir), QDir::toNativeSeparators(directory));
    }

    void leavingAndReaching()
    {
        TestDesk desk;
        auto *entry = desk.navigator.open<EnterForm>();
        TestDesk::click(entry, QStringLiteral("Command1"));
        QVERIFY(!desk.navigator.loaded<EnterForm>());
        auto *screen = desk.navigator.loaded<DirChange>();
        QVERIFY(screen && screen->isVisible());

        TestDesk::click(screen, QStringLiteral("Command5"));
        QVERIFY(!desk.navigator.loaded<DirChange>());
        entry = desk.navigator.loaded<EnterForm>();
        QVERIFY(entry && entry->isVisible());
        QVERIFY(!entry->findChild<QPushButton *>(QStringLiteral("reenter"))->isVisible());

        TestDesk::click(entry, QStringLiteral("Command1"));
        TestDesk::click(desk.navigator.loaded<DirChange>(), QStringLiteral("Command1"));
        QVERIFY(!desk.navigator.loaded<DirChange>());
        auto *menu = desk.navigator.loaded<MainMenu>();
        QVERIFY(menu && menu->isVisible());
        // Opened as the directory setup's menu: no mail buttons yet.
        QVERIFY(!menu->findChild<QPushButton *>(QStringLiteral("PACKETMAIL"))->isVisible());
    }
};

QTEST_MAIN(TestDirChange)
#include "tst_dirchange.moc"
