// The close box of a program's main window: the window found by its process id and title, and
// WM_DELETE_WINDOW sent to it.
#include "tests/stress/CloseBox.h"

#include <QByteArray>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace stresstest {

namespace {

Display* display(void* d) {
    return static_cast<Display*>(d);
}

// The process's viewable top-level window whose title begins with the program's.
Window programWindow(Display* display, pid_t pid) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &after, &data) == Success &&
            data && items == 1 && format == 32 &&
            pid_t(*reinterpret_cast<unsigned long*>(data)) == pid) {
            XWindowAttributes attributes{};
            char* name = nullptr;
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable && XFetchName(display, children[i], &name) &&
                name && QByteArray(name).startsWith("Korvela Takip"))
                found = children[i];
            if (name)
                XFree(name);
        }
        if (data)
            XFree(data);
    }
    if (children)
        XFree(children);
    return found;
}

} // namespace

CloseBox::CloseBox() : display_(XOpenDisplay(nullptr)) {}

CloseBox::~CloseBox() {
    if (display_)
        XCloseDisplay(display(display_));
}

bool CloseBox::shows(pid_t pid) {
    return programWindow(display(display_), pid) != 0;
}

bool CloseBox::click(pid_t pid) {
    Display* d = display(display_);
    const Window window = programWindow(d, pid);
    if (!window)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XFlush(d);
    return true;
}

} // namespace stresstest
