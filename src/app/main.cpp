// The Linux entry: long options first, then the screensaver command-line grammar over the rebuilt
// command line, as a Windows host would pass it.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "data/messages.h"
#include "platform/platform.h"

namespace {

const char* kUsage =
    "Usage: vesiclar [SWITCH]\n"
    "A 3D screensaver: a flight through the inside of a living cell.\n"
    "\n"
    "Switches (the first one counts):\n"
    "  /s, /a, /x ...   run full screen\n"
    "  /t               test run (same as /s)\n"
    "  /c[:HANDLE]      settings dialog (also with no switch at all)\n"
    "  /p HANDLE        paint the preview into window HANDLE\n"
    "\n"
    "Options:\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n";

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vesiclar %s\n", VESICLAR_VERSION);
            return 0;
        }
    }

    setMessageHandler(platform::showMessageBox);
    ScreensaverApp app;
    startUp(app, joinCommandLine(argc, argv));
    return dispatchMode(app);
}
