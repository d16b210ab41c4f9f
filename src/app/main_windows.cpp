// The Windows entry: the screensaver host starts Vesiclar.scr with /s, /c[:HWND] or /p HWND.
// The command line is read back whole from the system, program name included, as the switch
// grammar expects; WinMain's own copy lacks the name.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "app/entry.h"
#include "app/scene_world.h"
#include "data/messages.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    // The scene objects come first: their random layouts are drawn before anything seeds.
    sceneWorld();
    setMessageHandler(platform::showMessageBox);

    ScreensaverApp app;
    app.instance = instance;
    app.showCommand = showCommand;
    startUp(app, GetCommandLineA());
    dispatchMode(app);
    return 0;
}
