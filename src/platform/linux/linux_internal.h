#pragma once

// What the Linux files of the platform tell each other.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::linux_detail {

// X carries window ids in 32 bits: a larger number names no window (cut down, it would name
// another one).
inline bool isWindowId(uint64_t id) { return id != 0 && id <= 0xffffffffu; }

// A path from the environment as the user meant it: a relative one from the folder the program
// was started in, which the entry leaves for the temporary folder.
std::string fromStartDirectory(const std::string& path);

// True while the run's own full-screen GL window exists (not a host's window): only then may the
// display's gamma ramp change.
bool ownsScreen();

// The process's own connection for XRandR work, opened on first use; null without a display.
Display* xrandrDisplay();
// True when the X server is XWayland (a Wayland desktop's X server): its display modes other than
// the current one are only make-believe for the connection that asked, and it ignores gamma ramps.
bool underXwayland();

// Installs, once, an X error handler that records errors instead of ending the process: a window
// the host destroys under us must end the run cleanly, not abort it. A lost connection to the
// server ends the process at once with status 1 and a line on stderr.
void installXErrorHandler();
// Ends the process with status 1 and that line on stderr, written once whichever threads call it.
[[noreturn]] void endOnLostServer(const char* name);
// Starts a thread that ends the process through endOnLostServer(serverName) once the peer of the
// connection `fd` hangs up; false when no thread can be started.
bool watchForHangUp(int fd, const char* serverName);
// The code of the last X error since the previous call; 0 when none.
int takeXError();

// What the full-screen run changes on the X server and how it goes back: the mode of one CRTC,
// and the ramp of every CRTC that has one. The run and its guardian put them back alike.
struct ScreenSize {
    int width = 0, height = 0;      // pixels
    int widthMM = 0, heightMM = 0;  // millimetres
};
struct SavedMode {
    RRCrtc crtc = 0;
    RRMode mode = 0;
    int x = 0, y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
    bool screenGrown = false;  // the screen was grown for the mode and goes back to `screen`
    ScreenSize screen;
};
struct SavedRamp {
    RRCrtc crtc = 0;
    int size = 0;
    std::vector<uint16_t> red, green, blue;  // the ramp to put back: the one found, or linear if unusable
};
void putBackMode(Display* display, const SavedMode& mode);
void putBackRamps(Display* display, const std::vector<SavedRamp>& ramps);

// The display guardian (display_guardian.cpp): a child process that puts back what the run
// changed if the run dies before it does. guard* hands it what to put back, starting it on first
// use, and returns once it holds it, so the change may follow; false when no guardian runs (the
// change goes ahead unguarded). release* tells it that is back in place (or was never changed).
bool guardMode(const SavedMode& mode);
bool guardRamps(const std::vector<SavedRamp>& ramps);
void releaseMode();
void releaseRamps();

}  // namespace platform::linux_detail
