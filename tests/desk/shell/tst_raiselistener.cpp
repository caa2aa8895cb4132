#include "TestDesk.h"
#include "TestWaits.h"
#include "shell/RaiseListener.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>

#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString deskTitle = QStringLiteral("VARUVO DARE1");

/// A screen the navigator can show and the listener can bring forward.
class PlainScreen : public QWidget
{
public:
    explicit PlainScreen(DeskContext &) {}
};

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

/// A socket file with nobody behind it: what a desk that crashed leaves.
bool leaveStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), std::min<size_t>(native.size(), sizeof address.sun_path - 1));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

/// Sends a request the way the portal does and collects what comes back
/// until the desk closes the connection.
QByteArray exchange(const QString &path, const QByteArray &request)
{
    QLocalSocket client;
    client.connectToServer(path);
    if (!client.waitForConnected(TestWaits::settleMs))
        return "<no connection>";
    client.write(request);
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (client.state() == QLocalSocket::ConnectedState && waited.elapsed() < TestWaits::settleMs) {
        QTest::qWait(5);
        answer += client.readAll();
    }
    return answer + client.readAll();
}

} // namespace

class TestRaiseListener : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void socketName_data();
    void socketName();
    void reachableByItsUserOnly();
    void answersOnlyTheRequest_data();
    void answersOnlyTheRequest();
    void whatLiesAtTheName_data();
    void whatLiesAtTheName();

private:
    std::optional<QTemporaryDir> m_runtime;
    std::optional<QTemporaryDir> m_tmp;
    std::optional<Environment> m_environment;
};

void TestRaiseListener::init()
{
    m_runtime.emplace();
    m_tmp.emplace();
    m_environment.emplace();
    m_environment->set("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
    m_environment->set("TMPDIR", QFile::encodeName(m_tmp->path()));
    m_environment->set("DISPLAY", ":7");
}

void TestRaiseListener::cleanup()
{
    m_environment.reset();
    m_runtime.reset();
    m_tmp.reset();
}

void TestRaiseListener::socketName_data()
{
    // The portal finds the desk by the same rule (its own test has these rows):
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

void TestRaiseListener::socketName()
{
    QFETCH(QString, runtime);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, wayland);
    QFETCH(QString, path);
    m_environment->set("DISPLAY", display.isEmpty() ? QByteArray() : display);
    m_environment->set("WAYLAND_DISPLAY", wayland.isEmpty() ? QByteArray() : wayland);
    if (runtime == QLatin1String("unset"))
        m_environment->set("XDG_RUNTIME_DIR", QByteArray());
    else if (runtime == QLatin1String("relative"))
        m_environment->set("XDG_RUNTIME_DIR", "run/user");
    else if (runtime == QLatin1String("open"))
        QVERIFY(::chmod(QFile::encodeName(m_runtime->path()).constData(), 0755) == 0);

    const QString userFolder = QDir(m_tmp->path()).filePath(QStringLiteral("tavrix-%1").arg(::getuid()));
    path.replace(QLatin1String("<runtime>"), m_runtime->path()).replace(QLatin1String("<tmp>"), userFolder);
    const Result<QString> unmade = RaiseListener::socketPath(deskTitle, false);
    QCOMPARE(unmade.ok(), !path.startsWith(userFolder));
    QCOMPARE(unmade.value(), path.startsWith(userFolder) ? QString() : path);
    QCOMPARE(RaiseListener::socketPath(deskTitle, true).value(), path);
    if (path.startsWith(userFolder)) {
        // The folder it made is the user's alone; one open to others is not used.
        struct stat info{};
        QVERIFY(::lstat(QFile::encodeName(userFolder).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
        QVERIFY(::chmod(QFile::encodeName(userFolder).constData(), 0777) == 0);
        const Result<QString> open = RaiseListener::socketPath(deskTitle, true);
        QVERIFY(!open);
        QVERIFY2(open.error().contains(QStringLiteral("other users")), qPrintable(open.error()));
    }
}

void TestRaiseListener::reachableByItsUserOnly()
{
    TestDesk desk;
    RaiseListener listener(desk.navigator, deskTitle);
    QVERIFY2(listener.listening(), qPrintable(listener.listening().error()));
    const QString path = RaiseListener::socketPath(deskTitle, false).value();
    struct stat info{};
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &info) == 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_uid, ::getuid());
    QCOMPARE(info.st_mode & 077, 0u);

    if (::getuid() != 0)
        QSKIP("only root can try the socket as another user");
    // Another user, even one allowed into the folder, cannot connect.
    QVERIFY(::chmod(QFile::encodeName(m_runtime->path()).constData(), 0755) == 0);
    const QByteArray native = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, native.constData(), std::min<size_t>(native.size(), sizeof address.sun_path - 1));
        ::_exit(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestRaiseListener::answersOnlyTheRequest_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("screenShown");
    QTest::addColumn<QByteArray>("answer");
    QTest::addRow("the portal's request") << QByteArray(RaiseListener::request) << true << QByteArray(RaiseListener::answer);
    QTest::addRow("request without a screen") << QByteArray(RaiseListener::request) << false << QByteArray();
    QTest::addRow("other line") << QByteArray("HELLO\n") << true << QByteArray();
    QTest::addRow("request and more") << QByteArray("TAVRIX RAISE\nTAVRIX RAISE\n") << true << QByteArray();
    QTest::addRow("endless line") << QByteArray(1000, 'x') << true << QByteArray();
    QTest::addRow("silence") << QByteArray() << true << QByteArray();
}

void TestRaiseListener::answersOnlyTheRequest()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, screenShown);
    QFETCH(QByteArray, answer);
    TestDesk desk;
    auto *screen = desk.navigator.open<PlainScreen>();
    if (screenShown)
        screen->showMinimized();
    else
        screen->hide();
    RaiseListener listener(desk.navigator, deskTitle);
    QVERIFY2(listener.listening(), qPrintable(listener.listening().error()));

    QCOMPARE(exchange(RaiseListener::socketPath(deskTitle, false).value(), request), answer);
    QCOMPARE(screen->isMinimized(), answer.isEmpty() && screenShown);
    QCOMPARE(screen->isVisible(), screenShown);
}

void TestRaiseListener::whatLiesAtTheName_data()
{
    QTest::addColumn<QString>("found");
    QTest::addColumn<bool>("listens");
    QTest::addRow("nothing") << "nothing" << true;
    QTest::addRow("stale socket of this user") << "stale" << true;
    QTest::addRow("another desk of this user answering") << "live" << false;
    QTest::addRow("a plain file") << "file" << false;
    QTest::addRow("stale socket of another user") << "foreign" << false;
}

void TestRaiseListener::whatLiesAtTheName()
{
    QFETCH(QString, found);
    QFETCH(bool, listens);
    const QString path = RaiseListener::socketPath(deskTitle, true).value();
    QLocalServer other;
    if (found == QLatin1String("stale") || found == QLatin1String("foreign")) {
        QVERIFY(leaveStaleSocket(path));
        if (found == QLatin1String("foreign") && ::chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
            QSKIP("only root can give a file to another user");
    } else if (found == QLatin1String("live")) {
        QVERIFY(other.listen(path));
    } else if (found == QLatin1String("file")) {
        writeFile(path, "keep me");
    }
    struct stat before{};
    const bool existed = ::lstat(QFile::encodeName(path).constData(), &before) == 0;

    TestDesk desk;
    desk.navigator.open<PlainScreen>();
    RaiseListener listener(desk.navigator, deskTitle);
    const Outcome listening = listener.listening();
    QCOMPARE(listening.ok(), listens);
    // A refusal names the place it could not take.
    QVERIFY2(listens || listening.error().contains(QDir::toNativeSeparators(path)), qPrintable(listening.error()));
    if (listens) {
        QCOMPARE(exchange(path, RaiseListener::request), QByteArray(RaiseListener::answer));
        return;
    }
    // What was there is left as it was.
    struct stat after{};
    QVERIFY(existed && ::lstat(QFile::encodeName(path).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_uid, before.st_uid);
    if (found == QLatin1String("live")) {
        QLocalSocket client;
        client.connectToServer(path);
        QVERIFY(client.waitForConnected(TestWaits::settleMs));
    }
    if (found == QLatin1String("file"))
        QCOMPARE(readAll(path), QByteArray("keep me"));
}

QTEST_MAIN(TestRaiseListener)
#include "tst_raiselistener.moc"
