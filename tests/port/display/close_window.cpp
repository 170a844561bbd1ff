// Closes an X window the way a window manager's close button does: a
// WM_DELETE_WINDOW message to the window of the given title, which is
// waited for (10 s at most). Exit status 0 when the message was sent.
// Usage: close_window <title>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

Window find_titled(Display* d, Window w, const char* title) {
    char* name = nullptr;
    if (XFetchName(d, w, &name) != 0 && name != nullptr) {
        const bool match = std::strcmp(name, title) == 0;
        XFree(name);
        if (match) return w;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == 0; ++i) found = find_titled(d, children[i], title);
        if (children != nullptr) XFree(children);
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: close_window <title>\n");
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "close_window: no display\n");
        return 1;
    }
    Window w = 0;
    for (int i = 0; i < 200 && w == 0; ++i) {
        w = find_titled(d, DefaultRootWindow(d), argv[1]);
        if (w == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (w == 0) {
        std::fprintf(stderr, "close_window: no window \"%s\"\n", argv[1]);
        XCloseDisplay(d);
        return 1;
    }
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
