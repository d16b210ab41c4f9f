// The run's windows on SDL2 over X11: the GL window (own or a host's), cover windows, input,
// cursor and presentation.
#include <SDL.h>
#include <GL/gl.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "platform/platform_common.h"

namespace platform {

namespace {

SDL_Window* gGlWindow = nullptr;
SDL_GLContext gContext = nullptr;
bool gForeign = false;
Window gGlXWindow = 0;
bool gGlWindowGone = false;  // destroyed by someone else: SDL must not touch it again
bool gGlWindowAlpha = false;  // the window's pixels carry an opacity (a 32-bit visual)
bool gFocusToTakeBack = false;  // lost to another program since the last frame
bool gKeyboardUnsure = false;  // the run's hold on the keyboard may have failed or gone
Uint32 gNextKeyboardTry = 0;
Window gFocusBefore = None;  // the window that had the keyboard before the run took it, or PointerRoot
int gFocusBeforeRevert = RevertToParent;
Display* gGlXDisplay = nullptr;
std::vector<SDL_Window*> gCovers;
std::vector<SDL_Window*> gLateCovers;  // made here for monitors that came during the run (also in gCovers)
int gRandrEventBase = -1;  // RandR's events on SDL's connection; -1 when not listening
bool gLayoutChanged = false;  // the server laid its monitors out again since the last look
int gCursorCounter = 0;
uint64_t gSwaps = 0;
bool gGlWindowCovered = false;  // another window hides all of it (the server says so when it changes)
bool gGlWindowViewable = true;  // mapped, and every window it lies in too
Uint32 gNextViewableCheck = 0;
int gLastXError = 0;
XErrorHandler gPreviousHandler = nullptr;

// The full-screen run holds the server's screen saver off, and with it the monitor's power saving:
// the run keeps the user's power-saving schedule itself.
struct PowerSaving {
    bool kept = false;  // the server has DPMS, enabled when the run began
    CARD16 standby = 0, suspend = 0, off = 0;  // seconds of idleness; 0: never
    Uint64 idleSince = 0;  // SDL ticks at the user's last input, or when someone else woke the monitor
    Uint64 nextLook = 0;
    bool asleep = false;  // the monitor is in a power-saving level
};
PowerSaving gPower;

int recordXError(Display*, XErrorEvent* error)
{
    gLastXError = error->error_code;
    return 0;
}

int onXIOError(Display* display) { linux_detail::endOnLostServer(display ? DisplayString(display) : ""); }

void watchConnection(Display* display)
{
    static bool watching = false;
    if (watching || !display)
        return;
    watching = linux_detail::watchForHangUp(ConnectionNumber(display), DisplayString(display));
}

bool nativeHandles(SDL_Window* window, Display*& display, Window& xwindow)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    display = info.info.x11.display;
    xwindow = info.info.x11.window;
    return true;
}

void setGlAttributes(int colour, int depth, int stencil)
{
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, colour);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, colour);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil);
}

void paintBlack(SDL_Window* window)
{
    if (SDL_Surface* surface = SDL_GetWindowSurface(window)) {
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        SDL_UpdateWindowSurface(window);
    }
}

bool isCover(Uint32 windowId)
{
    for (SDL_Window* cover : gCovers)
        if (SDL_GetWindowID(cover) == windowId)
            return true;
    return false;
}

void noteSdlFailure(const char* what) { noteFailure(std::string(what) + ": " + SDL_GetError()); }

void* windowProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

bool windowSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

void installServices()
{
    GlContextServices services;
    services.procAddress = windowProcAddress;
    services.setSwapInterval = windowSwapInterval;
    services.setGamma = setGamma;
    setGlContextServices(services);
}

// Another program took the focus from the run's own window, and SDL let the keyboard grab go with
// it: keys would reach a window hidden under ours and no longer end the run. The focus comes back
// (SDL grabs again when it does); the stacking is left alone, so a program that put its window
// above ours on purpose, as a screen locker does, keeps it there and, holding its own grab, the keys.
void takeFocusBack()
{
    if (gForeign || !gGlXDisplay || !(SDL_GetWindowFlags(gGlWindow) & SDL_WINDOW_SHOWN))
        return;
    XSetInputFocus(gGlXDisplay, gGlXWindow, RevertToParent, CurrentTime);
    XFlush(gGlXDisplay);
}

// SDL asks X for the keyboard and never looks at the answer. When another program holds it at that
// moment (a menu left open, the launcher's hot key still down), the run goes on without it for good,
// and a program that grabs the keyboard later (a password prompt, another menu) swallows the keys
// meant to end the run. Asked again, a few times a second, until X says yes.
void holdKeyboard()
{
    if (!gKeyboardUnsure || gForeign || !gGlXDisplay || !SDL_GetWindowKeyboardGrab(gGlWindow) ||
        !(SDL_GetWindowFlags(gGlWindow) & SDL_WINDOW_SHOWN) || linux_detail::underXwayland())
        return;
    const Uint32 now = SDL_GetTicks();
    if (!SDL_TICKS_PASSED(now, gNextKeyboardTry))
        return;
    gNextKeyboardTry = now + 100;
    if (XGrabKeyboard(gGlXDisplay, gGlXWindow, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess)
        gKeyboardUnsure = false;
}

void rememberFocus()
{
    gFocusBefore = None;
    if (!gGlXDisplay)
        return;
    Window focus = None;
    int revert = RevertToParent;
    XGetInputFocus(gGlXDisplay, &focus, &revert);
    gFocusBefore = focus;
    gFocusBeforeRevert = revert;
}

// The keyboard goes back to the window that had it before the run, if that is still on the screen,
// or back to following the pointer. Left to X, it would fall to nothing once ours went (SDL takes it
// with no way back), and a window manager that does not pick a window itself then (Xfce's), or no
// window manager at all, would leave every key lost.
void giveFocusBack(Display* display)
{
    const Window previous = gFocusBefore;
    gFocusBefore = None;
    if (previous == None)
        return;
    XWindowAttributes attributes{};
    if (previous == PointerRoot)
        XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    else if (XGetWindowAttributes(display, previous, &attributes) && attributes.map_state == IsViewable)
        XSetInputFocus(display, previous, gFocusBeforeRevert, CurrentTime);
    XSync(display, False);
    linux_detail::takeXError();  // it may have gone between the look and the focus
}

// A property of someone else's window as it was, to be put back.
struct KeptProperty {
    Atom name = None;
    bool present = false;
    Atom type = None;
    int format = 0;
    int items = 0;
    std::vector<unsigned char> data;
};

KeptProperty readProperty(Display* display, Window window, Atom name)
{
    KeptProperty kept;
    kept.name = name;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 64, False, AnyPropertyType, &type, &format, &items, &remaining,
                           &value) == Success &&
        type != None && value) {
        kept.present = true;
        kept.type = type;
        kept.format = format;
        kept.items = static_cast<int>(items);
        // Xlib hands 32-bit items over as longs.
        const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
        kept.data.assign(value, value + items * unit);
    }
    if (value)
        XFree(value);
    return kept;
}

KeptProperty keepProperty(Display* display, Window window, const char* name)
{
    return readProperty(display, window, XInternAtom(display, name, False));
}

// A desktop that paints its background into a window of its own marks that window __SWM_VROOT:
// whatever is drawn into the real root lies hidden under it.
Window visibleRoot(Display* display, Window root)
{
    const Atom vrootAtom = XInternAtom(display, "__SWM_VROOT", False);
    Window found = root, rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count))
        return root;
    for (unsigned int i = 0; i < count && found == root; ++i) {
        const KeptProperty vroot = readProperty(display, children[i], vrootAtom);
        if (vroot.present && vroot.type == XA_WINDOW && vroot.format == 32 && vroot.items == 1)
            std::memcpy(&found, vroot.data.data(), sizeof found);
    }
    if (children)
        XFree(children);
    return found;
}

void putBack(Display* display, Window window, const KeptProperty& kept)
{
    if (kept.present)
        XChangeProperty(display, window, kept.name, kept.type, kept.format, PropModeReplace, kept.data.data(),
                        kept.items);
    else
        XDeleteProperty(display, window, kept.name);
    XFlush(display);
}

// SDL reads a foreign window's attributes without checking that the read worked, and on a window
// that is not there it goes on with whatever was on the stack: the run crashed instead of failing.
bool isWindow(Display* display, Window window)
{
    linux_detail::takeXError();
    XWindowAttributes attributes{};
    const bool there = XGetWindowAttributes(display, window, &attributes) != 0;
    linux_detail::takeXError();
    return there;
}

// True when the window's visual has bits beyond its colour channels: on a 32-bit visual they are
// the opacity a compositor blends the window with.
bool hasAlphaBits(Display* display, Window window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || !attributes.visual)
        return false;
    const Visual* visual = attributes.visual;
    const int colourBits = __builtin_popcountl(visual->red_mask | visual->green_mask | visual->blue_mask);
    return attributes.depth > colourBits;
}

// The scene's blending leaves the alpha channel below one in places, which a compositor would
// show as holes through which the desktop under a locker shows. The finished frame gets full
// opacity; the colours stay as drawn. The drawing keeps GL's own clear colour and colour mask, so
// those are put back without asking GL for them every frame.
void makeFrameOpaque()
{
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

bool isSystemKey(const SDL_Keysym& key)
{
    return (key.mod & KMOD_ALT) != 0 || key.sym == SDLK_LALT || key.sym == SDLK_RALT || key.sym == SDLK_F10;
}

}  // namespace

namespace linux_detail {

// The X server went away (killed, or the session ended): nothing on the screen is left to put
// back and no X call can succeed any more, so the process ends here, at once. Xlib would end it
// anyway once this returns; exit() would run teardown code that talks to the dead server.
void endOnLostServer(const char* name)
{
    static std::atomic<bool> ending{false};
    // Xlib's handler and the connection watcher can both get here. Only the first writes the line
    // and ends the process; a later one waits for that, or it would end the process mid-line.
    if (ending.exchange(true))
        for (;;) pause();
    std::fprintf(stderr, "vesiclar: lost the connection to the X server %s; ending\n", name);
    std::_Exit(1);
}

// Xlib only learns of a dead server when the loop next reads from it, which a slow frame can put
// off for seconds. A thread that only waits for the connection's hang-up learns it at once.
bool watchForHangUp(int fd, const char* serverName)
{
    // With the user's task limit reached there is no thread to be had; the run goes on without
    // one, and Xlib's own handler still ends it, only later.
    try {
        std::thread([fd, name = std::string(serverName)] {
            pollfd connection{fd, POLLRDHUP, 0};
            for (;;) {
                const int ready = ::poll(&connection, 1, -1);
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready < 0 || (connection.revents & POLLNVAL))
                    return;
                if (connection.revents & (POLLRDHUP | POLLHUP | POLLERR))
                    endOnLostServer(name.c_str());
            }
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool ownsScreen() { return gGlWindow && !gForeign; }

void installXErrorHandler()
{
    static bool installed = false;
    if (!installed) {
        gPreviousHandler = XSetErrorHandler(recordXError);
        XSetIOErrorHandler(onXIOError);
        installed = true;
    }
}

int takeXError()
{
    const int code = gLastXError;
    gLastXError = 0;
    return code;
}

}  // namespace linux_detail

void prepareHostedVideo()
{
    // With XRandR SDL lists the monitors of every screen of the server and makes the GL context
    // for the screen whose monitor the window's position falls in, which for a window on a second
    // screen (:0.1, one per screen as a daemon runs them) is the first: no visual matched and the
    // run drew nothing. Without it SDL has one display, the screen $DISPLAY names.
    SDL_SetHint(SDL_HINT_VIDEO_X11_XRANDR, "0");
}

bool videoAvailable()
{
    static const bool ready = [] {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            return false;
        // Signals belong to the run's own handlers, which restore the display before leaving.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // SDL would hold the desktop's screen saver and lock off for as long as the process
        // lives, the settings dialog and the preview included; only the full-screen run does.
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        // A cover's black goes straight to X. Through a GL texture, SDL would remake the cover
        // without override-redirect and leave its own GL context current instead of the scene's:
        // the primary monitor would stay black.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return false;
        linux_detail::installXErrorHandler();
        return true;
    }();
    return ready;
}

namespace {

// Gives the window a current GL context and makes it the GL window; the window is destroyed when
// no context can be made.
bool adoptGlWindow(SDL_Window* window, bool foreign)
{
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context || SDL_GL_MakeCurrent(window, context) != 0) {
        noteSdlFailure("no OpenGL context");
        if (context)
            SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        return false;
    }
    gGlWindow = window;
    gContext = context;
    gForeign = foreign;
    installServices();
    if (!nativeHandles(window, gGlXDisplay, gGlXWindow))
        gGlXDisplay = nullptr;
    gGlWindowAlpha = gGlXDisplay && hasAlphaBits(gGlXDisplay, gGlXWindow);
    linux_detail::takeXError();
    watchConnection(gGlXDisplay);
    gGlWindowCovered = false;
    gGlWindowViewable = true;
    gNextViewableCheck = SDL_GetTicks();
    return true;
}

// Whether the window is covered comes only as a change, to those who asked for it; SDL does not.
void listenForVisibility()
{
    XWindowAttributes attributes{};
    if (!gGlXDisplay || !XGetWindowAttributes(gGlXDisplay, gGlXWindow, &attributes))
        return;
    XSelectInput(gGlXDisplay, gGlXWindow, attributes.your_event_mask | VisibilityChangeMask);
    XFlush(gGlXDisplay);
}

// A monitor plugged in or taken away mid-run comes as RandR's notes (an output lit or dark, the
// screen grown or cut) and, for a monitor made by hand (xrandr --setmonitor), only as the root's
// ConfigureNotify. Asked for on SDL's connection, they come to the loop with its own events.
void listenForLayout()
{
    int event = 0, error = 0;
    gRandrEventBase = -1;
    gLayoutChanged = false;
    XWindowAttributes attributes{};
    if (!gGlXDisplay || !XRRQueryExtension(gGlXDisplay, &event, &error))
        return;
    const Window root = DefaultRootWindow(gGlXDisplay);
    if (!XGetWindowAttributes(gGlXDisplay, root, &attributes))
        return;
    gRandrEventBase = event;
    // SDL listens to the root on this connection too: its own choices stay (output changes are
    // how it learns of plugged displays).
    XSelectInput(gGlXDisplay, root, attributes.your_event_mask | StructureNotifyMask);
    XRRSelectInput(gGlXDisplay, root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    XFlush(gGlXDisplay);
}

bool isLayoutChange(const XEvent& x)
{
    if (gRandrEventBase < 0 || !gGlXDisplay)
        return false;
    if (x.type == ConfigureNotify)
        return x.xconfigure.window == DefaultRootWindow(gGlXDisplay);
    return x.type == gRandrEventBase + RRScreenChangeNotify || x.type == gRandrEventBase + RRNotify;
}

struct Monitor {
    SDL_Rect area{};
    bool primary = false;
};

// The monitors as the server lays them out now: RandR 1.5's (those made by hand included), else
// every lit CRTC.
std::vector<Monitor> currentMonitors(Display* display)
{
    std::vector<Monitor> found;
    const Window root = DefaultRootWindow(display);
    int major = 0, minor = 0;
    if (XRRQueryVersion(display, &major, &minor) && (major > 1 || minor >= 5)) {
        int count = 0;
        if (XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count)) {
            for (int i = 0; i < count; ++i)
                found.push_back({{monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height},
                                 monitors[i].primary != 0});
            XRRFreeMonitors(monitors);
            return found;
        }
    }
    if (XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root)) {
        for (int i = 0; i < resources->ncrtc; ++i) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[i])) {
                if (crtc->mode != 0)
                    found.push_back({{crtc->x, crtc->y, static_cast<int>(crtc->width), static_cast<int>(crtc->height)},
                                     false});
                XRRFreeCrtcInfo(crtc);
            }
        }
        XRRFreeScreenResources(resources);
    }
    return found;
}

SDL_Rect windowArea(SDL_Window* window)
{
    SDL_Rect area{};
    SDL_GetWindowPosition(window, &area.x, &area.y);
    SDL_GetWindowSize(window, &area.w, &area.h);
    return area;
}

// Every monitor the scene is not on gets a black cover, and only those: a cover whose monitor went
// is hidden (one of the run's own) or destroyed (one made here), and comes back with its monitor.
// A scene left on no monitor at all (its monitor moved to where another was) goes to the primary.
void coverEveryMonitor()
{
    if (!gGlWindow || gForeign || gGlWindowGone || !gGlXDisplay || gRandrEventBase < 0)
        return;
    const std::vector<Monitor> monitors = currentMonitors(gGlXDisplay);
    linux_detail::takeXError();
    if (monitors.empty())
        return;
    SDL_Rect scene = windowArea(gGlWindow);
    bool sceneSeen = false;
    for (const Monitor& monitor : monitors)
        sceneSeen = sceneSeen || SDL_HasIntersection(&monitor.area, &scene);
    if (!sceneSeen) {
        const Monitor* target = &monitors.front();
        for (const Monitor& monitor : monitors)
            if (monitor.primary)
                target = &monitor;
        SDL_SetWindowPosition(gGlWindow, target->area.x, target->area.y);
        scene.x = target->area.x;
        scene.y = target->area.y;
    }
    std::vector<bool> covered(monitors.size(), false);
    // Mirrored monitors share one cover.
    auto markCovered = [&](const SDL_Rect& area) {
        for (size_t i = 0; i < monitors.size(); ++i)
            covered[i] = covered[i] || SDL_RectEquals(&monitors[i].area, &area);
    };
    bool shown = false;
    const std::vector<SDL_Window*> covers = gCovers;
    for (SDL_Window* cover : covers) {
        const SDL_Rect area = windowArea(cover);
        bool wanted = false;
        for (size_t i = 0; i < monitors.size() && !wanted; ++i)
            wanted = !covered[i] && SDL_RectEquals(&monitors[i].area, &area) && !SDL_HasIntersection(&area, &scene);
        const bool late = std::find(gLateCovers.begin(), gLateCovers.end(), cover) != gLateCovers.end();
        const bool visible = (SDL_GetWindowFlags(cover) & SDL_WINDOW_SHOWN) != 0;
        if (wanted) {
            markCovered(area);
            if (!visible) {
                SDL_ShowWindow(cover);
                paintBlack(cover);
                shown = true;
            }
        } else if (late) {
            gLateCovers.erase(std::find(gLateCovers.begin(), gLateCovers.end(), cover));
            gCovers.erase(std::find(gCovers.begin(), gCovers.end(), cover));
            SDL_DestroyWindow(cover);
        } else if (visible) {
            SDL_HideWindow(cover);
        }
    }
    for (size_t i = 0; i < monitors.size(); ++i) {
        const SDL_Rect& area = monitors[i].area;
        if (covered[i] || SDL_HasIntersection(&area, &scene))
            continue;
        auto* cover = static_cast<SDL_Window*>(createCoverWindow(area.x, area.y, area.w, area.h));
        if (!cover)
            continue;
        gLateCovers.push_back(cover);
        markCovered(area);
        SDL_ShowWindow(cover);
        paintBlack(cover);
        shown = true;
    }
    if (SDL_GL_GetCurrentContext() != gContext)
        SDL_GL_MakeCurrent(gGlWindow, gContext);
    // With no window manager SDL gives the keyboard to every window it maps; the scene's window
    // takes it back as from any other program.
    if (shown && SDL_GetKeyboardFocus() != gGlWindow)
        gFocusToTakeBack = true;
    linux_detail::takeXError();
}

// Taken before the run holds the screen saver off, which also sets the server's idle time back.
void startPowerSaving(Display* display)
{
    gPower = {};
    int event = 0, error = 0;
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    if (!display || !DPMSQueryExtension(display, &event, &error) || !DPMSInfo(display, &level, &enabled) || !enabled ||
        !DPMSGetTimeouts(display, &gPower.standby, &gPower.suspend, &gPower.off)) {
        linux_detail::takeXError();
        return;
    }
    const Uint64 now = SDL_GetTicks64();
    Uint64 idle = 0;
    XScreenSaverInfo info{};
    if (XScreenSaverQueryExtension(display, &event, &error) && XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info))
        idle = info.idle;
    linux_detail::takeXError();
    gPower.idleSince = now > idle ? now - idle : 0;
    gPower.kept = gPower.standby || gPower.suspend || gPower.off;
    gPower.nextLook = now;
}

// The level the user's schedule calls for after that many milliseconds without input.
CARD16 scheduledLevel(Uint64 idle)
{
    auto passed = [idle](CARD16 seconds) { return seconds && idle >= seconds * Uint64{1000}; };
    if (passed(gPower.off))
        return DPMSModeOff;
    if (passed(gPower.suspend))
        return DPMSModeSuspend;
    if (passed(gPower.standby))
        return DPMSModeStandby;
    return DPMSModeOn;
}

// Whether the monitor is off (or in standby or suspend) by the user's schedule; looked at four
// times a second. Input that leaves the run going starts the count again (noteUserInput); the
// server wakes the monitor for any input by itself.
bool monitorAsleep()
{
    if (!gPower.kept || !gGlXDisplay || gForeign)
        return false;
    const Uint64 now = SDL_GetTicks64();
    if (now < gPower.nextLook)
        return gPower.asleep;
    gPower.nextLook = now + 250;
    const CARD16 due = scheduledLevel(now - gPower.idleSince);
    if (due == DPMSModeOn && !gPower.asleep)
        return false;
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    if (!DPMSInfo(gGlXDisplay, &level, &enabled) || !enabled) {
        // Turned off during the run: the monitor stays as it is.
        linux_detail::takeXError();
        gPower.asleep = false;
        return false;
    }
    if (gPower.asleep && level == DPMSModeOn) {
        // Woken by another program: the schedule starts again from here, as the server's does.
        gPower.idleSince = now;
        gPower.asleep = false;
        return false;
    }
    // Deeper only: the levels go On, Standby, Suspend, Off.
    if (due > level) {
        DPMSForceLevel(gGlXDisplay, due);
        if (!DPMSInfo(gGlXDisplay, &level, &enabled))
            level = DPMSModeOn;
        linux_detail::takeXError();
    }
    gPower.asleep = level != DPMSModeOn;
    return gPower.asleep;
}

}  // namespace

void* createGlWindow(int x, int y, int width, int height)
{
    if (!videoAvailable() || gGlWindow || width <= 0 || height <= 0)
        return nullptr;
    // Placed exactly where asked and above everything, as a screen saver's window must be; no
    // window manager decides its size or stacking.
    // Under XWayland the compositor hands the keyboard only to windows its window manager manages,
    // and that manager takes back any focus a program sets itself: there the window asks to be
    // full screen instead, and gets the keyboard as the active window.
    const bool managed = linux_detail::underXwayland();
    SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, managed ? "0" : "1");
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP |
                         (managed ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    // Colour, depth and stencil bits: the format asked for first, then ever closer fallbacks. A
    // 16-bit screen has no 8-bit channels: there any colour depth (the deepest on offer) beats
    // dropping the depth buffer.
    const int formats[][3] = {{8, 24, 8}, {1, 24, 8}, {8, 24, 0}, {1, 24, 0},
                              {8, 16, 0}, {1, 16, 0}, {8, 0, 0},  {1, 0, 0}};
    SDL_Window* window = nullptr;
    for (const auto& format : formats) {
        setGlAttributes(format[0], format[1], format[2]);
        window = SDL_CreateWindow("Vesiclar", x, y, width, height, flags);
        if (window)
            break;
    }
    SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "0");
    if (!window) {
        noteSdlFailure("no OpenGL window");
        return nullptr;
    }
    if (!adoptGlWindow(window, false))
        return nullptr;
    // Before the window is shown: SDL gives the keyboard to an override-redirect window it maps.
    rememberFocus();
    // The window's destruction by someone else must reach the run as a close.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    listenForVisibility();
    listenForLayout();
    // The run is the screen saver: another one must not start over it. The monitor still sleeps on
    // the user's schedule.
    startPowerSaving(gGlXDisplay);
    SDL_DisableScreenSaver();
    return window;
}

void* attachGlWindow(uint64_t nativeWindow)
{
    // 0 is the root window; any other id must be one X can carry.
    if (!videoAvailable() || gGlWindow || (nativeWindow != 0 && !linux_detail::isWindowId(nativeWindow)))
        return nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    Display* probe = linux_detail::xrandrDisplay();
    if (!probe)
        return nullptr;
    Window target = static_cast<Window>(nativeWindow);
    if (target == 0)
        target = visibleRoot(probe, DefaultRootWindow(probe));
    if (!isWindow(probe, target)) {
        noteFailure("the host's window is not there");
        return nullptr;
    }
    // SDL marks every window it adopts as a drop target and never takes the mark back: on the
    // root it would outlive the run. The window keeps what its owner gave it.
    const KeptProperty dropMark = keepProperty(probe, target, "XdndAware");
    SDL_Window* window = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(target)));
    if (!window) {
        noteSdlFailure("the host's window cannot be drawn into");
        return nullptr;
    }
    Display* sdlDisplay = nullptr;
    Window sdlWindow = 0;
    // Through SDL's own connection, so that it lands after SDL's mark.
    if (nativeHandles(window, sdlDisplay, sdlWindow))
        putBack(sdlDisplay, sdlWindow, dropMark);
    // The host may destroy its window at any moment. Making the GL context, SDL reads the window's
    // attributes without looking whether that worked, and crashes on a window that is gone; and a
    // window that goes before the run listens for it would be drawn into for ever. So the window
    // is held (a server grab on SDL's connection, for SDL's requests only) from the look through
    // the context, and listened to before the look: gone after it, it comes to the loop as a close.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    bool there = true;
    if (sdlDisplay) {
        XGrabServer(sdlDisplay);
        linux_detail::takeXError();
        // Keep whatever the window already listens to.
        XWindowAttributes attributes{};
        there = XGetWindowAttributes(sdlDisplay, sdlWindow, &attributes) != 0;
        if (there)
            XSelectInput(sdlDisplay, sdlWindow,
                         attributes.your_event_mask | StructureNotifyMask | VisibilityChangeMask);
        XSync(sdlDisplay, False);
        there = there && linux_detail::takeXError() == 0;
    }
    const bool adopted = there && adoptGlWindow(window, true);
    if (sdlDisplay) {
        XUngrabServer(sdlDisplay);
        XSync(sdlDisplay, False);
        linux_detail::takeXError();
    }
    if (!there) {
        noteFailure("the host's window is not there");
        SDL_DestroyWindow(window);
    }
    return adopted ? window : nullptr;
}

void* createCoverWindow(int x, int y, int width, int height)
{
    if (!videoAvailable() || width <= 0 || height <= 0)
        return nullptr;
    SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1");
    SDL_Window* window =
        SDL_CreateWindow("Vesiclar", x, y, width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP);
    SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "0");
    if (!window)
        return nullptr;
    paintBlack(window);
    gCovers.push_back(window);
    return window;
}

void showWindow(void* window, int /*showCommand*/)
{
    if (window)
        SDL_ShowWindow(static_cast<SDL_Window*>(window));
}

void focusWindow(void* window)
{
    auto* sdlWindow = static_cast<SDL_Window*>(window);
    if (!sdlWindow)
        return;
    // The monitors the start's list of displays missed (made by hand), or that came since.
    if (sdlWindow == gGlWindow)
        coverEveryMonitor();
    SDL_RaiseWindow(sdlWindow);
    SDL_SetWindowInputFocus(sdlWindow);
    // No window manager hands focus to an override-redirect window: take the keyboard.
    SDL_SetWindowKeyboardGrab(sdlWindow, SDL_TRUE);
    gKeyboardUnsure = true;
}

void windowClientSize(void* window, int& width, int& height)
{
    width = height = 0;
    if (window)
        SDL_GetWindowSize(static_cast<SDL_Window*>(window), &width, &height);
}

void closeWindow(void* window)
{
    auto* sdlWindow = static_cast<SDL_Window*>(window);
    if (!sdlWindow)
        return;
    if (sdlWindow == gGlWindow) {
        destroyGlContext();
        const bool gone = gGlWindowGone;
        Display* display = gForeign ? nullptr : gGlXDisplay;
        gGlWindow = nullptr;
        gGlXWindow = 0;
        gGlXDisplay = nullptr;
        gForeign = false;
        gGlWindowGone = false;
        gGlWindowAlpha = false;
        gFocusToTakeBack = false;
        gKeyboardUnsure = false;
        gPower = {};
        gRandrEventBase = -1;
        gLayoutChanged = false;
        for (SDL_Window* cover : gLateCovers) {
            gCovers.erase(std::find(gCovers.begin(), gCovers.end(), cover));
            SDL_DestroyWindow(cover);
        }
        gLateCovers.clear();
        // SDL would wait for the unmapping of a window that no longer exists; the process is
        // about to end, so its bookkeeping is simply left behind.
        if (gone)
            return;
        SDL_SetWindowKeyboardGrab(sdlWindow, SDL_FALSE);
        if (display)
            giveFocusBack(display);
    }
    for (auto it = gCovers.begin(); it != gCovers.end(); ++it) {
        if (*it == sdlWindow) {
            gCovers.erase(it);
            break;
        }
    }
    // SDL never destroys a window it did not create.
    SDL_DestroyWindow(sdlWindow);
}

void destroyGlContext()
{
    if (!gContext)
        return;
    SDL_GL_MakeCurrent(gGlWindow, nullptr);
    SDL_GL_DeleteContext(gContext);
    gContext = nullptr;
    setGlContextServices({});
}

void swapBuffers()
{
    if (gGlWindow && gContext) {
        if (gGlWindowAlpha)
            makeFrameOpaque();
        SDL_GL_SwapWindow(gGlWindow);
        ++gSwaps;
    }
}

uint64_t presentedFrames() { return gSwaps; }

bool glWindowSeen()
{
    if (!gGlWindow || !gGlXDisplay || gGlWindowGone)
        return true;
    if (monitorAsleep())
        return false;
    // A window inside one that is unmapped (a host's settings window iconified) is told nothing:
    // asked twice a second while shown, at every wake while hidden.
    const Uint32 now = SDL_GetTicks();
    if (!gGlWindowViewable || SDL_TICKS_PASSED(now, gNextViewableCheck)) {
        gNextViewableCheck = now + 500;
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(gGlXDisplay, gGlXWindow, &attributes))
            gGlWindowViewable = attributes.map_state == IsViewable;
        linux_detail::takeXError();
    }
    return gGlWindowViewable && !gGlWindowCovered;
}

void waitForEvent(int milliseconds) { SDL_WaitEventTimeout(nullptr, milliseconds); }

bool pollEvent(Event& event)
{
    SDL_Event e;
    if (!SDL_PollEvent(&e)) {
        // Once a frame at most: two programs that both take the focus back would otherwise pass
        // it to and fro as fast as the server lets them.
        if (gFocusToTakeBack) {
            gFocusToTakeBack = false;
            takeFocusBack();
        }
        if (gLayoutChanged) {
            gLayoutChanged = false;
            coverEveryMonitor();
        }
        holdKeyboard();
        return false;
    }
    event = {};
    const Uint32 mainId = gGlWindow ? SDL_GetWindowID(gGlWindow) : 0;
    switch (e.type) {
    case SDL_KEYDOWN:
        // Keys reach the focused window; the covers never take focus, so 0 means ours.
        if (gGlWindow && !isCover(e.key.windowID))
            event.type = isSystemKey(e.key.keysym) ? EventType::SystemKey : EventType::KeyDown;
        break;
    // A touch screen's taps and moves come as SDL's own mouse events: they count as the mouse's,
    // as on Windows.
    case SDL_MOUSEBUTTONDOWN:
        if (gGlWindow && e.button.windowID == mainId) {
            event.type = EventType::ButtonDown;
            event.button = e.button.button;
        }
        break;
    case SDL_MOUSEMOTION:
        if (gGlWindow && e.motion.windowID == mainId) {
            event.type = EventType::Motion;
            event.x = e.motion.x;
            event.y = e.motion.y;
        }
        break;
    case SDL_WINDOWEVENT:
        if (e.window.windowID == mainId && e.window.event == SDL_WINDOWEVENT_CLOSE)
            event.type = EventType::Close;
        else if (e.window.windowID == mainId && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && gContext)
            // A host may resize its window mid-run (a settings preview growing); the picture follows.
            glViewport(0, 0, e.window.data1, e.window.data2);
        else if (e.window.windowID == mainId && e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            gFocusToTakeBack = true;
        else if (e.window.windowID == mainId && e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            gFocusToTakeBack = false;
            gKeyboardUnsure = true;  // SDL asked for it again, unchecked
        }
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED && isCover(e.window.windowID))
            paintBlack(SDL_GetWindowFromID(e.window.windowID));
        break;
    case SDL_QUIT:
        if (gGlWindow)
            event.type = EventType::Close;
        break;
    case SDL_SYSWMEVENT:
        if (e.syswm.msg && e.syswm.msg->subsystem == SDL_SYSWM_X11) {
            const XEvent& x = e.syswm.msg->msg.x11.event;
            if (x.type == DestroyNotify && gGlXWindow && x.xdestroywindow.window == gGlXWindow) {
                gGlWindowGone = true;
                event.type = EventType::Close;
            } else if (x.type == VisibilityNotify && gGlXWindow && x.xvisibility.window == gGlXWindow) {
                gGlWindowCovered = x.xvisibility.state == VisibilityFullyObscured;
                gGlWindowViewable = true;  // only a viewable window is told this
            } else if (isLayoutChange(x)) {
                gLayoutChanged = true;
            }
        }
        break;
    default:
        break;
    }
    return true;
}

int showCursor(bool show)
{
    gCursorCounter += show ? 1 : -1;
    if (videoAvailable())
        SDL_ShowCursor(gCursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return gCursorCounter;
}

void warpPointer(void* window, int x, int y)
{
    if (window)
        SDL_WarpMouseInWindow(static_cast<SDL_Window*>(window), x, y);
}

void noteUserInput()
{
    if (gPower.kept)
        gPower.idleSince = SDL_GetTicks64();
}

}  // namespace platform
