// The preview: a still picture in a child window of the host's preview area, plain Xlib.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

// Places an 8-bit channel under a visual's colour mask.
unsigned long underMask(uint32_t channel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    int bits = 0;
    while ((mask >> (shift + bits)) & 1)
        ++bits;
    const unsigned long value = bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
    return (value << shift) & mask;
}

XImage* makeImage(Display* display, const XWindowAttributes& attributes, const PreviewImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return nullptr;
    XImage* x = XCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), 32, 0);
    if (!x)
        return nullptr;
    x->data = static_cast<char*>(std::calloc(static_cast<size_t>(x->bytes_per_line), static_cast<size_t>(image.height)));
    if (!x->data) {
        XDestroyImage(x);
        return nullptr;
    }
    const Visual* visual = attributes.visual;
    for (int row = 0; row < image.height; ++row) {
        for (int column = 0; column < image.width; ++column) {
            const uint32_t rgb = image.pixels[static_cast<size_t>(row) * image.width + column];
            const unsigned long pixel = underMask((rgb >> 16) & 0xff, visual->red_mask) |
                                        underMask((rgb >> 8) & 0xff, visual->green_mask) |
                                        underMask(rgb & 0xff, visual->blue_mask);
            XPutPixel(x, column, row, pixel);
        }
    }
    return x;
}

}  // namespace

bool runPreviewWindow(uint64_t parent, const PreviewImage& image, int /*showCommand*/)
{
    const char* name = std::getenv("DISPLAY");
    if (!linux_detail::isWindowId(parent) || !name || !*name)
        return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    linux_detail::installXErrorHandler();
    linux_detail::takeXError();

    const Window parentWindow = static_cast<Window>(parent);
    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(display, parentWindow, &parentAttributes) || linux_detail::takeXError() != 0) {
        XCloseDisplay(display);
        return false;
    }
    const unsigned long black = BlackPixel(display, DefaultScreen(display));
    const Window window = XCreateSimpleWindow(display, parentWindow, 0, 0,
                                              static_cast<unsigned>(parentAttributes.width),
                                              static_cast<unsigned>(parentAttributes.height), 0, black, black);
    XStoreName(display, window, "PreviewWindow");
    XSelectInput(display, window, ExposureMask | StructureNotifyMask);
    XMapWindow(display, window);
    XSync(display, False);
    if (linux_detail::takeXError() != 0) {
        XCloseDisplay(display);
        return false;
    }

    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    XImage* picture = makeImage(display, attributes, image);
    GC gc = XCreateGC(display, window, 0, nullptr);
    for (bool open = true; open;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0 && picture)
            XPutImage(display, window, gc, picture, 0, 0, 0, 0, static_cast<unsigned>(image.width),
                      static_cast<unsigned>(image.height));
        else if (event.type == DestroyNotify && event.xdestroywindow.window == window)
            open = false;
    }
    if (picture)
        XDestroyImage(picture);
    XFreeGC(display, gc);
    XCloseDisplay(display);
    return true;
}

}  // namespace platform
