// Display mode and hardware gamma through XRandR on the process's own X connection. SDL2's X11
// gamma call only rewrites a DirectColor colormap, so the CRTC ramps are set here directly.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gamma_ramp.h"
#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "platform/platform_common.h"

namespace platform {

namespace {

Display* gDisplay = nullptr;
bool gHasRandr = false;

using linux_detail::SavedMode;
using linux_detail::SavedRamp;
using linux_detail::ScreenSize;

bool gModeChanged = false;
SavedMode gSavedMode;

bool gGammaChanged = false;
bool gGammaSaved = false;
std::vector<SavedRamp> gSavedRamps;
GammaRamp gLastRamp;

bool randrReady()
{
    return linux_detail::xrandrDisplay() && gHasRandr;
}

// The output that carries the first display: the primary one, else the first connected output
// that drives a CRTC.
RROutput firstOutput(XRRScreenResources* resources, Window root)
{
    const RROutput primary = XRRGetOutputPrimary(gDisplay, root);
    if (primary) {
        XRROutputInfo* info = XRRGetOutputInfo(gDisplay, resources, primary);
        const bool usable = info && info->crtc != 0;
        if (info)
            XRRFreeOutputInfo(info);
        if (usable)
            return primary;
    }
    for (int i = 0; i < resources->noutput; ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(gDisplay, resources, resources->outputs[i]);
        const bool usable = info && info->crtc != 0 && info->connection == RR_Connected;
        if (info)
            XRRFreeOutputInfo(info);
        if (usable)
            return resources->outputs[i];
    }
    return 0;
}

const XRRModeInfo* findMode(const XRRScreenResources* resources, RRMode id)
{
    for (int i = 0; i < resources->nmode; ++i)
        if (resources->modes[i].id == id)
            return &resources->modes[i];
    return nullptr;
}

double refreshRate(const XRRModeInfo& mode)
{
    return mode.hTotal && mode.vTotal ? static_cast<double>(mode.dotClock) / (mode.hTotal * mode.vTotal) : 0.0;
}

// Asked of the server: Xlib's own figures stay those of when the connection opened.
ScreenSize currentScreenSize(Display* display)
{
    const int screen = DefaultScreen(display);
    ScreenSize size{DisplayWidth(display, screen), DisplayHeight(display, screen), DisplayWidthMM(display, screen),
                    DisplayHeightMM(display, screen)};
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (XGetGeometry(display, RootWindow(display, screen), &root, &x, &y, &width, &height, &border, &depth) &&
        size.width > 0 && size.height > 0) {
        // The same dots per millimetre.
        size.widthMM = static_cast<int>(static_cast<long long>(size.widthMM) * width / size.width);
        size.heightMM = static_cast<int>(static_cast<long long>(size.heightMM) * height / size.height);
        size.width = static_cast<int>(width);
        size.height = static_cast<int>(height);
    }
    return size;
}

// The screen every lit CRTC needs once `changed` shows width x height at (x, y) turned by
// `rotation`: at least the size it has.
ScreenSize screenSizeFor(Display* display, XRRScreenResources* resources, RRCrtc changed, int x, int y, int width,
                         int height, Rotation rotation)
{
    ScreenSize size = currentScreenSize(display);
    const ScreenSize before = size;
    const bool sideways = (rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0;
    size.width = std::max(size.width, x + (sideways ? height : width));
    size.height = std::max(size.height, y + (sideways ? width : height));
    for (int i = 0; i < resources->ncrtc; ++i) {
        if (resources->crtcs[i] == changed)
            continue;
        XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
        if (!info)
            continue;
        if (info->mode != 0) {
            size.width = std::max(size.width, info->x + static_cast<int>(info->width));
            size.height = std::max(size.height, info->y + static_cast<int>(info->height));
        }
        XRRFreeCrtcInfo(info);
    }
    // The same dots per millimetre as before.
    if (before.width > 0 && before.height > 0) {
        size.widthMM = static_cast<int>(static_cast<long long>(before.widthMM) * size.width / before.width);
        size.heightMM = static_cast<int>(static_cast<long long>(before.heightMM) * size.height / before.height);
    }
    return size;
}

void setScreenSize(Display* display, const ScreenSize& size)
{
    XRRSetScreenSize(display, DefaultRootWindow(display), size.width, size.height, size.widthMM, size.heightMM);
}

bool putRamp(Display* display, RRCrtc crtc, int size, const uint16_t* red, const uint16_t* green,
             const uint16_t* blue)
{
    XRRCrtcGamma* gamma = XRRAllocGamma(size);
    if (!gamma)
        return false;
    std::memcpy(gamma->red, red, sizeof(uint16_t) * size);
    std::memcpy(gamma->green, green, sizeof(uint16_t) * size);
    std::memcpy(gamma->blue, blue, sizeof(uint16_t) * size);
    XRRSetCrtcGamma(display, crtc, gamma);
    XRRFreeGamma(gamma);
    return true;
}

// The ramps to put back after the run: each CRTC's own, or linear where that one is unusable.
void readSavedGamma()
{
    gGammaSaved = true;
    gSavedRamps.clear();
    const Window root = DefaultRootWindow(gDisplay);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(gDisplay, root);
    if (!resources)
        return;
    const GammaRamp linear = gammaRamp(1, 1, 1);
    for (int i = 0; i < resources->ncrtc; ++i) {
        SavedRamp saved;
        saved.crtc = resources->crtcs[i];
        saved.size = XRRGetCrtcGammaSize(gDisplay, saved.crtc);
        if (saved.size <= 0)
            continue;
        bool usable = false;
        if (XRRCrtcGamma* gamma = XRRGetCrtcGamma(gDisplay, saved.crtc)) {
            if (gamma->size == saved.size) {
                saved.red.assign(gamma->red, gamma->red + saved.size);
                saved.green.assign(gamma->green, gamma->green + saved.size);
                saved.blue.assign(gamma->blue, gamma->blue + saved.size);
                usable = usableChannel(saved.red.data(), saved.size) &&
                         usableChannel(saved.green.data(), saved.size) && usableChannel(saved.blue.data(), saved.size);
            }
            XRRFreeGamma(gamma);
        }
        if (!usable) {
            std::vector<uint16_t>* channels[3] = {&saved.red, &saved.green, &saved.blue};
            for (int c = 0; c < 3; ++c) {
                channels[c]->resize(saved.size);
                resampleChannel(linear.entries + c * kGammaEntries, channels[c]->data(), saved.size);
            }
        }
        gSavedRamps.push_back(std::move(saved));
    }
    XRRFreeScreenResources(resources);
}

}  // namespace

namespace linux_detail {

Display* xrandrDisplay()
{
    static bool tried = false;
    if (!tried) {
        tried = true;
        const char* name = std::getenv("DISPLAY");
        if (name && *name)
            gDisplay = XOpenDisplay(nullptr);
        if (gDisplay) {
            installXErrorHandler();
            int event = 0, error = 0, major = 0, minor = 0;
            gHasRandr = XRRQueryExtension(gDisplay, &event, &error) && XRRQueryVersion(gDisplay, &major, &minor) &&
                        (major > 1 || (major == 1 && minor >= 2));
        }
    }
    return gDisplay;
}

bool underXwayland()
{
    static int known = -1;
    if (known < 0) {
        Display* display = xrandrDisplay();
        int opcode = 0, event = 0, error = 0;
        // Newer servers name themselves through an extension; older ones only by their outputs' names.
        bool xwayland = display && XQueryExtension(display, "XWAYLAND", &opcode, &event, &error);
        XRRScreenResources* resources =
            display && gHasRandr && !xwayland ? XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display))
                                              : nullptr;
        for (int i = 0; resources && i < resources->noutput && !xwayland; ++i) {
            if (XRROutputInfo* info = XRRGetOutputInfo(display, resources, resources->outputs[i])) {
                xwayland = std::strncmp(info->name, "XWAYLAND", 8) == 0;
                XRRFreeOutputInfo(info);
            }
        }
        if (resources)
            XRRFreeScreenResources(resources);
        known = xwayland ? 1 : 0;
    }
    return known == 1;
}

void putBackMode(Display* display, const SavedMode& mode)
{
    const Window root = DefaultRootWindow(display);
    if (XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root)) {
        // The desktop may have been laid out again during the run (another monitor unplugged): the
        // mode goes back where the monitor is now, on a screen grown to hold it.
        int x = mode.x, y = mode.y;
        if (XRRCrtcInfo* now = XRRGetCrtcInfo(display, resources, mode.crtc)) {
            if (now->mode != 0) {
                x = now->x;
                y = now->y;
            }
            XRRFreeCrtcInfo(now);
        }
        if (const XRRModeInfo* info = findMode(resources, mode.mode)) {
            const ScreenSize size = currentScreenSize(display);
            const ScreenSize needed = screenSizeFor(display, resources, mode.crtc, x, y, static_cast<int>(info->width),
                                                    static_cast<int>(info->height), mode.rotation);
            if (needed.width > size.width || needed.height > size.height)
                setScreenSize(display, needed);
        }
        XRRSetCrtcConfig(display, resources, mode.crtc, CurrentTime, x, y, mode.mode, mode.rotation,
                         const_cast<RROutput*>(mode.outputs.data()), static_cast<int>(mode.outputs.size()));
        XRRFreeScreenResources(resources);
    }
    // The mode back first, then the screen: it can only shrink once nothing lies beyond it.
    if (mode.screenGrown)
        setScreenSize(display, mode.screen);
    XSync(display, False);
}

void putBackRamps(Display* display, const std::vector<SavedRamp>& ramps)
{
    for (const SavedRamp& ramp : ramps)
        putRamp(display, ramp.crtc, ramp.size, ramp.red.data(), ramp.green.data(), ramp.blue.data());
    XSync(display, False);
}

}  // namespace linux_detail

bool setDisplayMode(int width, int height, int /*bitsPerPixel*/)
{
    if (!randrReady() || gModeChanged) {
        noteFailure(gModeChanged ? "the mode is already changed" : "no XRandR 1.2 on this display");
        return false;
    }
    const Window root = DefaultRootWindow(gDisplay);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(gDisplay, root);
    if (!resources)
        return false;
    bool ok = false, onlyEmulated = false;
    const RROutput output = firstOutput(resources, root);
    XRROutputInfo* outputInfo = output ? XRRGetOutputInfo(gDisplay, resources, output) : nullptr;
    XRRCrtcInfo* crtc = outputInfo ? XRRGetCrtcInfo(gDisplay, resources, outputInfo->crtc) : nullptr;
    if (crtc) {
        // The size asked for is the desktop's, as the settings list it; on a monitor turned on its
        // side the mode underneath is that size turned.
        const bool sideways = (crtc->rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0;
        const int modeWidth = sideways ? height : width, modeHeight = sideways ? width : height;
        const XRRModeInfo* current = findMode(resources, crtc->mode);
        if (current && static_cast<int>(current->width) == modeWidth &&
            static_cast<int>(current->height) == modeHeight) {
            ok = true;  // already there
        } else if (linux_detail::underXwayland()) {
            // XWayland would report any of its modes as set, but only to this connection: the run's
            // window, made through another, would show at that size in a corner of the unchanged screen.
            onlyEmulated = true;
            noteFailure("XWayland only pretends to change it");
        } else {
            // The output's own mode of that size with the best refresh.
            const XRRModeInfo* best = nullptr;
            for (int i = 0; i < outputInfo->nmode; ++i) {
                const XRRModeInfo* mode = findMode(resources, outputInfo->modes[i]);
                if (!mode || static_cast<int>(mode->width) != modeWidth || static_cast<int>(mode->height) != modeHeight ||
                    (mode->modeFlags & RR_Interlace))
                    continue;
                if (!best || refreshRate(*mode) > refreshRate(*best))
                    best = mode;
            }
            // A mode beyond the screen grows it first, as xrandr does, within the screen's limits.
            const ScreenSize before = currentScreenSize(gDisplay);
            const ScreenSize needed = best ? screenSizeFor(gDisplay, resources, outputInfo->crtc, crtc->x, crtc->y,
                                                           modeWidth, modeHeight, crtc->rotation)
                                           : before;
            int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
            const bool fits = best && XRRGetScreenSizeRange(gDisplay, root, &minWidth, &minHeight, &maxWidth, &maxHeight) &&
                              needed.width <= maxWidth && needed.height <= maxHeight;
            const bool grow = needed.width != before.width || needed.height != before.height;
            if (fits) {
                SavedMode saved;
                saved.crtc = outputInfo->crtc;
                saved.mode = crtc->mode;
                saved.x = crtc->x;
                saved.y = crtc->y;
                saved.rotation = crtc->rotation;
                saved.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
                saved.screenGrown = grow;
                saved.screen = before;
                // The guardian holds the way back before the screen or the mode changes.
                linux_detail::guardMode(saved);
                linux_detail::takeXError();
                if (grow) {
                    setScreenSize(gDisplay, needed);
                    XSync(gDisplay, False);
                }
                const Status status = linux_detail::takeXError() != 0
                                          ? Status(RRSetConfigFailed)
                                          : XRRSetCrtcConfig(gDisplay, resources, outputInfo->crtc, CurrentTime, crtc->x,
                                                             crtc->y, best->id, crtc->rotation, crtc->outputs,
                                                             crtc->noutput);
                XSync(gDisplay, False);
                if (status == RRSetConfigSuccess && linux_detail::takeXError() == 0) {
                    gSavedMode = std::move(saved);
                    gModeChanged = true;
                    restoreScreenAtExit();
                    ok = true;
                } else {
                    if (grow) {
                        setScreenSize(gDisplay, before);
                        XSync(gDisplay, False);
                        linux_detail::takeXError();
                    }
                    linux_detail::releaseMode();
                }
            }
        }
    }
    if (!ok && !onlyEmulated)
        noteFailure(crtc ? "XRandR offers no such mode on the first output" : "XRandR finds no active output");
    if (crtc)
        XRRFreeCrtcInfo(crtc);
    if (outputInfo)
        XRRFreeOutputInfo(outputInfo);
    XRRFreeScreenResources(resources);
    return ok;
}

void restoreDisplayMode()
{
    if (!gModeChanged || !gDisplay)
        return;
    gModeChanged = false;
    linux_detail::putBackMode(gDisplay, gSavedMode);
    linux_detail::takeXError();
    linux_detail::releaseMode();
}

bool setGamma(float redExponent, float greenExponent, float blueExponent)
{
    gLastRamp = gammaRamp(redExponent, greenExponent, blueExponent);
    if (!linux_detail::ownsScreen() || !randrReady()) {
        noteFailure(linux_detail::ownsScreen() ? "no XRandR 1.2 on this display" : "not our own full-screen window");
        return false;
    }
    // XWayland takes a ramp and reads it back, but the screen never shows it.
    if (linux_detail::underXwayland()) {
        noteFailure("XWayland ignores gamma ramps");
        return false;
    }
    if (!gGammaSaved)
        readSavedGamma();
    // The guardian holds the ramps to put back before the first one changes.
    if (!gGammaChanged)
        linux_detail::guardRamps(gSavedRamps);
    bool any = false;
    std::vector<uint16_t> channels[3];
    linux_detail::takeXError();
    for (const SavedRamp& saved : gSavedRamps) {
        for (int c = 0; c < 3; ++c) {
            channels[c].resize(saved.size);
            resampleChannel(gLastRamp.entries + c * kGammaEntries, channels[c].data(), saved.size);
        }
        any = putRamp(gDisplay, saved.crtc, saved.size, channels[0].data(), channels[1].data(), channels[2].data()) ||
              any;
    }
    XSync(gDisplay, False);
    if (any) {
        gGammaChanged = true;
        restoreScreenAtExit();
    } else if (!gGammaChanged) {
        linux_detail::releaseRamps();
    }
    return any && linux_detail::takeXError() == 0;
}

void restoreGamma()
{
    if (!gGammaChanged || !gDisplay)
        return;
    gGammaChanged = false;
    linux_detail::putBackRamps(gDisplay, gSavedRamps);
    linux_detail::releaseRamps();
}

}  // namespace platform
