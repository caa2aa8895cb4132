#include "TestDesk.h"
#include "compose/FrmDecide.h"
#include "compose/MailForm.h"
#include "compose/MessageFile.h"
#include "compose/SendFile.h"
#include "launcher/Rodiruverezer.h"
#include "receive/InboxForm.h"
#include "receive/ReadForm.h"
#include "receive/ReceiveFile.h"
#include "receive/Received.h"
#include "receive/SaveForm.h"
#include "setup/DirChange.h"
#include "shell/EnterForm.h"
#include "shell/FrSettings.h"
#include "shell/MainMenu.h"
#include "shell/TaskProgress.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStyleHints>
#include <QWindow>

#include <optional>

namespace {

// A desk with its three working folders set, where mail can arrive.
struct Station : DeskStation {
    void dropMail(const QString &name) const
    {
        writeFile(receive + u'/' + name, MessageFile::mailRecordLine("TO: AB", "SUBJECT: X", "HELLO", "FROM: C"));
    }
};

QWidget *loadedScreen(const TestDesk &desk, const QString &objectName)
{
    for (QWidget *screen : desk.navigator.loadedScreens())
        if (screen->objectName() == objectName)
            return screen;
    return nullptr;
}

void pickFirst(QWidget *list)
{
    auto *files = child<QListWidget>(list, "File1");
    QVERIFY(files->count() > 0);
    files->setCurrentRow(0);
}

// Runs "screen:button" steps as an operator would press them; "received:pick"
// picks the first listed file.
void walk(TestDesk &desk, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QString screenName = step.section(u':', 0, 0);
        const QString action = step.section(u':', 1);
        QWidget *screen = loadedScreen(desk, screenName);
        QVERIFY2(screen && screen->isVisible(), qPrintable(step + ": the screen is not up"));
        if (action == u"pick")
            pickFirst(screen);
        else
            TestDesk::click(screen, action);
        if (QTest::currentTestFailed())
            return;
    }
}

int doubleClickInterval()
{
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

// A screen ignores clicks for one double-click interval after it shows. The
// clicks that must land inside it follow the show at once, but a loaded
// machine can stall longer than the usual 400 ms in between: for one test
// the interval is long enough that only a fault lets such a click through.
class LongDoubleClickInterval
{
public:
    LongDoubleClickInterval()
        : m_old(doubleClickInterval())
    {
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(2000);
    }
    ~LongDoubleClickInterval() { QGuiApplication::styleHints()->setMouseDoubleClickInterval(m_old); }
    LongDoubleClickInterval(const LongDoubleClickInterval &) = delete;
    LongDoubleClickInterval &operator=(const LongDoubleClickInterval &) = delete;

private:
    int m_old;
};

// What the second click of a double-click delivers to the widget under the
// pointer: a press, the double-click event, a release.
void secondClick(QWidget *widget)
{
    QTest::mousePress(widget, Qt::LeftButton);
    QTest::mouseDClick(widget, Qt::LeftButton);
    QTest::mouseRelease(widget, Qt::LeftButton);
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    // After the self-test the full main menu rebuilds the reader, so a real
    // mail is read with its reply, reset and auto-save buttons.
    void aRealMailAfterTheSelfTestHasEveryButton()
    {
        Station station;
        TestDesk &desk = station.desk;
        desk.navigator.open<EnterForm>();
        walk(desk, {"ENTER:Command3", "mainmenu:testprogram", "received:Cmdexit"});
        QVERIFY(!desk.navigator.loaded<InboxForm>());

        station.dropMail("MAIL - 150000.txt");
        QFile::remove(station.receive + "/MAIL - 140509.txt"); // the unread test mail
        walk(desk, {"mainmenu:RECEIVE", "received:pick", "received:Command2"});
        auto *reader = desk.navigator.loaded<InboxForm>();
        QVERIFY(reader && reader->isVisible());
        for (const char *name : {"Command1", "Command3", "cmdAutoSaveToggle"})
            QVERIFY2(child<QPushButton>(reader, name)->isVisible(), name);
    }

    // A mail read from the self-test's list still shows when the list is
    // left: the menu's rebuild closes the reader as its exit would.
    void aReaderClosedByTheMenuKeepsItsMail_data()
    {
        QTest::addColumn<bool>("autoSave");
        QTest::addRow("auto-save on: archived") << true;
        QTest::addRow("auto-save off: not archived") << false;
    }
    void aReaderClosedByTheMenuKeepsItsMail()
    {
        QFETCH(bool, autoSave);
        Station station;
        TestDesk &desk = station.desk;
        QVERIFY(desk.files.writePrintLine(Setting::AutoSaveStore, autoSave ? "ON" : "OFF"));
        desk.navigator.open<EnterForm>();
        walk(desk, {"ENTER:Command3", "mainmenu:testprogram"});
        station.dropMail("MAIL - 000001.txt");
        desk.navigator.loaded<Received>()->refreshList();
        walk(desk, {"received:pick", "received:Command2"});
        QVERIFY(desk.navigator.loaded<InboxForm>()->isVisible());

        walk(desk, {"received:Cmdexit"});
        QVERIFY(!desk.navigator.loaded<InboxForm>());
        const QByteArray archive = readAll(station.save + "/mail_26-12-07_1405.dat");
        QCOMPARE(archive.contains("HELLO"), autoSave);
    }

    void aClickOnAScreenThatJustAppearedPressesNothing_data()
    {
        QTest::addColumn<bool>("doubleClick");
        QTest::addRow("single click") << false;
        QTest::addRow("double click") << true;
    }
    void aClickOnAScreenThatJustAppearedPressesNothing()
    {
        QFETCH(bool, doubleClick);
        const LongDoubleClickInterval interval;
        TestDesk desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        auto *explorer = child<QPushButton>(menu, "Explorer");
        QTest::mouseClick(explorer, Qt::LeftButton);
        if (doubleClick)
            secondClick(explorer);
        QCOMPARE(desk.desktop.fileManagerOpened, 0);

        // A deliberate click, once the interval has passed, presses it.
        QTest::qWait(doubleClickInterval() + 50);
        QTest::mouseClick(explorer, Qt::LeftButton);
        QCOMPARE(desk.desktop.fileManagerOpened, 1);

        // Bringing a visible screen to the front counts as appearing again.
        desk.navigator.open<MainMenu>();
        QTest::mouseClick(explorer, Qt::LeftButton);
        QCOMPARE(desk.desktop.fileManagerOpened, 1);
    }

    // The double-click that reads a mail lands its second click on the
    // reader's reply button: nothing is posted.
    void doubleClickOnReadMessagePostsNoReply()
    {
        const LongDoubleClickInterval interval;
        Station station;
        TestDesk &desk = station.desk;
        station.dropMail("MAIL - 150000.txt");
        MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        walk(desk, {"mainmenu:RECEIVE", "received:pick"});
        auto *list = desk.navigator.loaded<Received>();
        QTest::qWait(doubleClickInterval() + 50);

        QTest::mouseClick(child<QPushButton>(list, "Command2"), Qt::LeftButton);
        QPointer<InboxForm> reader = desk.navigator.loaded<InboxForm>();
        QVERIFY(reader && reader->isVisible());
        QPointer<QPushButton> reply = child<QPushButton>(reader, "Command1");
        secondClick(reply);
        TestDesk::settle();
        QVERIFY(QDir(station.send).isEmpty());
        QVERIFY2(reader && desk.navigator.loaded<InboxForm>() == reader, "the reader went away");

        QTest::qWait(doubleClickInterval() + 50);
        QTest::mouseClick(reply, Qt::LeftButton);
        TestDesk::settle();
        QCOMPARE(QDir(station.send).entryList(QDir::Files), QStringList{"MAIL - 140509.txt"});
    }

    void closeRequestsNeverEndTheProgram_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("front"); // the screen in front afterwards
        QTest::addColumn<bool>("windowSystem");
        const QList<std::pair<QString, QString>> screens = {
            {"ENTER", "ENTER"},           {"mainmenu", "ENTER"},         {"DIRCHANGE", "ENTER"},
            {"frsettings", "mainmenu"},   {"frmdecide", "frmdecide"},    {"mailform", "mainmenu"},
            {"sendfile", "mainmenu"},     {"RODIRUVEREZER", "mainmenu"}, {"received", "mainmenu"},
            {"inboxform", "mainmenu"},    {"receivefile", "mainmenu"},   {"saveform", "mainmenu"},
            {"readform", "mainmenu"},
        };
        for (const auto &[screen, front] : screens) {
            QTest::addRow("%s, close()", qPrintable(screen)) << screen << front << false;
            QTest::addRow("%s, window system", qPrintable(screen)) << screen << front << true;
        }
    }
    void closeRequestsNeverEndTheProgram()
    {
        QFETCH(QString, screen);
        QFETCH(QString, front);
        QFETCH(bool, windowSystem);
        Station station;
        TestDesk &desk = station.desk;
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());

        const QHash<QString, std::function<QWidget *()>> openers = {
            {"ENTER", [&] { return desk.navigator.open<EnterForm>(); }},
            {"mainmenu", [&] { return MainMenu::open(desk.context, MainMenu::Opener::Reenter); }},
            {"DIRCHANGE", [&] { return desk.navigator.open<DirChange>(); }},
            {"frsettings", [&] { return desk.navigator.open<FrSettings>(); }},
            {"frmdecide", [&] { return desk.navigator.open<FrmDecide>(); }},
            {"mailform", [&] { return desk.navigator.open<MailForm>(); }},
            {"sendfile", [&] { return desk.navigator.open<SendFile>(); }},
            {"RODIRUVEREZER", [&] { return desk.navigator.open<Rodiruverezer>(); }},
            {"received", [&] { return desk.navigator.open<Received>(); }},
            {"inboxform", [&] { return desk.navigator.open<InboxForm>(); }},
            {"receivefile", [&] { return desk.navigator.open<ReceiveFile>(); }},
            {"saveform", [&] { return desk.navigator.open<SaveForm>(); }},
            {"readform", [&] { return desk.navigator.open<ReadForm>(); }},
        };
        QWidget *shown = openers.value(screen)();
        QCOMPARE(shown->objectName(), screen);
        QVERIFY(shown->isVisible());

        if (!windowSystem) {
            QVERIFY(!shown->close());
        } else {
            // What a window manager's close request turns into.
            QCloseEvent request;
            QCoreApplication::sendEvent(shown->windowHandle(), &request);
            QVERIFY(!request.isAccepted());
        }
        TestDesk::settle();

        QCOMPARE(desk.quits, 0);
        QWidget *inFront = desk.navigator.frontScreen();
        QVERIFY(inFront && inFront->isVisible());
        QCOMPARE(inFront->objectName(), front);
        // A screen without a way out simply stays.
        if (front == screen)
            QCOMPARE(inFront, shown);
        // Every way back to the full menu keeps the arrivals announced.
        if (front == u"mainmenu") {
            auto *list = desk.navigator.loaded<Received>();
            QVERIFY(list && list->monitor().IsRunning());
        }
    }

    // A screen at work (progress shown, the window still answering) or
    // waiting on a dialog is not pulled away by a close request.
    void aCloseRequestLeavesABusyScreenAlone_data()
    {
        QTest::addColumn<QString>("busy");
        QTest::addRow("long work") << "work";
        QTest::addRow("dialog up") << "dialog";
        QTest::addRow("dialog up before the exit is pressed") << "late dialog";
    }
    void aCloseRequestLeavesABusyScreenAlone()
    {
        QFETCH(QString, busy);
        Station station;
        TestDesk &desk = station.desk;
        QPointer<Received> list = desk.navigator.open<Received>();
        {
            std::optional<TaskProgress> work;
            QDialog dialog;
            dialog.setModal(true);
            if (busy == u"work")
                work.emplace(list, "Receiving");
            else if (busy == u"dialog")
                dialog.show();
            QVERIFY(!list->close());
            if (busy == u"late dialog")
                dialog.show();
            TestDesk::settle();
            QVERIFY(list && desk.navigator.loaded<Received>() == list);
            QVERIFY(list->isVisible());
        }
        // Once the work is done, the same request leaves as the exit button does.
        QVERIFY(!list->close());
        TestDesk::settle(); // the exit is pressed
        TestDesk::settle(); // the list it unloaded is gone
        QCOMPARE(desk.navigator.frontScreen()->objectName(), "mainmenu");
        QVERIFY(!list);
    }

    // The received list loaded hidden for the monitor stays loaded, and
    // the menu stays in front, whatever closes it.
    void aCloseRequestOnTheHiddenListDoesNothing()
    {
        Station station;
        TestDesk &desk = station.desk;
        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        QPointer<Received> list = desk.navigator.loaded<Received>();
        QVERIFY(list && !list->isVisible());
        QVERIFY(!list->close());
        TestDesk::settle();
        TestDesk::settle();
        QVERIFY(list && desk.navigator.loaded<Received>() == list);
        QVERIFY(!list->isVisible());
        QCOMPARE(desk.navigator.frontScreen(), menu);
    }

    void everyWayToTheFullMenuKeepsTheMonitorRunning_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addRow("self-test, list exit")
            << QStringList{"ENTER:Command3", "mainmenu:testprogram", "received:Cmdexit"};
        QTest::addRow("self-test, mail read")
            << QStringList{"ENTER:Command3", "mainmenu:testprogram", "received:pick", "received:Command2",
                           "inboxform:Command2"};
        QTest::addRow("settings, return") << QStringList{"ENTER:Command3", "mainmenu:SETTINGS", "frsettings:Command1"};
        QTest::addRow("setup, settings, return")
            << QStringList{"ENTER:Command1", "DIRCHANGE:Command1", "mainmenu:SETTINGS", "frsettings:Command1"};
        QTest::addRow("received list exit on the full menu")
            << QStringList{"ENTER:Command3", "mainmenu:SETTINGS", "frsettings:Command1", "mainmenu:RECEIVE",
                           "received:Cmdexit"};
        QTest::addRow("saved messages return")
            << QStringList{"ENTER:Command3", "mainmenu:SETTINGS", "frsettings:Command1", "mainmenu:RETRIEVE",
                           "saveform:exit"};
        QTest::addRow("composer exit")
            << QStringList{"ENTER:Command3", "mainmenu:SETTINGS", "frsettings:Command1", "mainmenu:PACKETMAIL",
                           "frmdecide:Cmdmail", "mailform:Command2"};
        QTest::addRow("launcher exit") << QStringList{"ENTER:Command3", "mainmenu:SETTINGS", "frsettings:Command1",
                                                      "mainmenu:SEND", "RODIRUVEREZER:Command5"};
        QTest::addRow("exit, re-enter") << QStringList{"ENTER:Command3", "mainmenu:exit", "ENTER:reenter"};
    }
    void everyWayToTheFullMenuKeepsTheMonitorRunning()
    {
        QFETCH(QStringList, steps);
        Station station;
        TestDesk &desk = station.desk;
        desk.navigator.open<EnterForm>();
        walk(desk, steps);
        if (QTest::currentTestFailed())
            return;

        auto *menu = desk.navigator.loaded<MainMenu>();
        QVERIFY(menu && menu->isVisible());
        QVERIFY(child<QPushButton>(menu, "PACKETMAIL")->isVisible());
        auto *list = desk.navigator.loaded<Received>();
        QVERIFY2(list, "the received list hosting the monitor is not loaded");
        QVERIFY(list->monitor().IsRunning());
        QCOMPARE(list->monitor().folderpath, station.receive);

        // An arrival now is announced on the menu.
        station.dropMail("MAIL - 160000.txt");
        list->monitor().scan();
        QCOMPARE(child<QLabel>(menu, "Label1")->text(), "A Message Has Arrived ");
    }

    // A list loaded before the receive folder was set watches nothing; the
    // full menu starts it anew.
    void aFolderSetLaterIsWatchedFromTheFullMenu()
    {
        TestDesk desk;
        auto *early = desk.navigator.load<Received>();
        QVERIFY(!early->monitor().IsRunning());
        const QString receive = desk.makeDir("receive");
        QVERIFY(desk.files.writePrintLine(Setting::ReceiveDir, receive));
        MainMenu::open(desk.context, MainMenu::Opener::WorkingScreen);
        auto *list = desk.navigator.loaded<Received>();
        QVERIFY(list && list->monitor().IsRunning());
        QCOMPARE(list->monitor().folderpath, receive);
    }
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
