#include "PortalStation.h"
#include "TestWaits.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QSet>

#include <memory>

namespace {

/// The smallest screen the window must fit, as the offscreen platform's only screen.
constexpr int screenWidth = 1024;
constexpr int screenHeight = 768;

QList<QAbstractButton *> buttonsOf(const QWidget *window)
{
    QList<QAbstractButton *> buttons;
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->isVisible() && button->isEnabled())
            buttons.append(button);
    }
    return buttons;
}

QString describe(const QWidget *widget)
{
    return widget ? widget->objectName() : QStringLiteral("<none>");
}

/// A portal window shown and active, as the operator sees it.
struct ShownStation : PortalStation
{
    ShownStation()
        : PortalStation(0, 0)
    {
        start();
        window->show();
        window->activateWindow();
    }
    bool active() { return QTest::qWaitForWindowActive(window.get(), TestWaits::settleMs); }
    /// Sends a key the way a keyboard does: to the widget that has the focus.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QTest::keyClick(target, key, modifiers);
    }
};

} // namespace

class PortalScreenTest : public QObject
{
    Q_OBJECT

private slots:
    void everyButtonHasItsOwnShortcut();
    void altLetterPressesItsButton_data();
    void altLetterPressesItsButton();
    void tabWalksTheWindowInReadingOrder();
    void returnPressesTheFocusedButton_data();
    void returnPressesTheFocusedButton();
    void heldReturnPressesOnce();
    void returnInTextBoxKeepsItsAction();

    void windowFitsTheSmallScreen_data();
    void windowFitsTheSmallScreen();
    void listsUseTheNormalFont();
    void longStationEntryShowsWholeAsTip();
};

void PortalScreenTest::everyButtonHasItsOwnShortcut()
{
    ShownStation station;
    QHash<QKeySequence, QString> taken;
    const QList<QAbstractButton *> buttons = buttonsOf(station.window.get());
    QVERIFY(buttons.size() > 10);
    for (const QAbstractButton *button : buttons) {
        const QKeySequence shortcut = QKeySequence::mnemonic(button->text());
        QVERIFY2(!shortcut.isEmpty(), qPrintable(describe(button) + QStringLiteral(" has no Alt shortcut")));
        QVERIFY2(!taken.contains(shortcut),
                 qPrintable(QStringLiteral("%1 and %2 share %3")
                                .arg(describe(button), taken.value(shortcut), shortcut.toString())));
        taken.insert(shortcut, describe(button));
    }
}

void PortalScreenTest::altLetterPressesItsButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");
    QTest::addRow("clear message send") << "Cmdclearlogsend" << "Txtlogsend";
    QTest::addRow("clear connection status") << "Cmdclearlogrecv" << "Txtlogrecv";
    QTest::addRow("clear chat send") << "Cmdclearchtsend" << "Txtchatsend";
    QTest::addRow("clear chat receive") << "Cmdclearchatrecv" << "Txtchatrecv";
}

void PortalScreenTest::altLetterPressesItsButton()
{
    QFETCH(QString, button);
    QFETCH(QString, box);
    ShownStation station;
    QVERIFY(station.active());
    auto *target = station.window->findChild<QWidget *>(box);
    auto *plain = qobject_cast<QPlainTextEdit *>(target);
    auto *line = qobject_cast<QLineEdit *>(target);
    if (plain)
        plain->setPlainText(QStringLiteral("something"));
    else
        line->setText(QStringLiteral("something"));
    // Typed from another box, as an operator would.
    station.find<QLineEdit>("Txtremoteip")->setFocus();
    const QKeySequence shortcut = QKeySequence::mnemonic(station.find<QPushButton>(qPrintable(button))->text());
    QVERIFY(!shortcut.isEmpty());
    const QKeyCombination combination = shortcut[0];
    station.key(combination.key(), combination.keyboardModifiers());
    // A shortcut presses its button as a short animated click.
    TRY_COMPARE(plain ? plain->toPlainText() : line->text(), QString());
    QCOMPARE(station.find<QLineEdit>("Txtremoteip")->text(), QString()); // no letter typed
}

void PortalScreenTest::tabWalksTheWindowInReadingOrder()
{
    ShownStation station;
    QVERIFY(station.active());
    QWidget *first = station.find<QLineEdit>("Text1");
    first->setFocus();
    QCOMPARE(QApplication::focusWidget(), first);
    QList<QWidget *> walk{first};
    for (int i = 0; i < 100; ++i) {
        station.key(Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        QVERIFY(now);
        if (now == first)
            break;
        QVERIFY2(!walk.contains(now), qPrintable(describe(now) + QStringLiteral(" reached twice before the walk closed")));
        walk.append(now);
    }
    QCOMPARE(QApplication::focusWidget(), first);

    for (QAbstractButton *button : buttonsOf(station.window.get()))
        QVERIFY2(walk.contains(button), qPrintable(describe(button) + QStringLiteral(" is never reached with Tab")));

    // Reading order: each step goes down the same column, right along the
    // same row, or over to a new column right of everything seen so far.
    constexpr int slack = 2;
    int rightmost = 0;
    for (qsizetype i = 1; i < walk.size(); ++i) {
        const QRect before(walk[i - 1]->mapTo(station.window.get(), QPoint()), walk[i - 1]->size());
        const QRect now(walk[i]->mapTo(station.window.get(), QPoint()), walk[i]->size());
        rightmost = qMax(rightmost, before.right());
        const bool down = now.top() >= before.bottom() - slack && now.left() < before.right();
        const bool along = qAbs(now.top() - before.top()) <= slack && now.left() >= before.right() - slack;
        const bool nextColumn = now.left() >= rightmost - slack;
        QVERIFY2(down || along || nextColumn,
                 qPrintable(QStringLiteral("Tab goes from %1 to %2").arg(describe(walk[i - 1]), describe(walk[i]))));
    }
}

void PortalScreenTest::returnPressesTheFocusedButton_data()
{
    QTest::addColumn<int>("key");
    QTest::addRow("return") << int(Qt::Key_Return);
    QTest::addRow("keypad enter") << int(Qt::Key_Enter);
}

void PortalScreenTest::returnPressesTheFocusedButton()
{
    QFETCH(int, key);
    ShownStation station;
    QVERIFY(station.active());
    const Qt::KeyboardModifiers modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;

    station.find<QPlainTextEdit>("Txtchatrecv")->setPlainText(QStringLiteral("old chat"));
    station.find<QPushButton>("Cmdclearchatrecv")->setFocus();
    station.key(Qt::Key(key), modifiers);
    QCOMPARE(station.text("Txtchatrecv"), QString());

    // A check box goes over as with Space, and acts as with a click.
    auto *sound = station.find<QCheckBox>("Chksoundtoggle");
    const bool wasOn = sound->isChecked();
    sound->setFocus();
    station.key(Qt::Key(key), modifiers);
    QCOMPARE(sound->isChecked(), !wasOn);
    QCOMPARE(station.desktop.muteToggles, 1);
    QCOMPARE(station.speaker.phrases.size(), 1);
}

void PortalScreenTest::heldReturnPressesOnce()
{
    ShownStation station;
    QVERIFY(station.active());
    auto *sound = station.find<QCheckBox>("Chksoundtoggle");
    sound->setFocus();
    for (bool repeat : {false, true, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeat);
        QApplication::sendEvent(sound, &press);
    }
    QCOMPARE(station.desktop.muteToggles, 1);
}

void PortalScreenTest::returnInTextBoxKeepsItsAction()
{
    ShownStation station;
    QVERIFY(station.active());
    // No chat is active: Return in the chat line says so, once, as a click would.
    auto *chat = station.find<QLineEdit>("Txtchatsend");
    chat->setText(QStringLiteral("hello"));
    chat->setFocus();
    station.key(Qt::Key_Return);
    QCOMPARE(station.prompter.texts, QStringList{"Chat is not active or socket not connected."});
    QCOMPARE(chat->text(), QStringLiteral("hello"));

    // Return in the station entry box adds nothing: that box has no Return action.
    auto *entry = station.find<QLineEdit>("Text1");
    entry->setText(QStringLiteral("K1-10.0.0.1"));
    entry->setFocus();
    station.key(Qt::Key_Return);
    QCOMPARE(station.find<QListWidget>("List1")->count(), 0);
    QCOMPARE(entry->text(), QStringLiteral("K1-10.0.0.1"));
}

void PortalScreenTest::windowFitsTheSmallScreen_data()
{
    QTest::addColumn<bool>("longTexts");
    QTest::addRow("as started") << false;
    QTest::addRow("after long lines and entries") << true;
}

void PortalScreenTest::windowFitsTheSmallScreen()
{
    QFETCH(bool, longTexts);
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(room.size(), QSize(screenWidth, screenHeight));
    ShownStation station;
    QVERIFY(QTest::qWaitForWindowExposed(station.window.get(), TestWaits::settleMs));
    if (longTexts) {
        const QString word = QStringLiteral("/home/operator/mail Receive/a-folder-name-without-any-break-at-all");
        station.window->PrependConnectionStatus(word.repeated(20));
        station.window->AppendSendStatus(word.repeated(20));
        station.window->ShowChatReceived(word.repeated(20));
        station.find<QLineEdit>("Text1")->setText(QStringLiteral("N0CALL-") + QString(300, u'x') + QStringLiteral("-10.0.0.1"));
        station.click("Commandadd");
        QCoreApplication::processEvents();
    }
    const QRect frame = station.window->frameGeometry();
    QVERIFY2(room.contains(frame), qPrintable(QStringLiteral("frame %1,%2 %3x%4 leaves the screen")
                                                  .arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())));
    for (const QAbstractButton *button : buttonsOf(station.window.get())) {
        const QSize need = button->sizeHint();
        QVERIFY2(button->width() >= need.width() && button->height() >= need.height(),
                 qPrintable(QStringLiteral("%1 is %2x%3, its text needs %4x%5")
                                .arg(describe(button))
                                .arg(button->width())
                                .arg(button->height())
                                .arg(need.width())
                                .arg(need.height())));
    }
    for (const QLabel *label : station.window->findChildren<QLabel *>()) {
        const bool fits = label->fontMetrics().horizontalAdvance(label->text()) <= label->width();
        QVERIFY2(fits || label->wordWrap(), qPrintable(describe(label) + QStringLiteral(" is cut off")));
    }
}

void PortalScreenTest::listsUseTheNormalFont()
{
    ShownStation station;
    const QFont normal = QApplication::font();
    for (const char *name : {"List1", "Txtlogsend", "Txtlogrecv", "Txtchatrecv"}) {
        const QWidget *list = station.find<QWidget>(name);
        QVERIFY2(list->font().pointSizeF() >= normal.pointSizeF(), name);
    }
}

void PortalScreenTest::longStationEntryShowsWholeAsTip()
{
    ShownStation station;
    const QString entry = QStringLiteral("N0CALL-") + QString(300, u'x') + QStringLiteral("-10.0.0.1");
    station.find<QLineEdit>("Text1")->setText(entry);
    station.click("Commandadd");
    auto *list = station.find<QListWidget>("List1");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->toolTip(), entry);
    // Shortened in the middle, so the address at the end still shows.
    QCOMPARE(list->textElideMode(), Qt::ElideMiddle);
}

namespace {

/// The window is checked on a screen of the smallest size it must fit.
QString smallScreenConfig(const QTemporaryDir &folder)
{
    const QString path = folder.filePath(QStringLiteral("screen.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QStringLiteral(R"({"windowFrameMargins": true, "screens": [{"name": "small", "x": 0, "y": 0,)"
                                  R"( "width": %1, "height": %2, "logicalDpi": 96}]})")
                       .arg(screenWidth)
                       .arg(screenHeight)
                       .toUtf8());
    }
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + smallScreenConfig(folder).toLocal8Bit());
    QApplication app(argc, argv);
    PortalScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_screen.moc"
