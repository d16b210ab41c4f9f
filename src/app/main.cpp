// The Linux entry: long options first, then the screensaver command-line grammar over the rebuilt
// command line, as a Windows host would pass it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/offscreen_render.h"
#include "app/scene_world.h"
#include "data/messages.h"
#include "data/settings.h"
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
    "As an xscreensaver hack:\n"
    "  --root, -root    draw into $XSCREENSAVER_WINDOW, else the root window\n"
    "  --window-id ID, -window-id ID\n"
    "                   draw into window ID (decimal or 0x hex); wins over --root\n"
    "  --fps, -fps      show the frame rate\n"
    "\n"
    "Options:\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n";

bool isOption(const char* arg, const char* name)
{
    // Both spellings: -name as xscreensaver writes it, --name as GNU tools do.
    return arg[0] == '-' && (std::strcmp(arg + 1, name) == 0 || (arg[1] == '-' && std::strcmp(arg + 2, name) == 0));
}

// A window id as X prints it: decimal, or hexadecimal after 0x.
bool parseWindowId(const char* text, uint64_t& id)
{
    if (!text || !*text || *text == '-')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || value == 0)
        return false;
    id = value;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // The scene objects come first: their random layouts are drawn before anything seeds.
    sceneWorld();

    bool render = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-help") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(kRenderUsage, stdout);
            return 0;
        }
        render = render || std::strcmp(argv[i], "--render") == 0;
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vesiclar %s\n", VESICLAR_VERSION);
            return 0;
        }
    }

    if (render) {
        RenderOptions options;
        std::string error;
        if (!parseRenderOptions(std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1)), options, error)) {
            std::fprintf(stderr, "vesiclar: %s (see --help)\n", error.c_str());
            return 2;
        }
        return renderOffscreen(options);
    }

    // The xscreensaver options are taken out first; what is left is the usual switch grammar.
    RunTarget target;
    bool root = false, fps = false, windowGiven = false;
    std::vector<const char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (isOption(argv[i], "root")) {
            root = true;
        } else if (isOption(argv[i], "fps")) {
            fps = true;
        } else if (isOption(argv[i], "window-id")) {
            if (i + 1 >= argc || !parseWindowId(argv[i + 1], target.hostWindow)) {
                std::fprintf(stderr, "vesiclar: --window-id needs a window id (decimal or 0x hex)\n");
                return 2;
            }
            windowGiven = true;
            ++i;
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (root && !windowGiven) {
        const char* hostWindow = std::getenv("XSCREENSAVER_WINDOW");
        if (hostWindow && *hostWindow && !parseWindowId(hostWindow, target.hostWindow)) {
            std::fprintf(stderr, "vesiclar: XSCREENSAVER_WINDOW is not a window id: %s\n", hostWindow);
            return 2;
        }
    }
    target.hosted = root || windowGiven;

    setMessageHandler(platform::showMessageBox);
    ScreensaverApp app;
    startUp(app, joinCommandLine(static_cast<int>(rest.size()), rest.data()));
    if (target.hosted)
        app.mode = kModeRun;
    if (fps)
        currentSettings.ShowFPS = true;
    return dispatchMode(app, target);
}
