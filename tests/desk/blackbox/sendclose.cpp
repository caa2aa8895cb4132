// sendclose WINDOW-ID...
//
// Asks each X11 window to close the way a window manager does: a
// WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. Tests need it
// because no window manager runs under Xvfb, and xdotool here has no
// close command.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WINDOW-ID...\n", argv[0]);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "sendclose: cannot open the display\n");
        return 1;
    }
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        char *end = nullptr;
        const Window window = std::strtoul(argv[i], &end, 0);
        if (!end || *end != '\0' || window == 0) {
            std::fprintf(stderr, "sendclose: not a window id: %s\n", argv[i]);
            ++failures;
            continue;
        }
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(deleteWindow);
        event.xclient.data.l[1] = CurrentTime;
        if (!XSendEvent(display, window, False, NoEventMask, &event)) {
            std::fprintf(stderr, "sendclose: the request to %s was not sent\n", argv[i]);
            ++failures;
        }
    }
    XSync(display, False);
    XCloseDisplay(display);
    return failures == 0 ? 0 : 1;
}
