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
    // One full-screen run at a time: a second would take the focus (ending the first), and each
    // would put back the display mode and gamma ramp under the other, the second the first's ramp.
    HANDLE runMutex = nullptr;
    if (app.mode == kModeRun || app.mode == kModeTest) {
        runMutex = CreateMutexA(nullptr, FALSE, "Vesiclar.FullScreenRun");
        if (runMutex && GetLastError() == ERROR_ALREADY_EXISTS)
            return 0;
    }
    dispatchMode(app);
    // The screen is given back: a run started now (Preview clicked again) need not wait for exit.
    if (runMutex)
        CloseHandle(runMutex);
    return 0;
}
