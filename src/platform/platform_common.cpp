#include "platform/platform_common.h"

#include <cstdlib>

namespace platform {

namespace {

void (*gSessionEndHandler)() = nullptr;
bool gLocalTimeFixed = false;
LocalTime gFixedLocalTime;

void restoreScreen()
{
    restoreGamma();
    restoreDisplayMode();
}

}  // namespace

void setLocalTimeOverride(const LocalTime* fixed)
{
    gLocalTimeFixed = fixed != nullptr;
    if (fixed)
        gFixedLocalTime = *fixed;
}

bool fixedLocalTime(LocalTime& time)
{
    if (gLocalTimeFixed)
        time = gFixedLocalTime;
    return gLocalTimeFixed;
}

void setSessionEndHandler(void (*handler)()) { gSessionEndHandler = handler; }

void runSessionEndHandler()
{
    if (gSessionEndHandler)
        gSessionEndHandler();
}

void restoreScreenAtExit()
{
    static bool registered = false;
    if (!registered) {
        std::atexit(restoreScreen);
        registered = true;
    }
}

}  // namespace platform
