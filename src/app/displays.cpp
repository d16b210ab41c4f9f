#include "app/displays.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

void enumerateDisplays(ScreensaverApp& app, DisplayAdapterSource adapter)
{
    app.displayCount = 0;
    uint32_t primary = 0;
    platform::AdapterInfo info;
    for (int i = 0; app.displayCount < kMaxDisplays && adapter(i, info); ++i) {
        if (info.mirroring)
            continue;
        DisplayEntry& entry = app.displays[app.displayCount];
        entry = DisplayEntry{};
        std::strncpy(entry.adapterName, info.adapterName.c_str(), sizeof entry.adapterName - 1);
        std::strncpy(entry.monitorName, info.monitorName.c_str(), sizeof entry.monitorName - 1);
        if (info.attached) {
            // Where the display really is: on X11 the primary may sit right of or below another.
            entry.bounds.left = info.x;
            entry.bounds.top = info.y;
            entry.bounds.right = entry.bounds.left + info.width;
            entry.bounds.bottom = entry.bounds.top + info.height;
            entry.monitor = info.monitor;
            if (info.primary && entry.monitor) primary = app.displayCount;
        }
        ++app.displayCount;
    }
    // Windows numbers its adapters in its own order: with an external display made the primary
    // one, the laptop's panel may come first, and would get the window sized for the other.
    std::rotate(app.displays, app.displays + primary, app.displays + primary + 1);
}
