// Display enumeration through SDL2: one adapter per SDL display, all attached, the first primary.
#include <SDL.h>

#include <cstdlib>

#include "platform/platform.h"

namespace platform {

bool displayAdapter(int index, AdapterInfo& out)
{
    if (!videoAvailable() || index < 0 || index >= SDL_GetNumVideoDisplays())
        return false;
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(index, &bounds) != 0)
        return false;
    const char* name = SDL_GetDisplayName(index);
    out = {};
    out.adapterName = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
    out.monitorName = name ? name : "";
    out.attached = true;
    out.primary = index == 0;
    out.x = bounds.x;
    out.y = bounds.y;
    out.width = bounds.w;
    out.height = bounds.h;
    // SDL numbers displays from 0; the handle only has to be non-null and distinct.
    out.monitor = reinterpret_cast<void*>(static_cast<uintptr_t>(index + 1));
    return true;
}

bool desktopMode(int& width, int& height, int& bitsPerPixel)
{
    SDL_DisplayMode mode{};
    if (!videoAvailable() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return false;
    width = mode.w;
    height = mode.h;
    bitsPerPixel = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    if (bitsPerPixel == 24)
        bitsPerPixel = 32;  // X11 reports 24-bit depth for 32-bit pixels
    return true;
}

}  // namespace platform
