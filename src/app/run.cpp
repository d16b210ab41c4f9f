#include "app/run.h"

#include <string>

#include "app/scene_driver.h"
#include "audio/music_player.h"
#include "data/log.h"
#include "data/settings.h"
#include "math/random.h"
#include "platform/platform.h"
#include "render/gl_setup.h"
#include "scenes/loading_screen.h"

double secondsPerTick = 0.0;

void FrameTimer::initFrequency()
{
    secondsPerTick = 1.0 / static_cast<double>(static_cast<int64_t>(platform::counterFrequency()));
}

void FrameTimer::restart() { lastCount = static_cast<int64_t>(platform::counterTicks()); }

double FrameTimer::elapsed()
{
    elapsedSeconds = static_cast<double>(static_cast<int64_t>(platform::counterTicks()) - lastCount) * secondsPerTick;
    return elapsedSeconds;
}

void handleRunEvent(RunInput& input, const platform::Event& event, int centreX, int centreY, bool hosted)
{
    using platform::EventType;
    if (hosted) {
        // The host ends a hosted run (SIGTERM); only its window going away ends it here.
        if (event.type == EventType::Close)
            input.quitPosted = true;
        return;
    }
    switch (event.type) {
    case EventType::KeyDown:
    case EventType::Close:
        input.quitPosted = true;
        break;
    case EventType::ButtonDown:
        if (event.button == 1 || event.button == 3)
            input.quitPosted = true;
        else
            input.otherInput = true;
        break;
    case EventType::Motion:
        input.mouseOffsetX = static_cast<float>(event.x - centreX) * 0.3f;
        input.mouseOffsetY = static_cast<float>(event.y - centreY) * 0.3f;
        break;
    case EventType::SystemKey:
        input.otherInput = true;
        break;
    case EventType::Other:
        break;
    }
}

bool takeMouseTravel(RunInput& input)
{
    bool recentre = false;
    if (input.mouseOffsetX != 0.0f) {
        input.mouseTravel += input.mouseOffsetX;
        input.mouseOffsetX = 0.0f;
        recentre = true;
    }
    if (input.mouseOffsetY != 0.0f) {
        input.mouseTravel += input.mouseOffsetY;
        input.mouseOffsetY = 0.0f;
        recentre = true;
    }
    return recentre;
}

namespace {

void* gMainWindow = nullptr;
MusicPlayer* gRunMusic = nullptr;  // the run's player, for the session's end

// A step that could not be carried out: what it means for the run, then what the system said.
void logFailure(Log& log, const std::string& what)
{
    const std::string note = platform::takeFailureNote();
    log.write(what).write(note.empty() ? "" : " (" + note + ")").write("\n");
}

// Half the client area, truncated toward zero.
void windowCentre(int& x, int& y)
{
    int width = 0, height = 0;
    platform::windowClientSize(gMainWindow, width, height);
    x = width / 2;
    y = height / 2;
}

void centrePointer()
{
    int x = 0, y = 0;
    windowCentre(x, y);
    platform::warpPointer(gMainWindow, x, y);
}

// The GL window on the first attached display (the primary) where that display is, in the mode
// switched to, or over the display as it is when the switch was refused; black covers on the
// others. A hosted run takes the host's window and makes no covers.
bool createDisplayWindows(ScreensaverApp& app, const RunTarget& target, bool modeSet)
{
    for (uint32_t i = 0; i < app.displayCount; ++i) {
        DisplayEntry& entry = app.displays[i];
        if (!entry.monitor)
            continue;
        if (!gMainWindow) {
            const DisplayRect& b = entry.bounds;
            const int width = modeSet ? currentSettings.Width : b.right - b.left;
            const int height = modeSet ? currentSettings.Height : b.bottom - b.top;
            entry.window = target.hosted ? platform::attachGlWindow(target.hostWindow)
                                         : platform::createGlWindow(b.left, b.top, width, height);
            if (!entry.window)
                return false;
            gMainWindow = entry.window;
        } else if (!target.hosted) {
            const DisplayRect& b = entry.bounds;
            entry.window = platform::createCoverWindow(b.left, b.top, b.right - b.left, b.bottom - b.top);
            if (!entry.window)
                return false;
        }
    }
    return true;
}

void presentFrame() { platform::swapBuffers(); }

void closeAllWindows(ScreensaverApp& app)
{
    for (uint32_t i = 0; i < app.displayCount; ++i) {
        platform::closeWindow(app.displays[i].window);
        app.displays[i].window = nullptr;
    }
    gMainWindow = nullptr;
}

// Leaves the screen as it was found: the error paths of the start and the normal end share it.
void restoreScreen(bool hosted, int cursorHides)
{
    if (hosted)
        return;
    platform::restoreGamma();
    platform::restoreDisplayMode();
    for (int i = 0; i < cursorHides; ++i)
        platform::showCursor(true);
}

}  // namespace

int32_t run(ScreensaverApp& app, const RunTarget& target)
{
    const bool hosted = target.hosted;
    platform::installStopSignals();
    Log& log = Log::instance();

    // 1-3: log, random seed, timer.
    log.section("Start screensaver");
    log.write("Path is <").write(currentSettings.Path).write(">\n");
    Random::global().seed(static_cast<uint32_t>(platform::counterTicks()));
    log.write("Intialize timer...");
    FrameTimer timer;
    FrameTimer::initFrequency();
    log.done();

    // 5: the display mode; a refused mode leaves the display as it is. The host owns its screen.
    log.write("Set resolution: ").write(currentSettings.Width).write("x").write(currentSettings.Height).write("...");
    bool modeSet = true;
    if (!hosted) {
        modeSet = platform::setDisplayMode(currentSettings.Width, currentSettings.Height, currentSettings.Depth);
        platform::showCursor(false);
    }
    log.done();
    if (!modeSet)
        logFailure(log, "Display mode not changed, the run goes on in the current mode");

    // 6: windows and the GL context.
    log.write("Create window...");
    gMainWindow = nullptr;
    if (!createDisplayWindows(app, target, modeSet)) {
        logFailure(log, "\nNo window could be made");
        closeAllWindows(app);
        restoreScreen(hosted, 1);
        return 0;
    }
    // A context made current that answers nothing (an indirect one whose server side is broken)
    // would show a black screen until a key, every asset failing to load, with no word why.
    if (gMainWindow && !glContextAnswers()) {
        logFailure(log, "\nThe OpenGL context gives no version: nothing can be drawn");
        closeAllWindows(app);
        restoreScreen(hosted, 1);
        return 0;
    }
    log.done();
    if (!gMainWindow) {
        restoreScreen(hosted, 1);
        return 0;
    }

    // 7: music. A library that cannot be loaded ends the run, but not before the screen is back as
    // it was.
    MusicPlayer music;
    bool playMusic = runPlaysMusic(target, currentSettings.EnableMusic);
    if (playMusic && hosted && !platform::claimHostedMusic()) {
        log.write("Music: another run plays it\n");
        playMusic = false;
    }
    if (playMusic && !music.start(gMainWindow, app.instance)) {
        closeAllWindows(app);
        restoreScreen(hosted, 1);
        return kRunWithoutMusicLibrary;
    }
    // Log-off or shutdown may end the process before the teardown: the library and its copy in
    // the temporary folder go while the system waits.
    if (playMusic) {
        gRunMusic = &music;
        platform::setSessionEndHandler([] { gRunMusic->stop(); });
    }

    // 8-9: cursor, GL set-up (which also applies the gamma setting).
    if (!hosted)
        platform::showCursor(false);
    initGl();

    // 10-12: loading screen and the scene assets.
    log.section("Load resources");
    prepareLoadingScreen();
    // A host's window is shown when the host chooses (a settings pane may still be hidden).
    if (!hosted) {
        for (uint32_t i = 0; i < app.displayCount; ++i)
            platform::showWindow(app.displays[i].window, app.showCommand);
        platform::focusWindow(gMainWindow);
    }
    showLoadingScreen(presentFrame);
    setPresentFrame(presentFrame);
    loadSceneAssets();

    // 13-15.
    bool running = true;
    bool unseen = false;
    RunInput input;
    if (!hosted)
        centrePointer();
    log.write("Starting main loop...");
    timer.restart();
    if (playMusic)
        music.play();

    while (running) {
        if (platform::stopRequested()) {
            running = false;
            continue;
        }
        platform::Event event;
        if (platform::pollEvent(event)) {
            int centreX = 0, centreY = 0;
            if (event.type == platform::EventType::Motion)
                windowCentre(centreX, centreY);
            handleRunEvent(input, event, centreX, centreY, hosted);
            continue;
        }
        if (input.quitPosted) {
            running = false;
            continue;
        }
        // Frames nobody can see would only cost power; the scene waits and takes up where it was.
        if (!platform::glWindowSeen()) {
            platform::waitForEvent(100);
            unseen = true;
            continue;
        }
        if (unseen) {
            timer.restart();
            unseen = false;
        }
        const float dt = static_cast<float>(timer.elapsed());
        timer.restart();
        advanceAnimations(dt);
        if (!hosted) {
            const bool moved = takeMouseTravel(input);
            if (moved)
                centrePointer();
            // Input that leaves the run going is still the user's: the monitor must not sleep under it.
            if (moved || input.otherInput)
                platform::noteUserInput();
            input.otherInput = false;
        }
        if (!hosted && travelEndsRun(input, currentSettings.MouseExit))
            running = false;
        advanceTrack(dt);
        composeFrame(dt);
    }

    // Teardown.
    setPresentFrame(nullptr);
    platform::setSessionEndHandler(nullptr);
    if (playMusic)
        music.stop();
    if (!hosted) {
        // 2-3: the ramp and the mode as the user had them (linear only when the old ramp was unusable).
        if (!currentSettings.DefGamma)
            platform::restoreGamma();
        platform::restoreDisplayMode();
    }
    platform::destroyGlContext();
    if (!hosted)
        platform::showCursor(true);
    log.write("EXIT");
    for (uint32_t i = 0; i < app.displayCount; ++i) {
        if (app.displays[i].monitor) {
            platform::closeWindow(app.displays[i].window);
            app.displays[i].window = nullptr;
        }
    }
    gMainWindow = nullptr;
    if (!hosted)
        platform::showCursor(true);
    return 0;
}
