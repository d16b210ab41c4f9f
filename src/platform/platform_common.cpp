#include "platform/platform_common.h"

#include <cstdlib>

namespace platform {

namespace {

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

void restoreScreenAtExit()
{
    static bool registered = false;
    if (!registered) {
        std::atexit(restoreScreen);
        registered = true;
    }
}

}  // namespace platform
