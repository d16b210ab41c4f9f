#include "app/entry.h"

#include <cstdio>

#include "app/displays.h"
#include "app/settings_store.h"
#include "data/text_tables.h"
#include "platform/platform.h"

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
    platform::setCurrentDirectory(platform::tempDirectory());
    return app.mode;
}

namespace {

int notBuiltYet(int32_t mode)
{
    std::fprintf(stderr, "vesiclar: %s is not built yet\n", modeName(mode));
    return 2;
}

}  // namespace

int dispatchMode(ScreensaverApp& app)
{
    switch (app.mode) {
    case kModeConfigure:
    case kModePreview:
    case kModeRun:
    case kModeTest:
        return notBuiltYet(app.mode);
    default:
        return 0;
    }
}
