// Small X11 helper for the end-to-end tests: finds shown windows by title,
// reads the PRIMARY selection, asks a window to close the way a window
// manager's close box does, and watches a window's mean colour over time.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {
double ReadWallSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

// Waits for the owner's answer to a conversion request, up to 3 seconds.
bool WaitForSelection(Display* display, Window window, XEvent* event) {
    std::time_t start = std::time(nullptr);
    while (std::time(nullptr) - start < 3) {
        if (XCheckTypedWindowEvent(display, window, SelectionNotify, event)) {
            return true;
        }
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return false;
}

int PrintPrimary(Display* display) {
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom property = XInternAtom(display, "NORVALE_PROBE", False);
    XConvertSelection(display, XA_PRIMARY, utf8, property, window, CurrentTime);
    XEvent event;
    if (!WaitForSelection(display, window, &event) || event.xselection.property == None) {
        return 1;
    }
    Atom type;
    int format;
    unsigned long count, rest;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type, &format,
                       &count, &rest, &data);
    if (data == nullptr) {
        return 1;
    }
    std::printf("%.*s\n", static_cast<int>(count), reinterpret_cast<char*>(data));
    XFree(data);
    return 0;
}

bool TitleIs(Display* display, Window window, const char* title) {
    XTextProperty property;
    if (!XGetWMName(display, window, &property) || property.value == nullptr) {
        return false;
    }
    char** list = nullptr;
    int count = 0;
    bool same = false;
    if (Xutf8TextPropertyToTextList(display, &property, &list, &count) >= 0 && count > 0) {
        same = std::strcmp(list[0], title) == 0;
        XFreeStringList(list);
    }
    XFree(property.value);
    return same;
}

// Prints the ids of the shown top-level windows titled exactly `title`.
int FindShown(Display* display, const char* title) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable && TitleIs(display, children[i], title)) {
            std::printf("%lu %d %d %d %d\n", children[i], attributes.x, attributes.y,
                        attributes.width, attributes.height);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return 0;
}

int SendClose(Display* display, Window target) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, target, False, NoEventMask, &event);
    XSync(display, False);
    return 0;
}
// Prints "seconds red green blue" (wall clock at the middle of the read; means
// 0..255 over the whole window, every second pixel) each time they change,
// polling every 5 ms for `seconds`. The poll interval bounds the timing error.
int WatchMeans(Display* display, Window window, double seconds) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        return 1;
    }
    int w = attributes.width;
    int h = attributes.height;
    double until = ReadWallSeconds() + seconds;
    double last[3] = {-1, -1, -1};
    while (ReadWallSeconds() < until) {
        double before = ReadWallSeconds();
        XImage* image = XGetImage(display, window, 0, 0, w, h, AllPlanes, ZPixmap);
        double now = (before + ReadWallSeconds()) / 2;
        if (image == nullptr) {
            return 1;
        }
        double sum[3] = {0, 0, 0};
        long count = 0;
        for (int y = 0; y < h; y += 2) {
            const char* row = image->data + static_cast<long>(y) * image->bytes_per_line;
            for (int x = 0; x < w; x += 2, ++count) {
                unsigned long pixel = image->bits_per_pixel == 32
                                          ? reinterpret_cast<const uint32_t*>(row)[x]
                                          : XGetPixel(image, x, y);
                sum[0] += (pixel & image->red_mask) >> 16;
                sum[1] += (pixel & image->green_mask) >> 8;
                sum[2] += pixel & image->blue_mask;
            }
        }
        XDestroyImage(image);
        if (sum[0] / count != last[0] || sum[1] / count != last[1] || sum[2] / count != last[2]) {
            for (int c = 0; c < 3; ++c) {
                last[c] = sum[c] / count;
            }
            std::printf("%.4f %.4f %.4f %.4f\n", now, last[0], last[1], last[2]);
            std::fflush(stdout);
        }
        struct timespec pause = {0, 5 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");  // titles are UTF-8 text properties
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_probe: no display\n");
        return 2;
    }
    int status = 2;
    if (argc == 2 && std::strcmp(argv[1], "primary") == 0) {
        status = PrintPrimary(display);
    } else if (argc == 3 && std::strcmp(argv[1], "find") == 0) {
        status = FindShown(display, argv[2]);
    } else if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
        status = SendClose(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
    } else if (argc == 4 && std::strcmp(argv[1], "watch") == 0) {
        status = WatchMeans(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)),
                            std::atof(argv[3]));
    } else {
        std::fprintf(
            stderr,
            "usage: x11_probe find TITLE | primary | close WINDOW | watch WINDOW SECONDS\n");
    }
    XCloseDisplay(display);
    return status;
}
