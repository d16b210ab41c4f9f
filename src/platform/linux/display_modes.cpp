// The primary display's modes through SDL2, which lists them largest first, refresh-rate variants
// of one size and depth next to each other.
#include <SDL.h>

#include <cstdlib>

#include "platform/platform.h"

namespace platform {

bool displayMode(int index, DisplayMode& out)
{
    if (!videoAvailable() || index < 0 || index >= SDL_GetNumDisplayModes(0))
        return false;
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(0, index, &mode) != 0)
        return false;
    out.width = mode.w;
    out.height = mode.h;
    out.bitsPerPixel = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    if (out.bitsPerPixel == 24)
        out.bitsPerPixel = 32;  // as desktopMode reports it, so the desktop's entry can be found
    out.refreshRate = mode.refresh_rate;
    return true;
}

}  // namespace platform
