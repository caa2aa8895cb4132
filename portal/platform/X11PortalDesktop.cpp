#include "X11PortalDesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// X errors (a window vanishing mid-walk) must not end the program.
int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

QString netWmName(Display *display, Window window)
{
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    QString title;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data) {
        if (type == utf8 && format == 8)
            title = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(count));
        XFree(data);
    }
    return title;
}

QString wmName(Display *display, Window window)
{
    char *name = nullptr;
    QString title;
    if (XFetchName(display, window, &name) && name) {
        title = QString::fromLocal8Bit(name);
        XFree(name);
    }
    return title;
}

Window findByTitle(Display *display, Window parent, const QString &title, int depth)
{
    Window root = 0;
    Window parentOut = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count))
        return 0;
    Window found = 0;
    // Topmost first: the children come bottom to top.
    for (unsigned int i = count; i-- > 0 && !found;) {
        if (wmName(display, children[i]) == title || netWmName(display, children[i]) == title)
            found = children[i];
        else if (depth < 3)
            found = findByTitle(display, children[i], title, depth + 1);
    }
    if (children)
        XFree(children);
    return found;
}

// A folder only this user can enter: a real directory, owned by the user,
// with no access for group or others.
bool isPrivateFolder(const QString &path)
{
    struct stat info{};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The display the portal shows on, without its screen number, fit for a file name.
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

bool X11PortalDesktop::raiseDesk(const QString &title)
{
    const QString path = deskSocketPath(title);
    if (!path.isEmpty() && askDeskToRaise(path))
        return true;
    return raiseWindowByTitle(title);
}

QString X11PortalDesktop::deskSocketPath(const QString &title)
{
    QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !isPrivateFolder(folder)) {
        // The desk made this one when the user had no private runtime folder.
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("tavrix-%1").arg(::getuid()));
        if (!isPrivateFolder(folder))
            return {};
    }
    QString name = title + QStringLiteral(" on ") + displayName();
    name.replace(u'/', u'_');
    return QDir(folder).filePath(name);
}

bool X11PortalDesktop::askDeskToRaise(const QString &socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(500) || !samePeerUser(socket))
        return false;
    socket.write(raiseRequest);
    if (!socket.waitForBytesWritten(500))
        return false;
    // The answer comes once the desk has its screen up; anything else, or
    // silence, is not the desk.
    const QByteArray expected(raiseAnswer);
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (!answer.contains('\n') && answer.size() < expected.size() && waited.elapsed() < 2000) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(2000 - waited.elapsed())))
            break;
        answer += socket.read(expected.size() - answer.size());
    }
    socket.abort();
    return answer == expected;
}

bool X11PortalDesktop::raiseWindowByTitle(const QString &title)
{
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display)
        return false;
    const auto previous = XSetErrorHandler(ignoreXError);
    const Window root = DefaultRootWindow(display.get());
    const Window window = findByTitle(display.get(), root, title, 0);
    if (window) {
        XMapRaised(display.get(), window);
        XSync(display.get(), False);
        // Focus can only go to a viewable window; give the server a moment to map it.
        QElapsedTimer waited;
        waited.start();
        XWindowAttributes attributes{};
        while (waited.elapsed() < 1000) {
            if (XGetWindowAttributes(display.get(), window, &attributes) && attributes.map_state == IsViewable)
                break;
            QThread::msleep(10);
        }
        if (attributes.map_state == IsViewable)
            XSetInputFocus(display.get(), window, RevertToParent, CurrentTime);
        // Window managers that honour it activate the window properly.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display.get(), "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display.get(), root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(display.get(), False);
    }
    XSetErrorHandler(previous);
    return window != 0;
}

void X11PortalDesktop::pressAltTab()
{
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display)
        return;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor))
        return;
    const KeyCode alt = XKeysymToKeycode(display.get(), XK_Alt_L);
    const KeyCode tab = XKeysymToKeycode(display.get(), XK_Tab);
    if (alt == 0 || tab == 0)
        return;
    // Alt is released too: left held, it turned the operator's next key
    // into a shortcut.
    XTestFakeKeyEvent(display.get(), alt, True, CurrentTime);
    XTestFakeKeyEvent(display.get(), tab, True, CurrentTime);
    XTestFakeKeyEvent(display.get(), tab, False, CurrentTime);
    XTestFakeKeyEvent(display.get(), alt, False, CurrentTime);
    XSync(display.get(), False);
}

PortalOutcome X11PortalDesktop::toggleMute()
{
    if (const QString pactl = QStandardPaths::findExecutable(QStringLiteral("pactl")); !pactl.isEmpty()) {
        if (QProcess::startDetached(pactl, {QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"),
                                            QStringLiteral("toggle")}))
            return {};
    }
    if (const QString amixer = QStandardPaths::findExecutable(QStringLiteral("amixer")); !amixer.isEmpty()) {
        if (QProcess::startDetached(amixer, {QStringLiteral("-q"), QStringLiteral("set"), QStringLiteral("Master"),
                                             QStringLiteral("toggle")}))
            return {};
    }
    return PortalOutcome::failure(QStringLiteral("neither pactl nor amixer is installed"));
}
