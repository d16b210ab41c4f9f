// One full-screen run per X display: the display's claim is a selection owned by a window of the
// process's own connection, which the server frees when that connection closes.
#include <X11/Xlib.h>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr const char* kClaimName = "_VESICLAR_FULL_SCREEN_RUN";
Window gClaim = None;

}  // namespace

bool claimFullScreenRun()
{
    Display* display = linux_detail::xrandrDisplay();
    if (!display)
        return true;
    if (gClaim != None)
        return true;
    const Atom selection = XInternAtom(display, kClaimName, False);
    const Window mine = XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, CopyFromParent, InputOnly,
                                      CopyFromParent, 0, nullptr);
    // Looking and claiming in one step: two runs started together must not both find it free.
    XGrabServer(display);
    const Window other = XGetSelectionOwner(display, selection);
    if (other == None)
        XSetSelectionOwner(display, selection, mine, CurrentTime);
    XUngrabServer(display);
    if (other != None) {
        XDestroyWindow(display, mine);
        XSync(display, False);
        return false;
    }
    XSync(display, False);
    gClaim = mine;
    return true;
}

void releaseFullScreenRun()
{
    Display* display = linux_detail::xrandrDisplay();
    if (!display || gClaim == None)
        return;
    XDestroyWindow(display, gClaim);
    XSync(display, False);
    gClaim = None;
}

}  // namespace platform
