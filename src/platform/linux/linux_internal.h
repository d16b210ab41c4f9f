#pragma once

// What the Linux files of the platform tell each other.
#include <X11/Xlib.h>

namespace platform::linux_detail {

// True while the run's own full-screen GL window exists (not a host's window): only then may the
// display's gamma ramp change.
bool ownsScreen();

// The process's own connection for XRandR work, opened on first use; null without a display.
Display* xrandrDisplay();

// Installs, once, an X error handler that records errors instead of ending the process: a window
// the host destroys under us must end the run cleanly, not abort it.
void installXErrorHandler();
// The code of the last X error since the previous call; 0 when none.
int takeXError();

}  // namespace platform::linux_detail
