#include "app/displays.h"

#include <cstring>

#include "platform/platform.h"

void enumerateDisplays(ScreensaverApp& app)
{
    app.displayCount = 0;
    platform::AdapterInfo info;
    for (int i = 0; app.displayCount < kMaxDisplays && platform::displayAdapter(i, info); ++i) {
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
        }
        ++app.displayCount;
    }
}
