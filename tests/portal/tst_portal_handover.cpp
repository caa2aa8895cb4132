#include "X11PortalDesktop.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <QFile>
#include <QMap>
#include <QThread>

#include <atomic>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

const QString deskTitle = QStringLiteral("VARUVO DARE1");

/// Sets environment variables for one test and puts the old values back.
class Environment
{
public:
    void set(const char *name, const QByteArray &value)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~Environment()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value())
                qputenv(it.key().constData(), *it.value());
            else
                qunsetenv(it.key().constData());
        }
    }

private:
    QMap<QByteArray, std::optional<QByteArray>> m_saved;
};

/// Something listening on a local socket path, on a thread of its own (the
/// portal waits for the answer without running the event loop). It reads
/// what the portal sends and answers as told.
class LocalListener
{
public:
    LocalListener(const QString &path, QByteArray answer)
        : m_answer(std::move(answer))
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), std::min<size_t>(native.size(), sizeof address.sun_path - 1));
        bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(m_fd, 4) == 0;
        if (bound)
            m_thread = std::thread([this] { serve(); });
    }
    ~LocalListener()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }
    QByteArray request() const
    {
        while (!m_done.load())
            QThread::msleep(1);
        return m_request;
    }

    bool bound = false;

private:
    void serve()
    {
        const int client = ::accept(m_fd, nullptr, nullptr);
        if (client < 0) {
            m_done = true;
            return;
        }
        char buffer[64];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n > 0)
            m_request = QByteArray(buffer, n);
        if (m_answer == "<echo>")
            ::send(client, buffer, size_t(std::max<ssize_t>(n, 0)), MSG_NOSIGNAL);
        else if (!m_answer.isEmpty())
            ::send(client, m_answer.constData(), size_t(m_answer.size()), MSG_NOSIGNAL);
        else
            ::recv(client, buffer, sizeof buffer, 0); // silent: wait until the portal gives up
        ::close(client);
        m_done = true;
    }

    int m_fd = -1;
    QByteArray m_answer;
    QByteArray m_request;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace

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
    void socketName_data();
    void socketName();
    void deskCountsOnlyWhenItAnswers_data();
    void deskCountsOnlyWhenItAnswers();
    void altTabReleasesEveryKey();

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

void PortalHandoverTest::socketName_data()
{
    // The desk names its socket by the same rule (its own test has these rows):
    // "<runtime>" is a private runtime folder, "<tmp>" the user's folder in the temporary folder.
    QTest::addColumn<QString>("runtime");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QString>("path");
    QTest::addRow("runtime folder") << "private" << QByteArray(":0") << QByteArray() << "<runtime>/VARUVO DARE1 on :0";
    QTest::addRow("screen number left out") << "private" << QByteArray(":1.0") << QByteArray() << "<runtime>/VARUVO DARE1 on :1";
    QTest::addRow("remote display") << "private" << QByteArray("localhost:10.0") << QByteArray()
                                    << "<runtime>/VARUVO DARE1 on localhost:10";
    QTest::addRow("slash in the display") << "private" << QByteArray("/tmp/launch-x/org.x:0") << QByteArray()
                                          << "<runtime>/VARUVO DARE1 on _tmp_launch-x_org.x:0";
    QTest::addRow("wayland only") << "private" << QByteArray() << QByteArray("wayland-0")
                                  << "<runtime>/VARUVO DARE1 on wayland-0";
    QTest::addRow("no display") << "private" << QByteArray() << QByteArray() << "<runtime>/VARUVO DARE1 on no display";
    QTest::addRow("runtime folder open to others") << "open" << QByteArray(":0") << QByteArray()
                                                   << "<tmp>/VARUVO DARE1 on :0";
    QTest::addRow("no runtime folder") << "unset" << QByteArray(":0") << QByteArray() << "<tmp>/VARUVO DARE1 on :0";
    QTest::addRow("relative runtime folder") << "relative" << QByteArray(":0") << QByteArray()
                                             << "<tmp>/VARUVO DARE1 on :0";
}

void PortalHandoverTest::socketName()
{
    QFETCH(QString, runtime);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, wayland);
    QFETCH(QString, path);
    QTemporaryDir runtimeDir;
    QTemporaryDir tmp;
    Environment environment;
    environment.set("TMPDIR", QFile::encodeName(tmp.path()));
    environment.set("DISPLAY", display.isEmpty() ? QByteArray() : display);
    environment.set("WAYLAND_DISPLAY", wayland.isEmpty() ? QByteArray() : wayland);
    if (runtime == QLatin1String("unset"))
        environment.set("XDG_RUNTIME_DIR", QByteArray());
    else if (runtime == QLatin1String("relative"))
        environment.set("XDG_RUNTIME_DIR", "run/user");
    else
        environment.set("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    if (runtime == QLatin1String("open"))
        QVERIFY(::chmod(QFile::encodeName(runtimeDir.path()).constData(), 0755) == 0);

    const QString userFolder = QDir(tmp.path()).filePath(QStringLiteral("tavrix-%1").arg(::getuid()));
    if (path.startsWith(QLatin1String("<tmp>"))) {
        // The portal never makes the folder: without the desk's folder there is no socket.
        QCOMPARE(X11PortalDesktop::deskSocketPath(deskTitle), QString());
        QVERIFY(::mkdir(QFile::encodeName(userFolder).constData(), 0755) == 0);
        QCOMPARE(X11PortalDesktop::deskSocketPath(deskTitle), QString()); // open to others: not the desk's
        QVERIFY(::chmod(QFile::encodeName(userFolder).constData(), 0700) == 0);
    }
    path.replace(QLatin1String("<runtime>"), runtimeDir.path()).replace(QLatin1String("<tmp>"), userFolder);
    QCOMPARE(X11PortalDesktop::deskSocketPath(deskTitle), path);
}

void PortalHandoverTest::deskCountsOnlyWhenItAnswers_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("window");
    QTest::addColumn<bool>("raised");
    QTest::addRow("the desk answers") << "desk" << QByteArray("TAVRIX RAISED\n") << false << true;
    QTest::addRow("silent listener, no window") << "desk" << QByteArray() << false << false;
    QTest::addRow("silent listener, window found by title") << "desk" << QByteArray() << true << true;
    QTest::addRow("other answer") << "desk" << QByteArray("OK\n") << false << false;
    QTest::addRow("echo") << "desk" << QByteArray("<echo>") << false << false;
    QTest::addRow("answer cut short") << "desk" << QByteArray("TAVRIX RAIS") << false << false;
    QTest::addRow("old shared name answers") << "shared" << QByteArray("TAVRIX RAISED\n") << false << false;
}

void PortalHandoverTest::deskCountsOnlyWhenItAnswers()
{
    QFETCH(QString, where);
    QFETCH(QByteArray, answer);
    QFETCH(bool, window);
    QFETCH(bool, raised);
    QTemporaryDir runtimeDir;
    QTemporaryDir tmp;
    Environment environment;
    environment.set("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    environment.set("TMPDIR", QFile::encodeName(tmp.path()));
    const QString path = where == QLatin1String("desk") ? X11PortalDesktop::deskSocketPath(deskTitle)
                                                        : QDir(tmp.path()).filePath(deskTitle);
    QVERIFY(!path.isEmpty());
    LocalListener listener(path, answer);
    QVERIFY(listener.bound);
    const Window desk = window ? makeWindow(deskTitle.toLatin1()) : 0;

    X11PortalDesktop desktop;
    QElapsedTimer took;
    took.start();
    QCOMPARE(desktop.raiseDesk(deskTitle), raised);
    QVERIFY(took.elapsed() < 10000); // its own waits add up to four seconds
    if (where == QLatin1String("desk"))
        QCOMPARE(listener.request(), QByteArray(X11PortalDesktop::raiseRequest));
    if (desk) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_display, desk, &attributes);
        QCOMPARE(attributes.map_state, IsViewable);
        XDestroyWindow(m_display, desk);
        XSync(m_display, False);
    }
}

void PortalHandoverTest::altTabReleasesEveryKey()
{
    const auto keysHeld = [this] {
        XSync(m_display, False);
        char keys[32] = {};
        XQueryKeymap(m_display, keys);
        QList<int> held;
        for (int code = 0; code < 256; ++code)
            if (keys[code / 8] & (1 << (code % 8)))
                held << code;
        return held;
    };
    QCOMPARE(keysHeld(), QList<int>());
    X11PortalDesktop desktop;
    desktop.pressAltTab();
    // A held Alt would turn the operator's next key into a shortcut.
    QCOMPARE(keysHeld(), QList<int>());
}

QTEST_MAIN(PortalHandoverTest)
#include "tst_portal_handover.moc"
