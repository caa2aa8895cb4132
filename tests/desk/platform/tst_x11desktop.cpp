#include "platform/X11Desktop.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <X11/Xlib.h>

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
            QVERIFY(QTest::qWaitForWindowExposed(window));
        }
        other.activateWindow();

        X11Desktop desktop;
        QVERIFY(!desktop.raiseWindow("telnet server 2"));
        QVERIFY(!desktop.raiseWindow("Term"));
        QVERIFY(!desktop.raiseWindow("TELNET SERVER"));
        QVERIFY(desktop.raiseWindow("telnet server"));
        QTRY_COMPARE(focusedWindow(), Window(portal.winId()));
        QVERIFY(desktop.raiseWindow("Terminal"));
        QTRY_COMPARE(focusedWindow(), Window(terminal.winId()));
    }

    void sendsKeys()
    {
        X11Desktop desktop;
        QString error;
        QVERIFY2(desktop.pressStartMenuKey(&error), qPrintable(error));
        QVERIFY2(desktop.pressAltTab(&error), qPrintable(error));
    }
};

QTEST_MAIN(TestX11Desktop)
#include "tst_x11desktop.moc"
