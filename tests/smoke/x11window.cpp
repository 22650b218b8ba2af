// Finds a mapped top-level window by its title and asks it to close the way a window manager
// would (WM_DELETE_WINDOW), so the end-to-end test needs no window manager.
//   x11window wait <title> <seconds>   prints the window id once a viewable window has that title
//   x11window close <id>               sends WM_DELETE_WINDOW; refuses windows that do not take it
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Windows come and go while the tree is walked; a vanished one is simply not a match.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

std::string utf8Name(Display *display, Window window)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &items,
                           &after, &data)
            == Success
        && data && type == utf8 && format == 8)
        name.assign(reinterpret_cast<char *>(data), items);
    if (data)
        XFree(data);
    return name;
}

bool hasTitle(Display *display, Window window, const std::string &title)
{
    if (utf8Name(display, window) == title)
        return true;
    char *name = nullptr;
    const bool same = XFetchName(display, window, &name) && name && title == name;
    if (name)
        XFree(name);
    return same;
}

bool viewable(Display *display, Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

Window findTitled(Display *display, Window parent, const std::string &title)
{
    Window root = 0, parentOut = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        if (hasTitle(display, children[i], title) && viewable(display, children[i]))
            found = children[i];
        else
            found = findTitled(display, children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

int waitFor(Display *display, const std::string &title, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (Window w = findTitled(display, DefaultRootWindow(display), title)) {
            std::printf("0x%lx\n", static_cast<unsigned long>(w));
            return 0;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "x11window: no window titled \"%s\" within %g s\n", title.c_str(),
                 seconds);
    return 1;
}

bool takesDeleteWindow(Display *display, Window window, Atom deleteWindow)
{
    Atom *protocols = nullptr;
    int count = 0;
    bool takes = false;
    if (XGetWMProtocols(display, window, &protocols, &count)) {
        for (int i = 0; i < count; ++i)
            takes = takes || protocols[i] == deleteWindow;
        XFree(protocols);
    }
    return takes;
}

int closeWindow(Display *display, Window window)
{
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    // Destroying the window instead would test a crash path, not the user's close button.
    if (!takesDeleteWindow(display, window, deleteWindow)) {
        std::fprintf(stderr, "x11window: 0x%lx does not take WM_DELETE_WINDOW\n",
                     static_cast<unsigned long>(window));
        return 1;
    }
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(display, window, False, NoEventMask, &event))
        return 1;
    XSync(display, False);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: x11window wait <title> <seconds> | close <window-id>\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (!((command == "wait" && argc == 4) || (command == "close" && argc == 3)))
        return usage();
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11window: cannot open display \"%s\"\n", XDisplayName(nullptr));
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    int status = 0;
    if (command == "wait") {
        status = waitFor(display, argv[2], std::atof(argv[3]));
    } else {
        char *end = nullptr;
        const unsigned long id = std::strtoul(argv[2], &end, 0);
        status = (end && *end == '\0' && id) ? closeWindow(display, Window(id)) : usage();
    }
    XCloseDisplay(display);
    return status;
}
