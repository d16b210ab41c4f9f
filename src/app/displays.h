#pragma once

#include "app/screensaver_app.h"
#include "platform/platform.h"

// Where the adapters come from: the system's, or a test's.
using DisplayAdapterSource = bool (*)(int index, platform::AdapterInfo& out);

// Fills app.displays and app.displayCount with the adapters of the desktop, at most nine, the
// primary display first: the run's window goes on the first attached entry, and the mode switch
// and the desktop mode are the primary's.
void enumerateDisplays(ScreensaverApp& app, DisplayAdapterSource adapter = platform::displayAdapter);
