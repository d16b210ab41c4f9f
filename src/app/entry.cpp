#include "app/entry.h"

#include <cstdio>
#include <cstdlib>

#include "app/displays.h"
#include "app/preview.h"
#include "app/settings_store.h"
#include "data/log.h"
#include "data/text_tables.h"
#include "platform/platform.h"
#include "ui/settings_dialog.h"

int32_t startUp(ScreensaverApp& app, const std::string& commandLine)
{
    loadSettingsTable();
    loadStringTable();
    initFactorySettings();
    parseCommandLine(app, commandLine);
    loadSettings();
    enumerateDisplays(app);
    if (currentSettings.UseDesktop) {
        int width = 0, height = 0, depth = 0;
        if (platform::desktopMode(width, height, depth)) {
            currentSettings.Width = width;
            currentSettings.Height = height;
            currentSettings.Depth = depth;
        }
    }
    rebuildDefaultSettings();
    // Without a private folder to move to, log.txt would be written wherever the program was
    // started, over any file of that name there.
    if (!platform::setCurrentDirectory(platform::tempDirectory()))
        Log::withoutFile();
    return app.mode;
}

namespace {

// The settings dialog; OK saves what the next run reads.
int runConfigure(const ScreensaverApp& app)
{
    if (runSettingsDialog(app.parentWindow, saveSettings) < 0) {
        std::fprintf(stderr, "vesiclar: the settings dialog needs a display (is DISPLAY set?)\n");
        return 1;
    }
    return 0;
}

// A run that ends before showing anything says why, and where the log is when there is one.
int failedRun(const char* why)
{
    if (Log::instance().isOpen())
        std::fprintf(stderr, "vesiclar: %s (see log.txt in %s)\n", why, platform::tempDirectory().c_str());
    else
        std::fprintf(stderr, "vesiclar: %s\n", why);
    return 1;
}

}  // namespace

int dispatchMode(ScreensaverApp& app, const RunTarget& target)
{
    switch (app.mode) {
    case kModeConfigure:
        return runConfigure(app);
    case kModePreview:
        runPreview(app);
        return 0;
    case kModeRun:
    case kModeTest:
        if (!platform::videoAvailable()) {
            std::fprintf(stderr, "vesiclar: cannot open the display%s; the screensaver needs X11\n",
                         std::getenv("DISPLAY") ? "" : " ($DISPLAY is not set)");
            return 1;
        }
        // The screen went black and back at once: without a word the user has nothing to go on.
        if (run(app, target) == kRunWithoutMusicLibrary)
            return failedRun("the music's audio library cannot be loaded");
        // Not one frame shown: the window could not be made (no OpenGL on this display, or the
        // host's window is not there). Ending quietly would look like a run that went well.
        if (platform::presentedFrames() == 0)
            return failedRun("no OpenGL window could be made");
        return 0;
    default:
        return 0;
    }
}
