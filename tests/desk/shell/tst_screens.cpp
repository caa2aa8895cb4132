// Every screen of the desk, walked as an operator without a mouse would,
// on a 1024x768 display.

#include "TestDesk.h"
#include "TestWaits.h"
#include "compose/FrmDecide.h"
#include "compose/MailForm.h"
#include "compose/SendFile.h"
#include "launcher/Rodiruverezer.h"
#include "receive/InboxForm.h"
#include "receive/ReadForm.h"
#include "receive/ReceiveFile.h"
#include "receive/Received.h"
#include "receive/SaveForm.h"
#include "setup/DirChange.h"
#include "setup/DirectoryBrowser.h"
#include "setup/DirectorySet.h"
#include "shell/EnterForm.h"
#include "shell/FrSettings.h"
#include "shell/MainMenu.h"
#include "shell/ScreenGuard.h"
#include "shell/WindowChrome.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <functional>

namespace {

const QRect display{0, 0, 1024, 768};

// How each screen is brought up, by the name a row of the tables uses.
// "DIRCHANGE/2" is the directory setup on its second tab.
QWidget *openScreen(DeskStation &station, const QString &name)
{
    TestDesk &desk = station.desk;
    const QString screen = name.section(u'/', 0, 0);
    QWidget *shown = nullptr;
    if (screen == u"ENTER")
        shown = desk.navigator.open<EnterForm>();
    else if (screen == u"mainmenu")
        shown = MainMenu::open(desk.context, name.endsWith(u"/entry") ? MainMenu::Opener::Enter
                                                                      : MainMenu::Opener::Reenter);
    else if (screen == u"DIRCHANGE")
        shown = desk.navigator.open<DirChange>();
    else if (screen == u"frsettings")
        shown = desk.navigator.open<FrSettings>();
    else if (screen == u"frmdecide")
        shown = desk.navigator.open<FrmDecide>();
    else if (screen == u"mailform")
        shown = desk.navigator.open<MailForm>();
    else if (screen == u"sendfile")
        shown = desk.navigator.open<SendFile>();
    else if (screen == u"RODIRUVEREZER")
        shown = desk.navigator.open<Rodiruverezer>();
    else if (screen == u"received")
        shown = desk.navigator.open<Received>();
    else if (screen == u"inboxform")
        shown = desk.navigator.open<InboxForm>();
    else if (screen == u"receivefile")
        shown = desk.navigator.open<ReceiveFile>();
    else if (screen == u"saveform")
        shown = desk.navigator.open<SaveForm>();
    else if (screen == u"readform")
        shown = desk.navigator.open<ReadForm>();
    if (!shown)
        return nullptr;
    if (auto *tabs = shown->findChild<QTabWidget *>(); tabs && name.contains(u'/'))
        tabs->setCurrentIndex(name.section(u'/', 1).toInt() - 1);
    TestDesk::settle();
    QApplication::setActiveWindow(shown);
    if (!QTest::qWaitForWindowActive(shown, TestWaits::settleMs))
        return nullptr;
    return shown;
}

const QStringList allScreens = {
    "ENTER",       "mainmenu/entry", "mainmenu/full", "DIRCHANGE/1", "DIRCHANGE/2", "frsettings", "frmdecide",
    "mailform",    "sendfile",       "RODIRUVEREZER", "received",    "inboxform",   "receivefile", "saveform",
    "readform",
};

void screenRows()
{
    QTest::addColumn<QString>("screen");
    for (const QString &screen : allScreens)
        QTest::newRow(qPrintable(screen)) << screen;
}

// What the operator can press on the screen as it stands.
QList<QAbstractButton *> visibleButtons(QWidget *screen)
{
    QList<QAbstractButton *> buttons;
    for (QAbstractButton *button : screen->findChildren<QAbstractButton *>())
        if (button->isVisibleTo(screen) && button->window() == screen && !button->inherits("QToolButton"))
            buttons << button;
    return buttons;
}

QString caption(const QAbstractButton *button)
{
    QString text = button->text();
    return text.remove(u'&');
}

// The focus stops Tab visits from the screen's first one until it comes round.
QList<QWidget *> tabWalk(QWidget *screen)
{
    QList<QWidget *> visited;
    QWidget *first = screen->focusWidget();
    if (!first)
        return visited;
    visited << first;
    for (int step = 0; step < 200; ++step) {
        QTest::keyClick(screen->focusWidget(), Qt::Key_Tab);
        QWidget *now = screen->focusWidget();
        if (!now || now == first || visited.contains(now))
            break;
        visited << now;
    }
    return visited;
}

// "b comes after a" read from top left to bottom right: a step may go down
// or right, never back up and to the left, nor left along the same row.
bool readsForward(const QRect &a, const QRect &b)
{
    const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
    if (sameRow)
        return b.left() >= a.left();
    return b.top() > a.top() || b.left() >= a.right();
}

QRect onScreen(const QWidget *widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

} // namespace

class TestScreens : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The whole test is about this display: make sure it is the one in use.
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), display);
    }

    void everyButtonIsReachedByTabInReadingOrder_data() { screenRows(); }
    void everyButtonIsReachedByTabInReadingOrder()
    {
        QFETCH(QString, screen);
        DeskStation station;
        QWidget *shown = openScreen(station, screen);
        QVERIFY(shown);
        QVERIFY2(shown->focusWidget(), "the screen opens with nothing focused");

        const QList<QWidget *> walk = tabWalk(shown);
        QList<QAbstractButton *> reached;
        for (QWidget *stop : walk)
            if (auto *button = qobject_cast<QAbstractButton *>(stop))
                reached << button;
        for (QAbstractButton *button : visibleButtons(shown))
            if (button->isEnabled())
                QVERIFY2(reached.contains(button), qPrintable(caption(button) + " is never reached by Tab"));
        for (qsizetype i = 1; i < reached.size(); ++i)
            QVERIFY2(readsForward(onScreen(reached[i - 1]), onScreen(reached[i])),
                     qPrintable(caption(reached[i - 1]) + " -> " + caption(reached[i]) + " goes backwards"));
    }

    void everyButtonHasItsOwnAltKey_data() { screenRows(); }
    void everyButtonHasItsOwnAltKey()
    {
        QFETCH(QString, screen);
        DeskStation station;
        QWidget *shown = openScreen(station, screen);
        QVERIFY(shown);

        QHash<QKeySequence, QString> owners;
        const auto claim = [&](const QKeySequence &key, const QString &who) {
            QVERIFY2(!owners.contains(key),
                     qPrintable(key.toString() + " belongs to both " + owners.value(key) + " and " + who));
            owners.insert(key, who);
        };
        for (QAbstractButton *button : visibleButtons(shown)) {
            const QKeySequence key = button->shortcut();
            if (qobject_cast<QCheckBox *>(button) && key.isEmpty())
                continue;
            QVERIFY2(!key.isEmpty(), qPrintable(caption(button) + " has no Alt key"));
            QVERIFY2(key[0].keyboardModifiers() == Qt::AltModifier,
                     qPrintable(caption(button) + " has " + key.toString()));
            claim(key, caption(button));
            if (QTest::currentTestFailed())
                return;
        }
        for (QTabBar *tabs : shown->findChildren<QTabBar *>())
            for (int i = 0; i < tabs->count(); ++i)
                if (const QKeySequence key = QKeySequence::mnemonic(tabs->tabText(i)); !key.isEmpty())
                    claim(key, tabs->tabText(i));
    }

    void everyScreenFitsTheDisplay_data() { screenRows(); }
    void everyScreenFitsTheDisplay()
    {
        QFETCH(QString, screen);
        DeskStation station;
        QWidget *shown = openScreen(station, screen);
        QVERIFY(shown);

        const QRect frame = shown->frameGeometry();
        QVERIFY2(display.contains(frame), qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                                         .arg(frame.x()).arg(frame.y())
                                                         .arg(frame.width()).arg(frame.height())));
        QVERIFY(shown->screen()->geometry().contains(frame));
        QVERIFY(shown->size().width() >= shown->minimumSizeHint().width());
        QVERIFY(shown->size().height() >= shown->minimumSizeHint().height());

        for (QAbstractButton *button : visibleButtons(shown)) {
            // Style sheet padding and border take 6 pixels on each side.
            const QStringList lines = caption(button).split(u'\n');
            int widest = 0;
            for (const QString &line : lines)
                widest = std::max(widest, button->fontMetrics().horizontalAdvance(line));
            QVERIFY2(widest + 12 <= button->width(),
                     qPrintable(QStringLiteral("%1: %2 px of text in %3 px").arg(caption(button)).arg(widest)
                                    .arg(button->width())));
            QVERIFY2(int(lines.size()) * button->fontMetrics().lineSpacing() <= button->height(),
                     qPrintable(caption(button) + " is cut at the bottom"));
        }
        for (QAbstractItemView *list : shown->findChildren<QAbstractItemView *>())
            if (list->isVisibleTo(shown) && list->window() == shown)
                QVERIFY2(list->font().pointSize() >= listPointSize,
                         qPrintable(list->objectName() + " uses small text"));
    }

    void returnPressesTheFocusedButton_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("button"); // empty: the screen's way out
        QTest::addColumn<int>("key");
        for (const QString &screen : allScreens) {
            if (screen == u"RODIRUVEREZER")
                continue; // Enter presses nothing there
            // The screens without a way out have a button that leaves them all the same.
            const QString button = screen == u"ENTER" ? "Command2" : screen == u"frmdecide" ? "Cmdmail" : "";
            QTest::addRow("%s, Return", qPrintable(screen)) << screen << button << int(Qt::Key_Return);
            QTest::addRow("%s, Enter", qPrintable(screen)) << screen << button << int(Qt::Key_Enter);
        }
    }
    void returnPressesTheFocusedButton()
    {
        QFETCH(QString, screen);
        QFETCH(QString, button);
        QFETCH(int, key);
        DeskStation station;
        QWidget *shown = openScreen(station, screen);
        QVERIFY(shown);
        QAbstractButton *target = button.isEmpty() ? ScreenGuard::exitButton(shown)
                                                   : shown->findChild<QAbstractButton *>(button);
        QVERIFY(target);
        target->setFocus(Qt::TabFocusReason);
        QPointer<QWidget> guard(shown);

        QTest::keyClick(target, Qt::Key(key));
        TestDesk::settle();

        // The button acted: the screen is gone or behind another, or the
        // entry form's quit ended the program.
        const bool left = !guard || !guard->isVisible() || station.desk.navigator.frontScreen() != shown;
        QVERIFY(left || station.desk.quits == 1);
    }

    void enterOnTheLauncherPressesNothing_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        for (const char *button : {"Command1", "Command5", "Command7"}) {
            QTest::addRow("%s, Return", button) << button << int(Qt::Key_Return);
            QTest::addRow("%s, Enter", button) << button << int(Qt::Key_Enter);
            QTest::addRow("%s, Space", button) << button << int(Qt::Key_Space);
        }
    }
    void enterOnTheLauncherPressesNothing()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        DeskStation station;
        TestDesk &desk = station.desk;
        const QString program = desk.makeDir("tnc") + "/wintnc";
        writeFile(program, "#!/bin/sh\n");
        QVERIFY(desk.files.writePrintLine(Setting::WinTnc, program));
        writeFile(station.send + "/MAIL - 1.txt", "x");
        QPointer<QWidget> launcher = openScreen(station, "RODIRUVEREZER");
        QVERIFY(launcher);
        auto *target = child<QPushButton>(launcher, qPrintable(button));
        target->setFocus(Qt::TabFocusReason);
        const qsizetype boxes = desk.prompter.boxes.size();

        QTest::keyClick(target, Qt::Key(key));
        TestDesk::settle();

        // Space still presses, so the silence of Enter is not a dead button.
        const bool pressed = key == Qt::Key_Space;
        QCOMPARE(!desk.processes.started.isEmpty(), pressed && button == u"Command1");
        QCOMPARE(desk.navigator.frontScreen()->objectName() == u"mainmenu", pressed && button == u"Command5");
        QCOMPARE(!QFile::exists(station.send + "/MAIL - 1.txt"), pressed && button == u"Command7");
        if (!pressed) {
            QVERIFY(launcher && launcher->isVisible());
            QCOMPARE(desk.prompter.boxes.size(), boxes);
        }
    }

    void theFrontScreenTakesTheKeysBackAfterAMessage()
    {
        DeskStation station;
        QWidget *menu = openScreen(station, "mainmenu/full");
        QVERIFY(menu);
        // A passing window, as a message box is, takes the keyboard and goes.
        QWidget message;
        message.show();
        QApplication::setActiveWindow(&message);
        QVERIFY(QTest::qWaitForWindowActive(&message, TestWaits::settleMs));
        message.hide();
        TestDesk::settle();

        TRY_COMPARE(QApplication::activeWindow(), menu);
        QVERIFY(menu->focusWidget());
        QTest::keyClick(menu->focusWidget(), Qt::Key_X, Qt::AltModifier);
        // A shortcut presses its button as a click would, after a short show of it pressed.
        TRY_VERIFY(station.desk.navigator.frontScreen()
                    && station.desk.navigator.frontScreen()->objectName() == u"ENTER");
    }

    void theArrivalNoticeNeitherWidensNorShiftsTheMenu_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::newRow("full menu") << "mainmenu/full";
        QTest::newRow("restricted menu") << "mainmenu/entry";
    }
    void theArrivalNoticeNeitherWidensNorShiftsTheMenu()
    {
        QFETCH(QString, screen);
        DeskStation station;
        auto *menu = qobject_cast<MainMenu *>(openScreen(station, screen));
        QVERIFY(menu);
        const QRect before = menu->frameGeometry();
        auto *exit = child<QPushButton>(menu, "exit");
        const QRect exitBefore = onScreen(exit);

        MainMenu::showArrivalNotice(menu);
        TestDesk::settle();
        QCOMPARE(menu->frameGeometry().width(), before.width());
        QVERIFY(display.contains(menu->frameGeometry()));
        QCOMPARE(onScreen(exit), exitBefore);
        auto *warning = child<QLabel>(menu, "Label2");
        QVERIFY(warning->isVisible());
        // The warning shows whole: wrapped within the menu, not cut.
        QVERIFY(warning->heightForWidth(warning->width()) <= warning->height());

        menu->blinkArrivalNotice();
        TestDesk::settle();
        QCOMPARE(onScreen(exit), exitBefore);

        menu->showArrivalNotice({}, {});
        TestDesk::settle();
        QCOMPARE(menu->frameGeometry(), before);
        QCOMPARE(onScreen(exit), exitBefore);
    }

    void theCommunicationTabShowsEightRowsPerProgram()
    {
        DeskStation station;
        auto *setup = qobject_cast<DirChange *>(openScreen(station, "DIRCHANGE/2"));
        QVERIFY(setup);
        int programs = 0;
        for (DirectorySet *set : setup->findChildren<DirectorySet *>()) {
            if (set->row().kind != SetKind::Program)
                continue;
            ++programs;
            QVERIFY(set->isVisible());
            int rows = 0;
            for (QAbstractItemView *list : {static_cast<QAbstractItemView *>(set->browser()->directoryList()),
                                            static_cast<QAbstractItemView *>(set->browser()->fileList())}) {
                const int rowHeight = std::max(list->sizeHintForRow(0), list->fontMetrics().height());
                rows += list->viewport()->height() / rowHeight;
            }
            QVERIFY2(rows >= 8, qPrintable(QStringLiteral("set %1 shows %2 rows").arg(set->row().number).arg(rows)));
        }
        QCOMPARE(programs, 8);
    }

    void aPathBoxShortensInTheMiddle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("shortened");
        QTest::newRow("short") << "/home/op/mail" << false;
        QTest::newRow("long") << "/srv/" + QString(60, u'x') + "/MAIL RECEIVE/last" << true;
    }
    void aPathBoxShortensInTheMiddle()
    {
        QFETCH(QString, path);
        QFETCH(bool, shortened);
        PathBox box;
        box.setToolTipLead("lead");
        box.resize(220, box.sizeHint().height());
        box.setText(path);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box, TestWaits::settleMs));

        QCOMPARE(box.text(), path);
        QCOMPARE(box.toolTip(), "lead\n" + path);
        const QString shown = box.shownText();
        QCOMPARE(shown != path, shortened);
        QVERIFY(box.fontMetrics().horizontalAdvance(shown) <= box.width());
        if (shortened) {
            // Both ends stay in sight: where it starts and what it names.
            QVERIFY(shown.startsWith("/srv/"));
            QVERIFY(shown.endsWith("/last"));
        }
    }

    void longPathsShowBothEnds_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::newRow("settings display") << "frsettings";
        QTest::newRow("directory setup") << "DIRCHANGE/1";
    }
    void longPathsShowBothEnds()
    {
        QFETCH(QString, screen);
        DeskStation station;
        const QString deep = station.desk.makeDir(QStringList(4, QString(40, u'd')).join(u'/') + "/end of the path");
        QVERIFY(QFileInfo(deep).isDir());
        QVERIFY(station.desk.files.writePrintLine(Setting::SendDir, deep));
        QWidget *shown = openScreen(station, screen);
        QVERIFY(shown);
        if (auto *setup = qobject_cast<DirChange *>(shown))
            QVERIFY(setup->set(1)->browser()->setDirectory(deep));
        TestDesk::settle();

        QList<PathBox *> holding;
        for (PathBox *box : shown->findChildren<PathBox *>())
            if (box->isVisible() && QDir::fromNativeSeparators(box->text()) == deep)
                holding << box;
        QVERIFY(!holding.isEmpty());
        for (PathBox *box : holding) {
            const QString shownText = box->shownText();
            // Shortened in the middle: a head of the path, "…", a tail of it.
            const qsizetype cut = shownText.indexOf(QChar(0x2026));
            QVERIFY2(cut > 0 && cut < shownText.size() - 1, qPrintable(shownText));
            QVERIFY(box->text().startsWith(shownText.left(cut)));
            QVERIFY(box->text().endsWith(shownText.mid(cut + 1)));
            QVERIFY(box->toolTip().contains(box->text()));
        }
    }

    void aRewrittenCaptionKeepsItsKey_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter inside") << "Save &Incoming Message" << "Receive Auto Save ON" << "Rece&ive Auto Save ON";
        QTest::newRow("first letter") << "&Autosave" << "Receive Auto Save OFF" << "Receive &Auto Save OFF";
        QTest::newRow("no key before") << "Sound" << "Sound ON" << "Sound ON";
        QTest::newRow("letter missing") << "&Zap" << "Sound ON" << "Sound ON";
        QTest::newRow("already marked") << "&Sound" << "S&ound ON" << "S&ound ON";
    }
    void aRewrittenCaptionKeepsItsKey()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        QPushButton button(before);
        setCaptionKeepingMnemonic(&button, after);
        QCOMPARE(button.text(), expected);
        QCOMPARE(button.shortcut(), QKeySequence::mnemonic(expected));
    }

    void theInboxToggleKeepsItsKey()
    {
        DeskStation station;
        QWidget *reader = openScreen(station, "inboxform");
        QVERIFY(reader);
        auto *toggle = child<QPushButton>(reader, "cmdAutoSaveToggle");
        const QKeySequence key = toggle->shortcut();
        QVERIFY(!key.isEmpty());
        for (int round = 0; round < 2; ++round) {
            toggle->click();
            TestDesk::settle();
            QCOMPARE(toggle->shortcut(), key);
        }
    }
};

int main(int argc, char **argv)
{
    // The offscreen display, made 1024x768 before the application starts.
    QTemporaryDir config;
    const QString configFile = config.path() + QStringLiteral("/screens.json");
    QFile file(configFile);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    file.write(R"({"screens": [{"name": "desk", "x": 0, "y": 0, "width": 1024, "height": 768,
                  "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + configFile.toLocal8Bit());
    QApplication app(argc, argv);
    TestScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screens.moc"
