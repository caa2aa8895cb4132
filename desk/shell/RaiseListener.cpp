#include "RaiseListener.h"

#include "Navigator.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request is one short line; anything longer or slower is not the portal.
constexpr qsizetype longestRequest = 64;
constexpr int requestTimeoutMs = 2000;

QString osError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A folder only this user can enter: a real directory, owned by the user,
// with no access for group or others.
Outcome privateFolder(const QString &path)
{
    struct stat info{};
    const QString native = QDir::toNativeSeparators(path);
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Outcome::failure(QStringLiteral("%1: %2").arg(native, osError()));
    if (!S_ISDIR(info.st_mode))
        return Outcome::failure(QStringLiteral("%1 is not a folder").arg(native));
    if (info.st_uid != ::getuid())
        return Outcome::failure(QStringLiteral("%1 belongs to another user").arg(native));
    if ((info.st_mode & 077) != 0)
        return Outcome::failure(QStringLiteral("%1 can be entered by other users").arg(native));
    return {};
}

// The display this desk shows on, without its screen number, fit for a file name.
QString displayName()
{
    QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    if (!display.isEmpty()) {
        const qsizetype colon = display.lastIndexOf(u':');
        const qsizetype dot = display.indexOf(u'.', colon + 1);
        if (colon >= 0 && dot > colon)
            display.truncate(dot);
    } else {
        display = QString::fromLocal8Bit(qgetenv("WAYLAND_DISPLAY"));
    }
    if (display.isEmpty())
        display = QStringLiteral("no display");
    for (QChar &c : display) {
        if (c == u'/' || c.unicode() < 0x20)
            c = u'_';
    }
    return display;
}

bool samePeerUser(const QLocalSocket &socket)
{
    struct ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::getuid();
}

} // namespace

RaiseListener::RaiseListener(Navigator &navigator, const QString &applicationTitle, QObject *parent)
    : QObject(parent)
    , m_navigator(navigator)
{
    const Result<QString> found = socketPath(applicationTitle, true);
    const QString path = found.value();
    if (!found)
        m_error = found.error();
    else if (takeOver(path)) {
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server.listen(path))
            m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), m_server.errorString());
    }
    if (!m_error.isEmpty()) {
        // Not fatal: the portal then finds the desk's window by its title.
        qWarning("The portal cannot reach the desk through its hand-over socket: %s", qPrintable(m_error));
        return;
    }
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server.nextPendingConnection())
            serve(client);
    });
}

Result<QString> RaiseListener::socketPath(const QString &applicationTitle, bool createFolder)
{
    QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    Outcome usable = folder.isEmpty()               ? Outcome::failure(QStringLiteral("no runtime folder is set"))
                     : !QDir::isAbsolutePath(folder) ? Outcome::failure(QStringLiteral("the runtime folder is no absolute path"))
                                                     : privateFolder(folder);
    if (!usable) {
        // No private runtime folder: one of the user's own in the temporary folder.
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("tavrix-%1").arg(::getuid()));
        if (createFolder && ::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            usable = Outcome::failure(
                QStringLiteral("%1 cannot be made: %2").arg(QDir::toNativeSeparators(folder), osError()));
        else
            usable = privateFolder(folder);
    }
    if (!usable)
        return usable;
    QString name = applicationTitle + QStringLiteral(" on ") + displayName();
    name.replace(u'/', u'_');
    return QDir(folder).filePath(name);
}

bool RaiseListener::takeOver(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info{};
    if (::lstat(native.constData(), &info) != 0)
        return true; // nothing there yet
    if (!S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()) {
        m_error = QStringLiteral("%1 is in the way and is not this user's socket; it is left alone")
                      .arg(QDir::toNativeSeparators(path));
        return false;
    }
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(500)) {
        m_error = QStringLiteral("another desk of this user already answers on %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    // Left behind by a desk of this user that ended without cleaning up.
    if (::unlink(native.constData()) != 0) {
        m_error = QStringLiteral("%1 cannot be removed: %2").arg(QDir::toNativeSeparators(path), osError());
        return false;
    }
    return true;
}

void RaiseListener::serve(QLocalSocket *client)
{
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    if (!samePeerUser(*client)) {
        client->abort();
        client->deleteLater();
        return;
    }
    QTimer::singleShot(requestTimeoutMs, client, [client] { client->abort(); });
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        const QByteArray expected(request);
        const QByteArray arrived = client->peek(longestRequest);
        if (!arrived.contains('\n') && arrived.size() < expected.size())
            return; // wait for the rest of the line
        client->read(longestRequest);
        if (arrived == expected && raiseFrontScreen()) {
            client->write(answer);
            client->flush();
        }
        client->disconnectFromServer();
    });
}

bool RaiseListener::raiseFrontScreen()
{
    QWidget *screen = m_navigator.frontScreen();
    if (!screen)
        return false;
    screen->showNormal();
    screen->raise();
    screen->activateWindow();
    return true;
}
