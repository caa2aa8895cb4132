#include "X11PortalDesktop.h"

#include <QElapsedTimer>
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

} // namespace

bool X11PortalDesktop::raiseDesk(const QString &title)
{
    QLocalSocket socket;
    socket.connectToServer(title);
    if (socket.waitForConnected(500)) {
        socket.disconnectFromServer();
        return true;
    }
    return raiseWindowByTitle(title);
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
    const KeyCode alt = XKeysymToKeycode(display.get(), XK_Alt_L);
    const KeyCode tab = XKeysymToKeycode(display.get(), XK_Tab);
    // Alt is left pressed so the switcher stays open until the operator releases it.
    XTestFakeKeyEvent(display.get(), alt, True, CurrentTime);
    XTestFakeKeyEvent(display.get(), tab, True, CurrentTime);
    XTestFakeKeyEvent(display.get(), tab, False, CurrentTime);
    XFlush(display.get());
}

QString X11PortalDesktop::toggleMute()
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
    return QStringLiteral("neither pactl nor amixer is installed");
}
