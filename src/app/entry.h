#pragma once

#include <string>

#include "app/run.h"
#include "app/screensaver_app.h"

// Start-up steps 2-10: tables, factory settings, command line, stored settings, displays, desktop
// mode, defaults record, working directory. Returns the mode to dispatch on.
int32_t startUp(ScreensaverApp& app, const std::string& commandLine);

// Step 11: runs the handler of app.mode and returns the process exit status: 0, or 1 after a line
// on standard error when the mode could not do its work (no display for the dialog or the run, no
// OpenGL window, an audio library for the music that will not load). `target` says where a run
// draws (a host's window or its own).
int dispatchMode(ScreensaverApp& app, const RunTarget& target = {});
