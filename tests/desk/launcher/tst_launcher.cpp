#include "TestDesk.h"
#include "TestWaits.h"
#include "UnattendedFakes.h"
#include "launcher/Outbox.h"
#include "launcher/ProgramPath.h"
#include "launcher/Rodiruverezer.h"
#include "shell/MainMenu.h"
#include "shell/Modsoundcontrol.h"

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

namespace {

/// One program of the launcher as the operator meets it: its buttons, the
/// files beside the program (by their real names), and every text.
struct Program {
    const char *start;
    const char *reset;
    const char *pathFile;
    const char *stateFile;
    const char *fileName; // of the program this test pretends to install
    bool opened;          // opened through the desktop rather than run
    const char *spokenRunning;
    const char *spokenStarted;
    const char *failure;
    const char *success;
    const char *question;
    const char *spokenReset;
    const char *spokenCancelled;
    const char *shownReset;
};

const Program programs[] = {
    {"Command1", "Command3", "packet.dat", "buttonstate.dat", "WinTNC.exe", false, "WINTNC is already running",
     "WINTNC launched successfully", "Failed to launch WinTNC.exe. Check the drive or path.",
     "WinTNC.exe launched successfully.", "Do you want to reset WINTNC?", "WINTNC has been reset", "Reset Cancelled",
     "WINTNC has been reset."},
    {"Command2", "Command9", "winlink.dat", "buttonstatess.dat", "RMS Express.exe", false,
     "WINLINK is already running", "winlink launched successfully",
     "Failed to launch RMS Express.exe. Check the drive or path.", "RMS Express.exe launched successfully.",
     "Do you want to reset WINLINK?", "WINLINK has been reset", "Reset Cancelled", "WINLINK has been reset."},
    {"Command4", "Command8", "soundmodempacket.dat", "buttonstates.dat", "sm64.exe", false,
     "Soundmodem is already running", "Soundmodem launched successfully",
     "Failed to launch Soundmodem. Check the drive or path.", "Soundmodem launched successfully.",
     "Do you want to reset Soundmodem?", "soundmodem has been reset", "Reset Cancelled", "Soundmodem has been reset."},
    {"Command11", "Command12", "direwolfpacket.dat", "buttonstatesss.dat", "direwolf", true,
     "Direwolf is already running", "Direwolf launched successfully",
     "Failed to launch direwolf. Check the path or config.", "direwolf launched successfully.",
     "Do you want to reset Direwolf?", "Direwolf has been reset", "reset cancelled", "Direwolf has been reset."},
    {"Command14", "Command15", "vara.dat", "varastate.dat", "VarAC.exe", false, "VARA is already running",
     "VARA launched successfully", "Failed to launch VarAC.exe. Check the drive or path.",
     "VarAC.exe launched successfully.", "Do you want to reset VARAC?", "VARAC has been reset", "Reset Cancelled",
     "VARAC has been reset."},
    {"Command16", "Command17", "nprmodem.dat", "thestate.dat", "npr_modem", true, "NPR Modem is already running",
     "NPR Modem launched successfully", "Failed to launch npr_modem. Check the path or config.",
     "npr_modem launched successfully.", "Do you want to reset NPR Modem?", "NPR Modem has been reset",
     "reset cancelled", "NPR Modem has been reset."},
    {"Easyterm", "reseteasy", "easyterm.dat", "buttonstater.dat", "EasyTerm.exe", false,
     "EASYTERM is already running", "Easyterm launched successfully",
     "Failed to launch EasyTerm.exe. Check the drive or path.", "EasyTerm.exe launched successfully.",
     "Do you want to reset EASYTERM?", "EASYTERM has been reset", "Reset Cancelled", "EASYTERM has been reset."},
    {"serialswitch", "resetsplitter", "splitter.dat", "buttonstatessss.dat", "SerialSplitter.exe", true,
     "Splitter is already running", "Splitter launched successfully",
     "Failed to launch SerialSplitter.exe. Check the path or config.", "SerialSplitter.exe launched successfully.",
     "Do you want to reset Splitter?", "Splitter has been reset", "reset cancelled", "Splitter has been reset."},
};

// Setting files lie beside the program, joined to its directory with no separator.
QString besideProgram(const TestDesk &desk, const char *name)
{
    return desk.programDir() + QLatin1String(name);
}

/// Stores `program`'s path as the directory setup does, and creates the
/// program file itself when asked.
QString installProgram(TestDesk &desk, const Program &program, bool createFile)
{
    const QString path = desk.makeDir(QStringLiteral("programs")) + u'/' + QLatin1String(program.fileName);
    if (createFile)
        writeFile(path, "#!/bin/sh\n");
    writeFile(besideProgram(desk, program.pathFile), path.toUtf8() + "\r\n");
    return path;
}

QPushButton *buttonOf(QWidget *screen, const char *name)
{
    return screen->findChild<QPushButton *>(QLatin1String(name));
}

QStringList listed(QWidget *launcher)
{
    QStringList names;
    auto *list = launcher->findChild<QListWidget *>(QStringLiteral("File1"));
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

Rodiruverezer *reload(TestDesk &desk)
{
    desk.navigator.unload<Rodiruverezer>();
    TestDesk::settle();
    return desk.navigator.open<Rodiruverezer>();
}

using Icon = Prompter::Icon;

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dataHome;

private slots:
    void initTestCase()
    {
        // Trashed outbox files land here rather than in the user's own trash.
        QVERIFY(m_dataHome.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome.path() + QStringLiteral("/data")));
    }

    void startSucceeds_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("running");
        for (int i = 0; i < int(std::size(programs)); ++i) {
            QTest::addRow("%s found running", programs[i].start) << i << true;
            QTest::addRow("%s started", programs[i].start) << i << false;
        }
    }
    void startSucceeds()
    {
        QFETCH(int, index);
        QFETCH(bool, running);
        const Program &program = programs[index];
        TestDesk desk;
        const QString path = installProgram(desk, program, true);
        // The process list is searched without regard to letter case.
        if (running)
            desk.processes.running << QString::fromLatin1(program.fileName).toUpper();
        auto *launcher = desk.navigator.open<Rodiruverezer>();

        TestDesk::click(launcher, program.start);
        const QString runs = desk.makeDir("programs") + u'|' + QLatin1String(program.fileName);
        QCOMPARE(desk.processes.started, running || program.opened ? QStringList() : QStringList{path});
        QCOMPARE(desk.processes.opened, running || !program.opened ? QStringList() : QStringList{runs});
        QCOMPARE(desk.prompter.texts(), QStringList{running ? QLatin1String(program.fileName) + " is already running."
                                                            : QString::fromLatin1(program.success)});
        QCOMPARE(desk.prompter.boxes.first().icon, Icon::Information);
        QCOMPARE(desk.speaker.spoken, QStringList{running ? program.spokenRunning : program.spokenStarted});
        QVERIFY(!buttonOf(launcher, program.start)->isEnabled());
        QCOMPARE(readAll(besideProgram(desk, program.stateFile)), QByteArray("False\r\n"));

        // The button stays used up on the next load, and only this one.
        launcher = reload(desk);
        for (const Program &other : programs)
            QCOMPARE(buttonOf(launcher, other.start)->isEnabled(), &other != &program);
    }

    void startFails_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("failure");
        for (const QString failure : {"blank", "no path file", "start refused"})
            for (int i = 0; i < int(std::size(programs)); ++i)
                QTest::addRow("%s %s", programs[i].start, qPrintable(failure)) << i << failure;
    }
    void startFails()
    {
        QFETCH(int, index);
        QFETCH(QString, failure);
        const Program &program = programs[index];
        TestDesk desk;
        if (failure == "blank")
            writeFile(besideProgram(desk, program.pathFile), "blank\r\n");
        else if (failure == "start refused")
            installProgram(desk, program, true);
        desk.processes.failStarts = failure == "start refused";
        auto *launcher = desk.navigator.open<Rodiruverezer>();

        TestDesk::click(launcher, program.start);
        QCOMPARE(desk.prompter.boxes.size(), 1);
        const FakePrompter::Box box = desk.prompter.boxes.first();
        if (failure == "start refused") {
            // The fixed words first, then the system's own reason.
            const QString reason = program.opened ? "cannot open" : "cannot start";
            QCOMPARE(box.text.section("\n\n", 0, 0), QString::fromLatin1(program.failure));
            QCOMPARE(box.text.section("\n\n", 1), reason);
            QCOMPARE(box.icon, Icon::Exclamation);
        } else {
            QVERIFY2(box.text.startsWith("Error: "), qPrintable(box.text));
            QVERIFY2(box.text.contains(failure == "blank" ? "blank" : program.pathFile), qPrintable(box.text));
            QCOMPARE(box.icon, Icon::Critical);
            QVERIFY(desk.processes.started.isEmpty() && desk.processes.opened.isEmpty());
        }
        // Nothing runs, so the button stays ready for another try.
        QVERIFY(desk.speaker.spoken.isEmpty());
        QVERIFY(buttonOf(launcher, program.start)->isEnabled());
        QVERIFY(!QFile::exists(besideProgram(desk, program.stateFile)));
    }

    void reset_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("yes");
        for (int i = 0; i < int(std::size(programs)); ++i) {
            QTest::addRow("%s Yes", programs[i].reset) << i << true;
            QTest::addRow("%s No", programs[i].reset) << i << false;
        }
    }
    void reset()
    {
        QFETCH(int, index);
        QFETCH(bool, yes);
        const Program &program = programs[index];
        TestDesk desk;
        writeFile(besideProgram(desk, program.stateFile), "False\r\n");
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        QVERIFY(!buttonOf(launcher, program.start)->isEnabled());

        desk.prompter.answers.enqueue(yes);
        TestDesk::click(launcher, program.reset);
        QCOMPARE(desk.prompter.boxes.size(), 2);
        const FakePrompter::Box question = desk.prompter.boxes.first();
        QVERIFY(question.question);
        QCOMPARE(question.text, QString::fromLatin1(program.question));
        QCOMPARE(question.title, "Reset Confirmation");
        QCOMPARE(question.icon, Icon::Question);
        QCOMPARE(desk.prompter.boxes.last().icon, Icon::Information);
        QCOMPARE(desk.prompter.lastText(), yes ? QString::fromLatin1(program.shownReset) : "Reset cancelled.");
        QCOMPARE(desk.speaker.spoken, QStringList{yes ? program.spokenReset : program.spokenCancelled});
        QCOMPARE(buttonOf(launcher, program.start)->isEnabled(), yes);
        QCOMPARE(readAll(besideProgram(desk, program.stateFile)), yes ? "#TRUE#\r\n" : "False\r\n");

        launcher = reload(desk);
        QCOMPARE(buttonOf(launcher, program.start)->isEnabled(), yes);
    }

    // The state file's write fails for real; the box names the file and
    // the system's reason.
    void stateWriteFailuresSayWhy_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("reset");
        for (int i = 0; i < int(std::size(programs)); ++i) {
            QTest::addRow("%s", programs[i].start) << i << false;
            QTest::addRow("%s", programs[i].reset) << i << true;
        }
    }
    void stateWriteFailuresSayWhy()
    {
        QFETCH(int, index);
        QFETCH(bool, reset);
        const Program &program = programs[index];
        TestDesk desk;
        installProgram(desk, program, true);
        const QString path = besideProgram(desk, program.stateFile);
        QVERIFY(blockWritesAt(path, "folder in its place"));
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        if (reset)
            desk.prompter.answers.enqueue(true);
        TestDesk::click(launcher, reset ? program.reset : program.start);
        const auto refusal = std::find_if(desk.prompter.boxes.cbegin(), desk.prompter.boxes.cend(),
                                          [](const FakePrompter::Box &box) { return box.text.startsWith("Error: "); });
        QVERIFY2(refusal != desk.prompter.boxes.cend(), qPrintable(desk.prompter.texts().join(" | ")));
        QVERIFY2(namesRefusal(refusal->text, path), qPrintable(refusal->text));
        QCOMPARE(refusal->icon, Icon::Critical);
    }

    void soundOffSpeaksNothing()
    {
        TestDesk desk;
        QVERIFY(Modsoundcontrol(desk.files).storeSoundSetting(false));
        installProgram(desk, programs[0], true);
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        TestDesk::click(launcher, programs[0].start);
        TestDesk::click(launcher, programs[0].reset);
        QCOMPARE(desk.prompter.texts(),
                 (QStringList{programs[0].success, programs[0].question, programs[0].shownReset}));
        QVERIFY(desk.speaker.spoken.isEmpty());
    }

    void loadRestoresButtonStates_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::addRow("started") << QByteArray("False\r\n") << false;
        QTest::addRow("reset") << QByteArray("#TRUE#\r\n") << true;
        QTest::addRow("record false") << QByteArray("#FALSE#\r\n") << false;
        QTest::addRow("zero") << QByteArray("0\r\n") << false;
        QTest::addRow("not a truth value") << QByteArray("maybe\r\n") << true;
        QTest::addRow("empty") << QByteArray() << true;
        QTest::addRow("no file") << QByteArray("<none>") << true;
    }
    void loadRestoresButtonStates()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, enabled);
        TestDesk desk;
        if (stored != "<none>")
            for (const Program &program : programs)
                writeFile(besideProgram(desk, program.stateFile), stored);
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        for (const Program &program : programs) {
            QCOMPARE(buttonOf(launcher, program.start)->isEnabled(), enabled);
            QVERIFY(buttonOf(launcher, program.reset)->isEnabled());
        }
        QVERIFY(desk.prompter.boxes.isEmpty());
    }

    void outboxList_data()
    {
        QTest::addColumn<QByteArray>("sendDat"); // "<outbox>" stands for the folder
        QTest::addColumn<QStringList>("names");
        const QStringList all{"A.dat", "b.dat", "MAIL_1"};
        QTest::addRow("files by name") << QByteArray("<outbox>\r\n") << all;
        QTest::addRow("spaces around") << QByteArray("  <outbox>  \r\n") << all;
        QTest::addRow("folder gone") << QByteArray("<outbox>/gone\r\n") << QStringList();
        QTest::addRow("no send.dat") << QByteArray("<none>") << QStringList();
        QTest::addRow("empty send.dat") << QByteArray("\r\n") << QStringList();
        QTest::addRow("relative") << QByteArray("outbox\r\n") << QStringList();
    }
    void outboxList()
    {
        QFETCH(QByteArray, sendDat);
        QFETCH(QStringList, names);
        TestDesk desk;
        const QString outbox = desk.makeDir("outbox");
        for (const char *name : {"b.dat", "MAIL_1", "A.dat", ".hidden"})
            writeFile(outbox + u'/' + QLatin1String(name), "x");
        desk.makeDir("outbox/sub");
        if (sendDat != "<none>")
            writeFile(besideProgram(desk, "send.dat"), sendDat.replace("<outbox>", outbox.toUtf8()));
        // A relative value must not reach the working directory's files either.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(desk.makeDir("."));
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        QCOMPARE(listed(launcher), names);

        launcher->DeleteAllFiles();
        QDir::setCurrent(previous);
        QVERIFY(desk.prompter.boxes.isEmpty());
        QVERIFY(listed(launcher).isEmpty());
        const QStringList untouched{".hidden", "A.dat", "MAIL_1", "b.dat"};
        QCOMPARE(filesIn(outbox), names.isEmpty() ? untouched : QStringList(".hidden"));
    }

    void deleteAllFilesEmptiesTheOutbox()
    {
        TestDesk desk;
        const QString outbox = desk.makeDir("outbox");
        writeFile(outbox + "/MAIL_old", "old");
        QVERIFY(desk.files.writePrintLine(Setting::SendDir, outbox));
        auto *launcher = desk.navigator.load<Rodiruverezer>();
        // Posted after the launcher was loaded: still taken away.
        writeFile(outbox + "/MAIL_new", "new");
        writeFile(outbox + "/MAIL_old_too", "x");

        launcher->DeleteAllFiles();
        QVERIFY(filesIn(outbox).isEmpty());
        QVERIFY(listed(launcher).isEmpty());
        QVERIFY(desk.prompter.boxes.isEmpty());
        QVERIFY(!launcher->isVisible());
    }

    void discardUsesTheTrash_data()
    {
        QTest::addColumn<QString>("dataHome"); // "<root>" stands for a fresh folder
        QTest::addColumn<bool>("trashed");
        QTest::addRow("data folder not made yet") << "<root>/not/yet" << true;
        QTest::addRow("no trash possible") << "<root>/plainfile/data" << false;
    }
    void discardUsesTheTrash()
    {
        QFETCH(QString, dataHome);
        QFETCH(bool, trashed);
        QTemporaryDir root;
        writeFile(root.path() + "/plainfile", "not a folder");
        const QByteArray previousHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.replace("<root>", root.path())));
        const QString previousDir = QDir::currentPath();
        QDir::setCurrent(root.path());
        const QString message = root.path() + "/MAIL_26-12-07_1405";
        writeFile(message, "TO: A");

        const Result<QString> removal = Outbox::discard(message);
        qputenv("XDG_DATA_HOME", previousHome);
        QDir::setCurrent(previousDir);
        QVERIFY2(removal, qPrintable(removal.error()));
        QVERIFY(!QFile::exists(message));
        // Never the stray "files" folder under the working directory.
        QVERIFY(!QFile::exists(root.path() + "/files/MAIL_26-12-07_1405"));
        QCOMPARE(!removal->isEmpty(), trashed);
        if (trashed) {
            QVERIFY(QDir::isAbsolutePath(*removal));
            QCOMPARE(readAll(*removal), QByteArray("TO: A"));
            QFile::remove(*removal);
        }
    }

    void discardReportsAFileItCannotRemove()
    {
        QTemporaryDir root;
        const Result<QString> removal = Outbox::discard(root.path() + "/never_there");
        QVERIFY(!removal);
        QVERIFY2(removal.error().contains("never_there"), qPrintable(removal.error()));
    }

    void deleteSelectedFile_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<bool>("vanishFirst");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("left");
        QTest::addRow("nothing selected") << "" << false << "No file selected to delete."
                                          << QStringList{"MAIL_1", "MAIL_2"};
        QTest::addRow("selected") << "MAIL_2" << false << "File deleted successfully." << QStringList{"MAIL_1"};
        QTest::addRow("gone meanwhile") << "MAIL_2" << true << "Error deleting file: " << QStringList{"MAIL_1"};
    }
    void deleteSelectedFile()
    {
        QFETCH(QString, select);
        QFETCH(bool, vanishFirst);
        QFETCH(QString, message);
        QFETCH(QStringList, left);
        TestDesk desk;
        const QString outbox = desk.makeDir("outbox");
        writeFile(outbox + "/MAIL_1", "1");
        writeFile(outbox + "/MAIL_2", "2");
        QVERIFY(desk.files.writePrintLine(Setting::SendDir, outbox));
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        auto *list = launcher->findChild<QListWidget *>("File1");
        if (!select.isEmpty())
            list->setCurrentItem(list->findItems(select, Qt::MatchExactly).value(0));
        if (vanishFirst)
            QFile::remove(outbox + u'/' + select);

        TestDesk::click(launcher, "Command6");
        QCOMPARE(desk.prompter.boxes.size(), 1);
        QVERIFY2(desk.prompter.lastText().startsWith(message), qPrintable(desk.prompter.lastText()));
        QCOMPARE(desk.prompter.boxes.first().icon,
                 message.startsWith("File deleted") ? Icon::Information : Icon::Exclamation);
        QCOMPARE(filesIn(outbox), left);
        QCOMPARE(listed(launcher), left);
    }

    void deleteAll_data()
    {
        QTest::addColumn<QByteArray>("sendDat"); // "<outbox>" stands for the folder
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("reloaded");
        QTest::addRow("files") << QByteArray(" <outbox> \r\n") << QStringList{"MAIL_1", "File_2"}
                               << "All files in the directory have been deleted." << true;
        QTest::addRow("empty folder") << QByteArray("<outbox>\r\n") << QStringList() << "Error deleting files: "
                                      << true;
        QTest::addRow("folder gone") << QByteArray("<outbox>/gone\r\n") << QStringList{"MAIL_1"}
                                     << "Error deleting files: " << true;
        QTest::addRow("no folder set") << QByteArray("\r\n") << QStringList{"MAIL_1"} << "Error deleting files: "
                                       << true;
        QTest::addRow("no send.dat") << QByteArray("<none>") << QStringList{"MAIL_1"} << "Unexpected error: "
                                     << false;
    }
    void deleteAll()
    {
        QFETCH(QByteArray, sendDat);
        QFETCH(QStringList, files);
        QFETCH(QString, outcome);
        QFETCH(bool, reloaded);
        TestDesk desk;
        const QString outbox = desk.makeDir("outbox");
        for (const QString &name : files)
            writeFile(outbox + u'/' + name, "x");
        if (sendDat != "<none>")
            writeFile(besideProgram(desk, "send.dat"), sendDat.replace("<outbox>", outbox.toUtf8()));
        QPointer<Rodiruverezer> launcher = desk.navigator.open<Rodiruverezer>();

        TestDesk::click(launcher, "Command7");
        const bool done = outcome.startsWith("All files");
        if (reloaded) {
            QCOMPARE(desk.prompter.boxes.size(), 2);
            QCOMPARE(desk.prompter.boxes.first().icon, Icon::None);
            QVERIFY(desk.prompter.boxes.first().text.startsWith("Attempting to delete files in: "));
            QVERIFY(desk.prompter.boxes.first().text.endsWith("*.*"));
        }
        QVERIFY2(desk.prompter.lastText().startsWith(outcome), qPrintable(desk.prompter.lastText()));
        QCOMPARE(desk.prompter.boxes.last().icon, done ? Icon::Information : Icon::Critical);
        QCOMPARE(filesIn(outbox), done ? QStringList() : files);
        // The form comes back fresh after a delete, and is left alone when the send directory is unknown.
        QCOMPARE(launcher.isNull(), reloaded);
        auto *shown = desk.navigator.loaded<Rodiruverezer>();
        QVERIFY(shown && shown->isVisible());
        QVERIFY(listed(shown).isEmpty());
    }

    void handOverButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("windows");
        QTest::addColumn<QString>("keyFailure");
        QTest::addColumn<QStringList>("raised");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("boxes");
        QTest::addRow("WinTNC before Term") << "Command13" << QStringList{"Term", "WinTNC V 2.12"} << ""
                                            << QStringList{"WinTNC V 2.12"} << QStringList() << 0;
        QTest::addRow("no packet program") << "Command13" << QStringList{"Terminal"} << "" << QStringList()
                                           << QStringList() << 1;
        QTest::addRow("portal") << "Command18" << QStringList{"telnet server"} << "" << QStringList{"telnet server"}
                                << QStringList() << 0;
        QTest::addRow("alt/tab") << "Command10" << QStringList() << "" << QStringList()
                                 << QStringList{"alt+tab"} << 0;
        QTest::addRow("alt/tab refused") << "Command10" << QStringList() << "no display" << QStringList()
                                         << QStringList() << 1;
    }
    void handOverButtons()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, windows);
        QFETCH(QString, keyFailure);
        QFETCH(QStringList, raised);
        QFETCH(QStringList, keys);
        QFETCH(int, boxes);
        TestDesk desk;
        desk.desktop.windows = QSet<QString>(windows.begin(), windows.end());
        desk.desktop.keyFailure = keyFailure;
        TestDesk::click(desk.navigator.open<Rodiruverezer>(), button);
        QCOMPARE(desk.desktop.raised, raised);
        QCOMPARE(desk.desktop.keys, keys);
        QCOMPARE(desk.prompter.boxes.size(), boxes);
        if (boxes) {
            QCOMPARE(desk.prompter.boxes.first().icon, Icon::Exclamation);
            if (!keyFailure.isEmpty())
                QVERIFY(desk.prompter.lastText().contains(keyFailure));
        }
    }

    void exitReturnsToTheMainMenu()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "SEND");
        auto *launcher = desk.navigator.loaded<Rodiruverezer>();
        QVERIFY(launcher && launcher->isVisible());
        QVERIFY(launcher->windowFlags().testFlag(Qt::FramelessWindowHint));

        TestDesk::click(launcher, "Command5");
        QVERIFY(!desk.navigator.loaded<Rodiruverezer>());
        QCOMPARE(desk.navigator.loaded<MainMenu>(), menu);
        QVERIFY(menu->isVisible());
        QVERIFY(!buttonOf(menu, "testprogram")->isVisible());
    }

    void programsStandUnderTheirHeadings()
    {
        TestDesk desk;
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        launcher->show();
        TestDesk::settle();
        const auto top = [launcher](const char *name) {
            auto *widget = launcher->findChild<QWidget *>(QLatin1String(name));
            return widget ? widget->geometry().top() : -1;
        };
        // Communication programs first, then the "Modem Center" heading, then the modem programs.
        QVERIFY(top("Label2") >= 0 && top("Label4") >= 0);
        QVERIFY(top("Label2") < top("Command1"));
        QVERIFY(top("Easyterm") < top("Label4"));
        QVERIFY(top("Label4") < top("Command16"));
        QVERIFY(top("Command16") < top("serialswitch"));
        QCOMPARE(launcher->findChildren<QLabel *>(QStringLiteral("Label4")).size(), 1);
    }

    void programPathParts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("directory"); // "<none>" when there is none
        QTest::addRow("linux") << "/usr/local/bin/direwolf" << "direwolf" << "/usr/local/bin";
        QTest::addRow("windows") << "C:\\Radio\\VarAC\\VarAC.exe" << "VarAC.exe" << "C:\\Radio\\VarAC";
        QTest::addRow("windows drive root") << "C:\\npr.exe" << "npr.exe" << "C:";
        QTest::addRow("mixed separators") << "C:\\Program Files/UZ7HO\\sm64.exe" << "sm64.exe"
                                          << "C:\\Program Files/UZ7HO";
        QTest::addRow("linux root") << "/direwolf" << "direwolf" << "/";
        QTest::addRow("blank") << "blank" << "blank" << "<none>";
        QTest::addRow("empty") << "" << "" << "<none>";
        QTest::addRow("directory only") << "/opt/radio/" << "" << "/opt/radio";
    }
    void programPathParts()
    {
        QFETCH(QString, stored);
        QFETCH(QString, fileName);
        QFETCH(QString, directory);
        QCOMPARE(ProgramPath::fileName(stored), fileName);
        QCOMPARE(ProgramPath::directory(stored).value_or("<none>"), directory);
    }

    void watchdogFreesTheButtonWhenTheProgramStops_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("sound");
        for (int i = 0; i < int(std::size(programs)); ++i) {
            QTest::addRow("%s found running", programs[i].start) << i << "found running" << true;
            QTest::addRow("%s launched, sound off", programs[i].start) << i << "launched" << false;
            QTest::addRow("%s launched", programs[i].start) << i << "launched" << true;
        }
    }
    void watchdogFreesTheButtonWhenTheProgramStops()
    {
        QFETCH(int, index);
        QFETCH(QString, how);
        QFETCH(bool, sound);
        const Program &program = programs[index];
        UnattendedDesk u;
        TestDesk &desk = u.desk;
        u.station.watchdog().setLookInterval(5);
        writeFile(desk.files.path(Setting::SoundSettings), sound ? "1\r\n" : "0\r\n");
        installProgram(desk, program, true);
        const QString name = QLatin1String(program.fileName);
        // A program the desktop opens, or one found running, is looked up by name.
        qint64 pid = desk.processes.nextPid;
        if (how == "found running" || program.opened) {
            pid = 7000 + index;
            u.watch.running.insert(name.toLower(), pid);
        }
        if (how == "found running")
            desk.processes.running << name;
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        TestDesk::click(launcher, program.start);
        TRY_VERIFY(u.watch.watched.contains(pid));
        QVERIFY(!buttonOf(launcher, program.start)->isEnabled());
        const qsizetype spokenBefore = desk.speaker.spoken.size();

        u.watch.end(pid);
        QVERIFY(buttonOf(launcher, program.start)->isEnabled());
        QCOMPARE(readAll(besideProgram(desk, program.stateFile)), "#TRUE#\r\n"); // as Reset leaves it
        auto *notice = launcher->findChild<QLabel *>("watchdogNotice");
        QVERIFY(notice && !notice->isHidden());
        QCOMPARE(notice->text(), name + " has stopped");
        QCOMPARE(desk.speaker.spoken.mid(spokenBefore), sound ? QStringList{name + " has stopped"} : QStringList());
        const QStringList events = u.loggedEvents();
        QVERIFY(events.contains(name + " has stopped"));
        const QString first = how == "found running" ? "launcher found " + name + " running"
                              : program.opened       ? "launcher opened " + name
                                                     : QString("launcher started %1 (process %2)").arg(name).arg(pid);
        QCOMPARE(events.first(), first);
        QVERIFY(reload(desk) && buttonOf(desk.navigator.loaded<Rodiruverezer>(), program.start)->isEnabled());
    }

    void aStopWhileTheLauncherIsClosedFreesTheButtonOnItsNextLoad()
    {
        UnattendedDesk u;
        TestDesk &desk = u.desk;
        installProgram(desk, programs[0], true);
        const qint64 pid = desk.processes.nextPid;
        TestDesk::click(desk.navigator.open<Rodiruverezer>(), programs[0].start);
        desk.navigator.unload<Rodiruverezer>();
        TestDesk::settle();
        u.watch.end(pid);
        QCOMPARE(readAll(besideProgram(desk, programs[0].stateFile)), "#TRUE#\r\n");
        QVERIFY(buttonOf(desk.navigator.open<Rodiruverezer>(), programs[0].start)->isEnabled());
    }

    // A start that fails leaves a line in the station log with the reason,
    // and nothing is watched.
    void aFailedStartIsLoggedWithItsReason_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(programs)); ++i)
            QTest::addRow("%s", programs[i].start) << i;
    }
    void aFailedStartIsLoggedWithItsReason()
    {
        QFETCH(int, index);
        const Program &program = programs[index];
        UnattendedDesk u;
        installProgram(u.desk, program, true);
        u.desk.processes.failStarts = true;
        TestDesk::click(u.desk.navigator.open<Rodiruverezer>(), program.start);
        QCOMPARE(u.loggedEvents(), QStringList{QString("launcher could not start %1: %2")
                                                   .arg(QLatin1String(program.fileName),
                                                        program.opened ? "cannot open" : "cannot start")});
        QVERIFY(u.watch.watched.isEmpty());
    }

    void aProgramThatCannotBeWatchedIsSaid()
    {
        UnattendedDesk u;
        u.watch.refuse = true;
        installProgram(u.desk, programs[0], true);
        auto *launcher = u.desk.navigator.open<Rodiruverezer>();
        TestDesk::click(launcher, programs[0].start);
        auto *notice = launcher->findChild<QLabel *>("watchdogNotice");
        QVERIFY(notice->text().contains(QLatin1String(programs[0].fileName) + " is not watched: watch refused"));
        QVERIFY(!buttonOf(launcher, programs[0].start)->isEnabled()); // started all the same
    }

    void withTheWatchdogOffNothingIsWatched()
    {
        UnattendedDesk u;
        UnattendedSettings off = u.station.settings();
        off.watchdog = false;
        QVERIFY(u.station.apply(off).ok());
        installProgram(u.desk, programs[0], true);
        auto *launcher = u.desk.navigator.open<Rodiruverezer>();
        TestDesk::click(launcher, programs[0].start);
        QVERIFY(u.watch.watched.isEmpty());
        QVERIFY(launcher->findChild<QLabel *>("watchdogNotice")->isHidden());
        QCOMPARE(readAll(besideProgram(u.desk, programs[0].stateFile)), "False\r\n");
    }

    void resetsAndDeletesAreLogged()
    {
        UnattendedDesk u;
        TestDesk &desk = u.desk;
        const QString send = desk.makeSettingDir(Setting::SendDir, "send");
        writeFile(send + "/MAIL - out.dat", "1,2,3,4\r\n");
        auto *launcher = desk.navigator.open<Rodiruverezer>();
        TestDesk::click(launcher, programs[0].reset);
        QCOMPARE(launcher->DeleteAllFiles(), 1);
        const QStringList events = u.loggedEvents();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0), "launcher reset WINTNC");
        QVERIFY2(events.at(1).startsWith("deleted outbox file MAIL - out.dat to the trash: "), qPrintable(events.at(1)));
    }
};

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
