#pragma once

#include "app/screensaver_app.h"

// Fills app.displays and app.displayCount with the adapters of the desktop, at most nine.
void enumerateDisplays(ScreensaverApp& app);
