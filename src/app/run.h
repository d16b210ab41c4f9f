#pragma once

#include <cstdint>

#include "app/screensaver_app.h"
#include "platform/platform.h"

// Seconds between two points of the high-resolution counter.
class FrameTimer {
public:
    virtual ~FrameTimer() = default;

    static void initFrequency();  // secondsPerTick, once per run
    void restart();               // lastCount = the counter now
    double elapsed();             // seconds since lastCount; does not restart

    int64_t lastCount = 0;
    double elapsedSeconds = 0.0;
};

extern double secondsPerTick;

// Where the run draws: its own full-screen window, or a window a screensaver host hands over.
struct RunTarget {
    bool hosted = false;        // --root / --window-id: the host owns the screen
    uint64_t hostWindow = 0;    // native window; 0 = the root window
    bool music = false;         // --music: a hosted run plays the music only when asked
};

// A host may start many copies (one a monitor, one for its settings preview): those stay silent
// unless the host asks for the music, and then only the first to claim it plays.
inline bool runPlaysMusic(const RunTarget& target, bool enableMusic) { return enableMusic && (!target.hosted || target.music); }

// The input rules of the GL window and the mouse-travel rule, apart from the windowing system.
struct RunInput {
    bool quitPosted = false;    // a quit is pending; taken once the queue is empty
    float mouseOffsetX = 0.0f;  // last pointer offset from the centre, times 0.3
    float mouseOffsetY = 0.0f;
    float mouseTravel = 0.0f;   // signed sum of the offsets over the whole run
    bool otherInput = false;    // a button or key that does not end the run, since the last frame
};

// One event of the GL window. Any key, the left or right button and closing post the quit; the
// middle button and the system's own keys do not (they set otherInput); motion records the offset
// from the centre. A hosted run reacts only to its window going away.
void handleRunEvent(RunInput& input, const platform::Event& event, int centreX, int centreY, bool hosted);

// Main-loop step 4: adds the pending offsets to the travel and clears them. True when the
// pointer must go back to the centre.
bool takeMouseTravel(RunInput& input);

// Main-loop step 5.
inline bool travelEndsRun(const RunInput& input, bool mouseExit) { return mouseExit && input.mouseTravel > 7.0f; }

// run(): the music was on and its audio library would not load; the run ended before its first
// frame, the screen given back.
constexpr int32_t kRunWithoutMusicLibrary = -1;

// The full-screen run: start, main loop, teardown. 0 when no window could be made; otherwise the
// parameter of the last message, which is 0 here.
int32_t run(ScreensaverApp& app, const RunTarget& target);
