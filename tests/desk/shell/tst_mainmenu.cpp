#include "TestDesk.h"
#include "shell/EnterForm.h"
#include "shell/MainMenu.h"
#include "shell/Modsavemodule.h"
#include "shell/Modsoundcontrol.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace {

const QStringList allButtons = {"PACKETMAIL", "SEND", "RECEIVE", "RETRIEVE", "SETTINGS", "testprogram",
                                "exit", "Explorer", "cmdopenstartmenu", "checktnc", "CmdNPRSYSTEM",
                                "cmdsoundtoggle", "cmdAutoSaveToggle"};

QStringList visibleButtons(QWidget *menu)
{
    QStringList visible;
    for (const QString &name : allButtons)
        if (menu->findChild<QPushButton *>(name)->isVisible())
            visible << name;
    return visible;
}

QPushButton *buttonOf(QWidget *screen, const char *name)
{
    return screen->findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class TestMainMenu : public QObject
{
    Q_OBJECT

private slots:
    void openersDecideTheVisibleSet_data()
    {
        QTest::addColumn<int>("opener");
        QTest::addColumn<QStringList>("visible");
        QTest::addRow("entry form") << int(MainMenu::Opener::Enter)
                                    << QStringList{"SETTINGS", "testprogram", "exit"};
        QTest::addRow("directory setup")
            << int(MainMenu::Opener::DirectorySetup)
            << QStringList{"SETTINGS", "testprogram", "exit", "CmdNPRSYSTEM", "cmdsoundtoggle", "cmdAutoSaveToggle"};
        QStringList full = allButtons;
        full.removeOne("testprogram");
        QTest::addRow("re-enter") << int(MainMenu::Opener::Reenter) << full;
        QTest::addRow("working screen") << int(MainMenu::Opener::WorkingScreen) << full;
    }
    void openersDecideTheVisibleSet()
    {
        QFETCH(int, opener);
        QFETCH(QStringList, visible);
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener(opener));
        QVERIFY(menu->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(visibleButtons(menu), visible);
        QVERIFY(!menu->findChild<QCheckBox *>("chksoundtoggle")->isVisible());
        QVERIFY(!menu->findChild<QCheckBox *>("chkAutoSave")->isVisible());
    }

    void enterExitAndReenter()
    {
        TestDesk desk;
        TestDesk::click(desk.navigator.open<EnterForm>(), "Command3");
        QCOMPARE(desk.speaker.spoken, QStringList{"Welcome"});
        QVERIFY(!desk.navigator.loaded<EnterForm>());
        auto *menu = desk.navigator.loaded<MainMenu>();
        QVERIFY(menu && menu->isVisible());
        QCOMPARE(visibleButtons(menu), (QStringList{"SETTINGS", "testprogram", "exit"}));

        TestDesk::click(menu, "exit");
        QVERIFY(!desk.navigator.loaded<MainMenu>());
        auto *enter = desk.navigator.loaded<EnterForm>();
        QVERIFY(enter && enter->isVisible());
        QVERIFY(buttonOf(enter, "reenter")->isVisible());

        TestDesk::click(enter, "reenter");
        menu = desk.navigator.loaded<MainMenu>();
        QVERIFY(menu && menu->isVisible());
        QVERIFY(!visibleButtons(menu).contains("testprogram"));
        QVERIFY(visibleButtons(menu).contains("SEND"));
    }

    void soundButton_data()
    {
        QTest::addColumn<bool>("startsOn");
        QTest::addColumn<bool>("answer");
        QTest::addRow("on, Yes turns it off") << true << true;
        QTest::addRow("off, Yes turns it on") << false << true;
        QTest::addRow("on, No changes nothing") << true << false;
        QTest::addRow("off, No changes nothing") << false << false;
    }
    void soundButton()
    {
        QFETCH(bool, startsOn);
        QFETCH(bool, answer);
        TestDesk desk;
        QVERIFY(desk.files.writePrintLine(Setting::SoundState, startsOn ? QStringLiteral("ON") : QStringLiteral("OFF")));
        QVERIFY(Modsoundcontrol(desk.files).storeSoundSetting(startsOn));
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        // Rebuilding the menu shows the stored state without touching the mute or speaking.
        QCOMPARE(desk.desktop.muteToggles, 0);
        QVERIFY(desk.speaker.spoken.isEmpty());
        QCOMPARE(buttonOf(menu, "cmdsoundtoggle")->text(), startsOn ? "S&ound ON" : "S&ound OFF");

        desk.prompter.answers.enqueue(answer);
        TestDesk::click(menu, "cmdsoundtoggle");
        QCOMPARE(desk.prompter.boxes.first().title, QStringLiteral("Confirm Reset"));
        const bool nowOn = answer ? !startsOn : startsOn;
        QCOMPARE(Modsoundcontrol(desk.files).isSoundOn(), nowOn);
        QCOMPARE(desk.files.readLine(Setting::SoundState).value(), nowOn ? "ON" : "OFF");
        if (answer) {
            QCOMPARE(desk.desktop.muteToggles, 1);
            QCOMPARE(desk.speaker.spoken, QStringList{nowOn ? "Sound on" : "Sound off"});
            QVERIFY(!desk.navigator.loaded<MainMenu>());
            QVERIFY(buttonOf(desk.navigator.loaded<EnterForm>(), "reenter")->isVisible());
        } else {
            QCOMPARE(desk.desktop.muteToggles, 0);
            QVERIFY(desk.speaker.spoken.isEmpty());
            QCOMPARE(desk.navigator.loaded<MainMenu>(), menu);
        }
    }

    // The handler's prefix is followed by the system's own reason.
    void soundButtonSaysWhyTheStateIsNotStored_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addRow("folder in its place") << "folder in its place";
        QTest::addRow("its folder is a file") << "its folder is a file";
    }
    void soundButtonSaysWhyTheStateIsNotStored()
    {
        QFETCH(QString, how);
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        const QString path = desk.files.path(Setting::SoundState);
        QVERIFY(blockWritesAt(path, how));
        desk.prompter.answers.enqueue(true);
        TestDesk::click(menu, "cmdsoundtoggle");
        const QString shown = desk.prompter.lastText();
        QVERIFY2(shown.startsWith("Error in cmdSoundToggle_Click: "), qPrintable(shown));
        QVERIFY2(namesRefusal(shown, path), qPrintable(shown));
        QCOMPARE(desk.prompter.boxes.last().icon, Prompter::Icon::Exclamation);
        // The handler ends there: the menu stays.
        QCOMPARE(desk.navigator.loaded<MainMenu>(), menu);
    }

    // The stored switch is what the next start speaks by: a failed store is
    // said with the system's reason, never called saved.
    void soundSwitchSaysWhenItIsNotSaved_data()
    {
        QTest::addColumn<QString>("muteFailure");
        QTest::addRow("mute follows") << "";
        QTest::addRow("mute fails too") << "neither pactl nor amixer is installed";
    }
    void soundSwitchSaysWhenItIsNotSaved()
    {
        QFETCH(QString, muteFailure);
        TestDesk desk;
        desk.desktop.muteFailure = muteFailure;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        const QString path = desk.files.path(Setting::SoundSettings);
        QVERIFY(blockWritesAt(path, QStringLiteral("folder in its place")));
        desk.prompter.answers.enqueue(true);
        TestDesk::click(menu, "cmdsoundtoggle");

        QStringList said;
        for (const auto &box : desk.prompter.boxes)
            if (!box.question)
                said << box.text;
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains("The sound setting could not be saved: "), qPrintable(said.first()));
        QVERIFY2(namesRefusal(said.first(), path), qPrintable(said.first()));
        QVERIFY2(!said.first().contains("is saved"), qPrintable(said.first()));
        QCOMPARE(said.first().contains(muteFailure), true);
        QCOMPARE(desk.prompter.boxes.last().icon, Prompter::Icon::Exclamation);
    }

    void soundButtonSaysWhyTheMuteStaysAsItWas_data()
    {
        QTest::addColumn<QString>("muteFailure");
        QTest::addColumn<bool>("startsOn");
        QTest::addRow("no mixer, turning off") << "neither pactl nor amixer is installed" << true;
        QTest::addRow("no mixer, turning on") << "neither pactl nor amixer is installed" << false;
        QTest::addRow("mixer works") << "" << true;
    }
    void soundButtonSaysWhyTheMuteStaysAsItWas()
    {
        QFETCH(QString, muteFailure);
        QFETCH(bool, startsOn);
        TestDesk desk;
        desk.desktop.muteFailure = muteFailure;
        QVERIFY(desk.files.writePrintLine(Setting::SoundState, startsOn ? QStringLiteral("ON") : QStringLiteral("OFF")));
        QVERIFY(Modsoundcontrol(desk.files).storeSoundSetting(startsOn));
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "cmdsoundtoggle");

        // The switch is stored and spoken whether or not the system mute followed.
        QCOMPARE(Modsoundcontrol(desk.files).isSoundOn(), !startsOn);
        QCOMPARE(desk.files.readLine(Setting::SoundState).value(), startsOn ? "OFF" : "ON");
        QCOMPARE(desk.speaker.spoken, QStringList{startsOn ? "Sound off" : "Sound on"});
        QVERIFY(buttonOf(desk.navigator.loaded<EnterForm>(), "reenter")->isVisible());
        QStringList said;
        for (const auto &box : desk.prompter.boxes)
            if (!box.question)
                said << box.text;
        if (muteFailure.isEmpty()) {
            QVERIFY2(said.isEmpty(), qPrintable(said.join('|')));
        } else {
            QCOMPARE(said.size(), 1);
            QVERIFY(said.first().startsWith("The system mute could not be changed: "));
            QVERIFY(said.first().contains(muteFailure));
            QCOMPARE(desk.prompter.boxes.last().icon, Prompter::Icon::Exclamation);
        }
    }

    void soundButtonReportsAFailedWrite()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        // A directory where the state file should be makes the write fail.
        QDir().mkpath(desk.files.path(Setting::SoundState));
        TestDesk::click(menu, "cmdsoundtoggle");
        QVERIFY(desk.prompter.lastText().startsWith("Error in cmdSoundToggle_Click: "));
        QCOMPARE(desk.navigator.loaded<MainMenu>(), menu);
    }

    void autoSavePersistsAcrossReloads()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "cmdAutoSaveToggle");
        QCOMPARE(readAll(desk.files.path(Setting::AutoSaveStore)), QByteArray("1\r\n"));
        QCOMPARE(buttonOf(menu, "cmdAutoSaveToggle")->text(), "Receive &Auto Save ON");

        desk.navigator.unload<MainMenu>();
        TestDesk::settle();
        menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        QVERIFY(menu->findChild<QCheckBox *>("chkAutoSave")->isChecked());
        QCOMPARE(buttonOf(menu, "cmdAutoSaveToggle")->text(), "Receive &Auto Save ON");
        QCOMPARE(buttonOf(menu, "cmdAutoSaveToggle")->property("backgroundColour").value<QColor>(), QColor(0, 255, 0));

        TestDesk::click(menu, "cmdAutoSaveToggle");
        QCOMPARE(readAll(desk.files.path(Setting::AutoSaveStore)), QByteArray("0\r\n"));
        QCOMPARE(buttonOf(menu, "cmdAutoSaveToggle")->text(), "Receive &Auto Save OFF");
        QCOMPARE(buttonOf(menu, "cmdAutoSaveToggle")->property("backgroundColour").value<QColor>(),
                 QColor(255, 200, 150));
    }

    void storedAutoSaveTexts_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("on");
        QTest::addRow("ON") << QByteArray("ON\r\n") << true;
        QTest::addRow(" on ") << QByteArray(" on \r\n") << true;
        QTest::addRow("1") << QByteArray("1\r\n") << true;
        QTest::addRow("0") << QByteArray("0\r\n") << false;
        QTest::addRow("2") << QByteArray("2\r\n") << false;
        QTest::addRow("OFF") << QByteArray("OFF\r\n") << false;
    }
    void storedAutoSaveTexts()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, on);
        TestDesk desk;
        QFile file(desk.files.path(Setting::AutoSaveLoad));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(Modsavemodule(desk.files, desk.clock).storedAutoSave(), std::optional<bool>(on));
    }

    void autoSaveArchive()
    {
        TestDesk desk;
        QVERIFY(desk.files.writePrintLine(Setting::SaveDir, desk.makeDir("save")));
        const Modsavemodule save(desk.files, desk.clock);
        QCOMPARE(Modsavemodule::archiveFileName(desk.clock.now()), "mail_26-12-07_1405.dat");
        QVERIFY(save.saveReceivedMessage({"TO: A", "SUBJECT: B", "line 1\r\nline, 2", "FROM: C"}));
        desk.clock.time = desk.clock.time.addSecs(30); // same minute: same file
        QVERIFY(save.saveReceivedMessage({"x", "y", "z", "w"}));
        QCOMPARE(readAll(desk.makeDir("save") + "/mail_26-12-07_1405.dat"),
                 QByteArray("TO: A,SUBJECT: B,\"line 1\r\nline, 2\",FROM: C\r\nx,y,z,w\r\n"));

        // No save directory: a message that names the failure, nothing written.
        TestDesk bare;
        const Outcome failure = Modsavemodule(bare.files, bare.clock).saveReceivedMessage({"a", "b", "c", "d"});
        QVERIFY(!failure && failure.error().contains("save directory"));

        // A save directory that is a file: the archive's folder cannot hold it.
        TestDesk blocked;
        const QString notAFolder = blocked.makeDir("plain") + "/file";
        writeFile(notAFolder, "x");
        QVERIFY(blocked.files.writePrintLine(Setting::SaveDir, notAFolder));
        const Outcome refused = Modsavemodule(blocked.files, blocked.clock).saveReceivedMessage({"a", "b", "c", "d"});
        QVERIFY(!refused);
        QFile plain(notAFolder + "/x.dat");
        QVERIFY(!plain.open(QIODevice::WriteOnly));
        QVERIFY2(refused.error().contains(plain.errorString()), qPrintable(refused.error()));
        QVERIFY2(refused.error().contains(QDir::toNativeSeparators(notAFolder)), qPrintable(refused.error()));
    }

    void shellConveniences()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);

        TestDesk::click(menu, "checktnc");
        QCOMPARE(desk.prompter.lastText(), "Neither WinTNC nor EasyTerm window found.");
        desk.desktop.windows = {"Term", "WinTNC V 2.12", "Terminal"};
        TestDesk::click(menu, "checktnc");
        QCOMPARE(desk.desktop.raised, QStringList{"WinTNC V 2.12"});
        desk.desktop.windows = {"Terminal", "Term"};
        TestDesk::click(menu, "checktnc");
        QCOMPARE(desk.desktop.raised.last(), "Term");

        const int boxes = desk.prompter.boxes.size();
        TestDesk::click(menu, "CmdNPRSYSTEM");
        QCOMPARE(desk.prompter.boxes.size(), boxes + 1);
        QCOMPARE(desk.prompter.boxes.last().icon, Prompter::Icon::Exclamation);
        desk.desktop.windows = {"telnet server"};
        TestDesk::click(menu, "CmdNPRSYSTEM");
        QCOMPARE(desk.desktop.raised.last(), "telnet server");

        TestDesk::click(menu, "cmdopenstartmenu");
        QCOMPARE(desk.desktop.keys, QStringList{"start menu"});
        desk.desktop.keyFailure = "no keyboard";
        TestDesk::click(menu, "cmdopenstartmenu");
        QCOMPARE(desk.prompter.lastText(), "Unable to open Start Menu: no keyboard");

        TestDesk::click(menu, "Explorer");
        QCOMPARE(desk.desktop.fileManagerOpened, 1);
    }

    void arrivalNotice()
    {
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        menu->showArrivalNotice("A Message Has Arrived ", "warning");
        QVERIFY(menu->findChild<QLabel *>("Label1")->isVisible());
        TestDesk::click(menu, "RECEIVE");
        QVERIFY(!menu->findChild<QLabel *>("Label1")->isVisible());
        QVERIFY(menu->findChild<QLabel *>("Label1")->text().isEmpty());
    }
};

QTEST_MAIN(TestMainMenu)
#include "tst_mainmenu.moc"
