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

// The bits of a pixel that are not colour: on a 32-bit visual, the opacity a compositor blends
// the window with. They are set in every pixel, or the picture would be see-through.
unsigned long opaqueBits(const Visual* visual, int depth)
{
    const unsigned long colour = visual->red_mask | visual->green_mask | visual->blue_mask;
    if (colour == 0 || depth <= 0)
        return 0;  // a colour-map visual: its pixels are indices
    const unsigned long all = depth >= 32 ? 0xffffffffUL : (1UL << depth) - 1;
    return all & ~colour;
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
    const unsigned long opaque = opaqueBits(visual, attributes.depth);
    for (int row = 0; row < image.height; ++row) {
        for (int column = 0; column < image.width; ++column) {
            const uint32_t rgb = image.pixels[static_cast<size_t>(row) * image.width + column];
            const unsigned long pixel = underMask((rgb >> 16) & 0xff, visual->red_mask) |
                                        underMask((rgb >> 8) & 0xff, visual->green_mask) |
                                        underMask(rgb & 0xff, visual->blue_mask) | opaque;
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
    // The child shares the parent's visual, which need not be the screen's.
    const unsigned long black = parentAttributes.visual == DefaultVisual(display, DefaultScreen(display))
                                    ? BlackPixel(display, DefaultScreen(display))
                                    : opaqueBits(parentAttributes.visual, parentAttributes.depth);
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
