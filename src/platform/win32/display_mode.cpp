// The run's display mode and the hardware gamma ramp. A mode change is a temporary full-screen
// one (the system undoes it when the process ends); the ramp in force before the first change is
// read and put back, the linear ramp only when it could not be read or is unusable.
#include "platform/gamma_ramp.h"
#include "platform/platform.h"
#include "platform/platform_common.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace {

bool gModeChanged = false;

std::string changeResultName(LONG result)
{
    switch (result) {
    case DISP_CHANGE_RESTART: return "DISP_CHANGE_RESTART";
    case DISP_CHANGE_FAILED: return "DISP_CHANGE_FAILED";
    case DISP_CHANGE_BADMODE: return "DISP_CHANGE_BADMODE";
    case DISP_CHANGE_NOTUPDATED: return "DISP_CHANGE_NOTUPDATED";
    case DISP_CHANGE_BADFLAGS: return "DISP_CHANGE_BADFLAGS";
    case DISP_CHANGE_BADPARAM: return "DISP_CHANGE_BADPARAM";
    case DISP_CHANGE_BADDUALVIEW: return "DISP_CHANGE_BADDUALVIEW";
    default: return std::to_string(result);
    }
}

bool gGammaChanged = false;
bool gGammaSaved = false;  // the first setGamma has read the ramp in force
bool gSavedUsable = false;
GammaRamp gSavedRamp;
GammaRamp gLastRamp;

// The GL window's DC while it exists; the screen's otherwise (the ramp belongs to the display).
bool putRamp(const GammaRamp& ramp)
{
    HDC dc = win32_detail::glDeviceContext();
    const bool own = dc == nullptr;
    if (own)
        dc = GetDC(nullptr);
    const bool ok = dc && SetDeviceGammaRamp(dc, const_cast<uint16_t*>(ramp.entries));
    if (own && dc)
        ReleaseDC(nullptr, dc);
    return ok;
}

}  // namespace

bool setDisplayMode(int width, int height, int bitsPerPixel)
{
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bitsPerPixel);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    const LONG result = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        noteFailure("ChangeDisplaySettingsA answered " + changeResultName(result));
        return false;
    }
    gModeChanged = true;
    restoreScreenAtExit();
    return true;
}

void restoreDisplayMode()
{
    if (!gModeChanged)
        return;
    gModeChanged = false;
    ChangeDisplaySettingsA(nullptr, 0);
}

bool setGamma(float redExponent, float greenExponent, float blueExponent)
{
    gLastRamp = gammaRamp(redExponent, greenExponent, blueExponent);
    const HDC dc = win32_detail::glDeviceContext();
    if (!dc)
        return false;
    if (!gGammaSaved) {
        gGammaSaved = true;
        const bool read = GetDeviceGammaRamp(dc, gSavedRamp.entries);
        gSavedUsable = read && usableChannel(gSavedRamp.red(), kGammaEntries) &&
                       usableChannel(gSavedRamp.green(), kGammaEntries) &&
                       usableChannel(gSavedRamp.blue(), kGammaEntries);
        if (!read)
            noteFailure("GetDeviceGammaRamp failed: the linear ramp comes back at the end");
        else if (!gSavedUsable)
            noteFailure("the ramp in force is unusable: the linear ramp comes back at the end");
    }
    if (!SetDeviceGammaRamp(dc, gLastRamp.entries)) {
        noteFailure("SetDeviceGammaRamp failed");
        return false;
    }
    gGammaChanged = true;
    restoreScreenAtExit();
    return true;
}

void restoreGamma()
{
    if (!gGammaChanged)
        return;
    gGammaChanged = false;
    putRamp(gSavedUsable ? gSavedRamp : gammaRamp(1, 1, 1));
}

}  // namespace platform
