#pragma once

#include "data/settings.h"

// The stored values over currentSettings; absent or ill-typed values keep what is there.
void loadSettings();
// currentSettings to the store ("Path" is never written). False when the store could not be written.
bool saveSettings();
