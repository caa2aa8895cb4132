#include "platform/X11Desktop.h"
#include "TestWaits.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <QKeyEvent>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

Window focusedWindow()
{
    Display *display = XOpenDisplay(nullptr);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    XCloseDisplay(display);
    return focus;
}

// Keycodes the X server holds down right now.
QList<int> keysHeld()
{
    Display *display = XOpenDisplay(nullptr);
    XSync(display, False);
    char keys[32] = {};
    XQueryKeymap(display, keys);
    XCloseDisplay(display);
    QList<int> held;
    for (int code = 0; code < 256; ++code)
        if (keys[code / 8] & (1 << (code % 8)))
            held << code;
    return held;
}

// The operator's next key, typed through the server like a real one.
void typeX()
{
    Display *display = XOpenDisplay(nullptr);
    const KeyCode x = XKeysymToKeycode(display, XK_x);
    XTestFakeKeyEvent(display, x, True, CurrentTime);
    XTestFakeKeyEvent(display, x, False, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}

class KeyRecorder : public QWidget
{
public:
    QList<int> typed;
    QList<Qt::KeyboardModifiers> modifiers;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        typed << event->key();
        modifiers << event->modifiers();
    }
};

} // namespace

class TestX11Desktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (run under xvfb-run)");
    }

    void findsWindowsByExactTitleOnly()
    {
        QWidget portal, terminal, other;
        portal.setWindowTitle("telnet server");
        terminal.setWindowTitle("Terminal");
        other.setWindowTitle("Other");
        // Frameless like the desk's own screens: the title must still be found.
        portal.setWindowFlag(Qt::FramelessWindowHint);
        for (QWidget *window : {&portal, &terminal, &other}) {
            window->resize(200, 100);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window, TestWaits::settleMs));
        }
        other.activateWindow();

        X11Desktop desktop;
        QVERIFY(!desktop.raiseWindow("telnet server 2"));
        QVERIFY(!desktop.raiseWindow("Term"));
        QVERIFY(!desktop.raiseWindow("TELNET SERVER"));
        QVERIFY(desktop.raiseWindow("telnet server"));
        TRY_COMPARE(focusedWindow(), Window(portal.winId()));
        QVERIFY(desktop.raiseWindow("Terminal"));
        TRY_COMPARE(focusedWindow(), Window(terminal.winId()));
    }

    void releasesEveryKeyItPresses_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addRow("alt+tab") << "alt+tab";
        QTest::addRow("start menu") << "start menu";
    }
    void releasesEveryKeyItPresses()
    {
        QFETCH(QString, keys);
        QVERIFY(keysHeld().isEmpty());
        X11Desktop desktop;
        const Outcome pressed = keys == "alt+tab" ? desktop.pressAltTab() : desktop.pressStartMenuKey();
        QVERIFY2(pressed, qPrintable(pressed.error()));
        QCOMPARE(keysHeld(), QList<int>());
    }

    void muteSaysWhyItCannotToggle_data()
    {
        // Each mixer: absent, failing with its own words, or toggling.
        QTest::addColumn<QString>("pactl");
        QTest::addColumn<QString>("amixer");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("toggledBy");
        QTest::addRow("no mixer") << "" << "" << "neither pactl nor amixer is installed" << "";
        QTest::addRow("no sound server")
            << "echo 'Connection failure: Connection refused'; exit 1" << ""
            << "pactl failed: Connection failure: Connection refused" << "";
        QTest::addRow("both fail") << "exit 1"
                                   << "echo 'amixer: Mixer attach default error: No such file or directory' >&2; exit 1"
                                   << "pactl failed with exit code 1; amixer failed: amixer: Mixer attach default "
                                      "error: No such file or directory"
                                   << "";
        QTest::addRow("sound server toggles") << "toggle" << "toggle" << "" << "pactl set-sink-mute @DEFAULT_SINK@ toggle";
        QTest::addRow("plain mixer toggles") << "exit 1" << "toggle" << "" << "amixer -q set Master toggle";
    }
    void muteSaysWhyItCannotToggle()
    {
        QFETCH(QString, pactl);
        QFETCH(QString, amixer);
        QFETCH(QString, reason);
        QFETCH(QString, toggledBy);
        QTemporaryDir bin;
        const QString log = bin.filePath("toggled");
        for (const auto &[name, body] : {std::pair{QString("pactl"), pactl}, std::pair{QString("amixer"), amixer}}) {
            if (body.isEmpty())
                continue;
            QFile mixer(bin.filePath(name));
            QVERIFY(mixer.open(QIODevice::WriteOnly));
            const QString run = body == "toggle" ? QString("echo %1 \"$@\" > '%2'").arg(name, log) : body;
            mixer.write(("#!/bin/sh\n" + run + "\n").toUtf8());
            mixer.close();
            QFile::setPermissions(mixer.fileName(), QFile::permissions(mixer.fileName()) | QFile::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        const Outcome toggled = X11Desktop().toggleMute();
        qputenv("PATH", path);
        QCOMPARE(toggled.ok(), reason.isEmpty());
        QCOMPARE(toggled.error(), reason);
        QFile record(log);
        QCOMPARE(record.open(QIODevice::ReadOnly) ? QString::fromUtf8(record.readAll()).trimmed() : QString(),
                 toggledBy);
    }

    void aKeyTypedAfterAltTabIsNoShortcut()
    {
        KeyRecorder window;
        window.setWindowTitle("launcher");
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, TestWaits::settleMs));
        X11Desktop desktop;
        QVERIFY(desktop.raiseWindow("launcher"));
        TRY_COMPARE(focusedWindow(), Window(window.winId()));

        const Outcome pressed = desktop.pressAltTab();
        QVERIFY2(pressed, qPrintable(pressed.error()));
        typeX();
        TRY_VERIFY(window.typed.contains(Qt::Key_X));
        const int x = window.typed.indexOf(Qt::Key_X);
        QCOMPARE(window.modifiers.at(x), Qt::NoModifier);
    }
};

QTEST_MAIN(TestX11Desktop)
#include "tst_x11desktop.moc"
