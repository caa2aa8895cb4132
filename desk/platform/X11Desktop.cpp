#include "X11Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>
#include <vector>

namespace {

struct DisplayCloser {
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr openDisplay()
{
    return DisplayPtr(XOpenDisplay(nullptr));
}

QString windowTitle(Display *display, Window window)
{
    // Prefer the UTF-8 title that window managers show; fall back to WM_NAME.
    static Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    static Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count, &after, &data)
            == Success
        && data) {
        const QString title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(count));
        XFree(data);
        return title;
    }
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        const QString title = QString::fromLocal8Bit(name);
        XFree(name);
        return title;
    }
    return {};
}

Window findByTitle(Display *display, Window parent, const QString &title)
{
    Window root = 0, parentOut = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        if (windowTitle(display, children[i]) == title)
            found = children[i];
    for (unsigned int i = 0; i < count && !found; ++i)
        found = findByTitle(display, children[i], title);
    if (children)
        XFree(children);
    return found;
}

void activate(Display *display, Window window)
{
    XMapRaised(display, window);
    XSync(display, False);
    // Focus can only go to a viewable window; give the server a moment.
    QElapsedTimer waited;
    waited.start();
    XWindowAttributes attributes{};
    while (waited.elapsed() < 1000) {
        if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
            break;
        QThread::msleep(10);
    }
    if (attributes.map_state == IsViewable)
        XSetInputFocus(display, window, RevertToParent, CurrentTime);

    // Window managers that honour it raise and focus on this request.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // request from a pager-like tool
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XSync(display, False);
}

Outcome sendKeys(std::initializer_list<std::pair<KeySym, bool>> keys)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return Outcome::failure(QObject::tr("no X display is available"));
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor))
        return Outcome::failure(QObject::tr("the X server does not offer synthetic key presses (XTEST)"));
    // Every key is looked up before the first is pressed, so a missing one
    // cannot leave an earlier key held down.
    std::vector<std::pair<KeyCode, bool>> events;
    for (const auto &[symbol, down] : keys) {
        const KeyCode code = XKeysymToKeycode(display.get(), symbol);
        if (code == 0)
            return Outcome::failure(
                QObject::tr("the keyboard has no key for %1").arg(QString::fromLatin1(XKeysymToString(symbol))));
        events.emplace_back(code, down);
    }
    for (const auto &[code, down] : events)
        XTestFakeKeyEvent(display.get(), code, down ? True : False, CurrentTime);
    XSync(display.get(), False);
    return {};
}

} // namespace

bool X11Desktop::raiseWindow(const QString &title)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return false;
    const Window window = findByTitle(display.get(), DefaultRootWindow(display.get()), title);
    if (!window)
        return false;
    activate(display.get(), window);
    return true;
}

Outcome X11Desktop::pressStartMenuKey()
{
    return sendKeys({{XK_Super_L, true}, {XK_Super_L, false}});
}

Outcome X11Desktop::pressAltTab()
{
    // Alt is released too: left held, it turned the operator's next key
    // into a shortcut (a following "x" closed the launcher).
    return sendKeys({{XK_Alt_L, true}, {XK_Tab, true}, {XK_Tab, false}, {XK_Alt_L, false}});
}

Outcome X11Desktop::toggleMute()
{
    // Whichever sound server runs: PulseAudio/PipeWire, else plain ALSA. A
    // mixer counts only when it ran and said it did the job.
    const struct {
        const char *program;
        QStringList arguments;
    } mixers[] = {
        {"pactl", {QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"), QStringLiteral("toggle")}},
        {"amixer", {QStringLiteral("-q"), QStringLiteral("set"), QStringLiteral("Master"), QStringLiteral("toggle")}},
    };
    QStringList reasons;
    for (const auto &mixer : mixers) {
        const QString name = QString::fromLatin1(mixer.program);
        const QString path = QStandardPaths::findExecutable(name);
        if (path.isEmpty())
            continue;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(path, mixer.arguments);
        if (!process.waitForStarted(2000)) {
            reasons << QObject::tr("%1 did not start: %2").arg(name, process.errorString());
            continue;
        }
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(1000);
            reasons << QObject::tr("%1 did not answer within 3 seconds").arg(name);
            continue;
        }
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return {};
        // The mixer's own words, bounded: one line is enough to say why.
        const QString said = QString::fromLocal8Bit(process.readAll().left(400)).simplified();
        reasons << (said.isEmpty() ? QObject::tr("%1 failed with exit code %2").arg(name).arg(process.exitCode())
                                   : QObject::tr("%1 failed: %2").arg(name, said));
    }
    if (reasons.isEmpty())
        return Outcome::failure(QObject::tr("neither pactl nor amixer is installed"));
    return Outcome::failure(reasons.join(QStringLiteral("; ")));
}

Outcome X11Desktop::openFileManager()
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::homePath())))
        return {};
    return Outcome::failure(QObject::tr("no file manager is installed"));
}
