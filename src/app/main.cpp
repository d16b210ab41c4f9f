// The Linux entry: long options first, then the screensaver command-line grammar over the rebuilt
// command line, as a Windows host would pass it.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/host_options.h"
#include "app/offscreen_render.h"
#include "app/scene_world.h"
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
    "As an xscreensaver hack:\n"
    "  --root, -root    draw into $XSCREENSAVER_WINDOW, else the root window\n"
    "  --window-id ID, -window-id ID\n"
    "                   draw into window ID (decimal or 0x hex); wins over --root\n"
    "  --fps, -fps      show the frame rate\n"
    "  --music, -music  play the music (if it is on in the settings)\n"
    "  These count only beside --root or --window-id; alone, --fps is a full-screen run.\n"
    "\n"
    "Options:\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n";

// What was printed must have reached its reader: a full disk or a broken pipe is no success.
int standardOutputStatus()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fputs("vesiclar: cannot write to standard output\n", stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef __GLIBC__
    // A software GL driver takes megabytes of scene memory each frame and frees it again; left to
    // its defaults, glibc hands that back to the kernel every frame and faults it in zeroed again
    // (a fifth of the CPU of some frames). Kept, the heap stays at the largest frame's size.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
    platform::openClosedStandardStreams();
    if (argc == 2 && std::strcmp(argv[1], platform::kDisplayGuardianOption) == 0)
        return platform::runDisplayGuardian();

    // The scene objects come first: their random layouts are drawn before anything seeds.
    sceneWorld();

    bool render = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-help") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(kRenderUsage, stdout);
            return standardOutputStatus();
        }
        render = render || std::strcmp(argv[i], "--render") == 0;
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vesiclar %s\n", VESICLAR_VERSION);
            return standardOutputStatus();
        }
    }

    if (render) {
        RenderOptions options;
        std::string error;
        if (!parseRenderOptions(std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1)), options, error)) {
            std::fprintf(stderr, "vesiclar: %s (see --help)\n", error.c_str());
            return 2;
        }
        const int status = renderOffscreen(options);
        return status != 0 ? status : standardOutputStatus();
    }

    // The xscreensaver options are taken out first; what is left is the usual switch grammar.
    HostOptions options;
    std::vector<const char*> rest{argv[0]};
    std::string error;
    if (!parseHostOptions(std::vector<const char*>(argv + 1, argv + argc), std::getenv("XSCREENSAVER_WINDOW"), options,
                          rest, error)) {
        std::fprintf(stderr, "vesiclar: %s\n", error.c_str());
        return 2;
    }

    if (options.target.hosted)
        platform::prepareHostedVideo();
    setMessageHandler(platform::showMessageBox);
    ScreensaverApp app;
    startUp(app, joinCommandLine(static_cast<int>(rest.size()), rest.data()));
    applyHostOptions(app, options);
    // One full-screen run at a time on a display, as on Windows: a second would take the first's
    // ramp for the user's and put it back at its end, and stay up after the key that ends the first.
    const bool fullScreen = (app.mode == kModeRun || app.mode == kModeTest) && !options.target.hosted;
    if (fullScreen && !platform::claimFullScreenRun()) {
        std::fprintf(stderr, "vesiclar: a full-screen run is already going on this display\n");
        return 0;
    }
    const int status = dispatchMode(app, options.target);
    if (fullScreen)
        platform::releaseFullScreenRun();
    return status;
}
