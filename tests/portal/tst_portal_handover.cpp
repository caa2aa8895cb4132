#include "X11PortalDesktop.h"

#include <QApplication>
#include <QLocalServer>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

/// Runs on an X server (xvfb-run): stand-in desk windows are made with Xlib,
/// the way any other program's windows would be.
class PortalHandoverTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void raisesAHiddenWindowByExactTitle_data();
    void raisesAHiddenWindowByExactTitle();
    void localSocketOfTheDeskIsTriedFirst();

private:
    Window makeWindow(const QByteArray &title);
    Display *m_display = nullptr;
};

void PortalHandoverTest::initTestCase()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        QSKIP("no X display");
}

void PortalHandoverTest::cleanupTestCase()
{
    if (m_display)
        XCloseDisplay(m_display);
}

Window PortalHandoverTest::makeWindow(const QByteArray &title)
{
    const Window window =
        XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 10, 10, 200, 100, 0, 0, 0xffffff);
    XStoreName(m_display, window, title.constData());
    XSync(m_display, False);
    return window;
}

void PortalHandoverTest::raisesAHiddenWindowByExactTitle_data()
{
    QTest::addColumn<QByteArray>("present");
    QTest::addColumn<bool>("found");
    QTest::addRow("exact title") << QByteArray("VARUVO DARE1") << true;
    QTest::addRow("other letter case") << QByteArray("varuvo dare1") << false;
    QTest::addRow("longer title") << QByteArray("VARUVO DARE1 - Mail") << false;
    QTest::addRow("no window") << QByteArray() << false;
}

void PortalHandoverTest::raisesAHiddenWindowByExactTitle()
{
    QFETCH(QByteArray, present);
    QFETCH(bool, found);
    // A second window on top, so raising has something to do.
    const Window cover = makeWindow("cover");
    XMapRaised(m_display, cover);
    const Window desk = present.isEmpty() ? 0 : makeWindow(present);
    XSync(m_display, False);

    QCOMPARE(X11PortalDesktop::raiseWindowByTitle(QStringLiteral("VARUVO DARE1")), found);
    if (desk) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_display, desk, &attributes);
        QCOMPARE(attributes.map_state == IsViewable, found);
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_display, &focus, &revert);
        QCOMPARE(focus == desk, found);
        XDestroyWindow(m_display, desk);
    }
    XDestroyWindow(m_display, cover);
    XSync(m_display, False);
}

void PortalHandoverTest::localSocketOfTheDeskIsTriedFirst()
{
    // A desk that keeps a local socket under its title raises its own front screen.
    const QString title = QStringLiteral("VARUVO DARE1 handover test %1").arg(QCoreApplication::applicationPid());
    QLocalServer desk;
    QVERIFY(desk.listen(title));
    X11PortalDesktop desktop;
    QVERIFY(desktop.raiseDesk(title));
    QTRY_VERIFY(desk.hasPendingConnections());
    desk.close();
    QVERIFY(!desktop.raiseDesk(title));
}

QTEST_MAIN(PortalHandoverTest)
#include "tst_portal_handover.moc"
