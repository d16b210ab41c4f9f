#pragma once

#include <cstdint>
#include <string>

#include "app/display_entry.h"

enum RunMode : int32_t {
    kModeConfigure = 0,
    kModePreview = 1,
    kModeRun = 2,
    kModeTest = 3,
};

constexpr int kMaxDisplays = 9;

// The application object: one per process, on the entry function's stack.
class ScreensaverApp {
public:
    virtual ~ScreensaverApp() = default;

    int32_t mode = kModeConfigure;
    void* instance = nullptr;      // the executable's own module
    uintptr_t parentWindow = 0;    // handle from /c or /p; 0 when none was given
    int32_t showCommand = 0;
    DisplayEntry displays[kMaxDisplays];
    uint32_t displayCount = 0;
};

// Reads the run mode from the full command line, program name included; sets parentWindow.
int32_t parseCommandLine(ScreensaverApp& app, const std::string& commandLine);

// Rebuilds the full command line a Windows host would pass from argv: the program name quoted
// when it holds a blank, the arguments joined by blanks.
std::string joinCommandLine(int argc, const char* const* argv);

