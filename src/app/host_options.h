#pragma once

#include <string>
#include <vector>

#include "app/run.h"
#include "app/screensaver_app.h"

// What an xscreensaver host passes: --root, --window-id ID, --fps and --music, each also spelled
// with one dash. They count only beside --root or --window-id.
struct HostOptions {
    RunTarget target;
    bool fps = false;
};

// Takes the host's options out of args (argv without the program name) and appends the rest, for
// the switch grammar, to `rest`; without --root or --window-id every argument goes there.
// xscreensaverWindow: $XSCREENSAVER_WINDOW, or null. False, with a reason in error, when a window
// id cannot be read.
bool parseHostOptions(const std::vector<const char*>& args, const char* xscreensaverWindow, HostOptions& options,
                      std::vector<const char*>& rest, std::string& error);

// After the start-up: a hosted run is a run whatever the switches say; --fps shows the frame rate
// in a run, never in the settings the dialog saves.
void applyHostOptions(ScreensaverApp& app, const HostOptions& options);
