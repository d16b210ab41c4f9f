#pragma once

// What the integration tests need around the real binary: a private X server, the program run
// with its own settings file and temporary folder, and a few looks at the screen.
#include <X11/Xlib.h>
#include <sys/types.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

enum class XServerKind {
    Xvfb,       // one RandR output, a screen of fixed size
    Xvfb16,     // the same with 16-bit colour only: no visual with 8-bit channels
    XvfbIndirect,  // Xvfb that allows indirect GLX contexts, as with ssh -X to a server that does
    XvfbTwoScreens,  // two X screens of that size, :N.0 and :N.1, as some multi-head desktops are
    XorgDummy,  // Xorg's dummy driver: outputs DUMMY0 to DUMMY15, each on when given a mode with
                // xrandr, and a screen that grows and shrinks as a real multi-monitor desktop's
    Xephyr,     // a nested server in a window of a private Xvfb: one RandR output that turns, as a
                // monitor stood on its side does (xrandr -o left)
};

// A private X server for one test program, on a display number the server picks itself; the
// first output shows width x height.
class XServer {
public:
    XServer(int width, int height, XServerKind kind = XServerKind::Xvfb);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return display_ != nullptr; }
    const std::string& name() const { return name_; }  // ":N"
    Display* display() const { return display_; }
    // Kills the server at once, as a crash or the end of a session would. The test's own
    // connection is left behind unclosed: closing it would make Xlib end the test.
    void kill();

private:
    pid_t pid_ = -1;
    std::string name_;
    std::string folder_;  // the dummy server's configuration and log
    std::unique_ptr<XServer> host_;  // the nested server's own server
    Display* display_ = nullptr;
};

// A Wayland desktop for X programs: Weston (the default shell) and the XWayland it starts, on a
// display number Weston picks itself. Headless, or with `host`, in a window on that X server, whose
// keyboard and pointer (xdotool there) become the desktop's own.
class WaylandDesktop {
public:
    WaylandDesktop(int width, int height, const XServer* host = nullptr);
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

    bool ok() const { return display_ != nullptr; }
    const std::string& name() const { return name_; }  // XWayland's ":N"
    Display* display() const { return display_; }
    // What a program started in the desktop's session has besides $DISPLAY ("NAME=value").
    const std::vector<std::string>& environment() const { return environment_; }

private:
    pid_t pid_ = -1;
    std::string folder_, name_;
    std::vector<std::string> environment_;
    Display* display_ = nullptr;
};

// One run of the program with its own settings and $TMPDIR.
class Program {
public:
    // settings: "Name=value" lines of the settings file. display: "" runs without $DISPLAY.
    Program(const std::string& display, const std::vector<std::string>& settings);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // extraEnvironment: "NAME=value" entries set for the program only.
    bool start(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment = {});
    // Waits until the log holds `text`; false on timeout or when the program ended first.
    bool waitForLog(const std::string& text, double seconds);
    // Waits for the end; false on timeout (the program is then killed). status: exit code, or
    // 128 + signal when a signal ended it.
    bool waitForExit(double seconds, int& status);
    bool running();
    void signal(int number);

    std::string log() const;
    std::string standardError() const;
    // Names of the files in the program's $TMPDIR, sorted.
    std::vector<std::string> temporaryFiles() const;
    pid_t pid() const { return pid_; }

private:
    bool reap(int options);

    std::string folder_, display_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

// The display guardians (the program started with --display-guardian) working for `display`.
std::vector<pid_t> guardianProcesses(const std::string& display);

// Runs xdotool with the arguments on `display`; true when it succeeded.
bool xdotool(const std::string& display, const std::vector<std::string>& arguments);
// Output of a command run with $DISPLAY set (trailing line end removed).
std::string commandOutput(const std::string& display, const std::vector<std::string>& arguments);

// Damage reports of `window` (and what is drawn into its children) during `seconds`: about one per
// presented frame. Returns early once `enough` have come, so a busy machine gets the whole time
// and an idle one does not wait for it.
int countDamage(Display* display, Window window, double seconds, int enough = INT_MAX);

// The first CRTC's gamma ramp, red channel; empty when the server has none.
std::vector<uint16_t> readRedGamma(Display* display);
// Sets every CRTC's ramp to (k / size)^exponent on all channels.
void writeGamma(Display* display, double exponent);
// Sets every CRTC's ramp to all zero, as Xvfb starts.
void writeBlankGamma(Display* display);

// The size of the mode the first CRTC shows; false when there is none.
bool crtcSize(Display* display, int& width, int& height);

// The top-level windows named `name`.
std::vector<Window> windowsNamed(Display* display, const std::string& name);
// Where a window is on the screen: root coordinates and size; all zero when it is not there.
struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowGeometry&) const = default;
};
WindowGeometry windowGeometry(Display* display, Window window);
// The pixels of a window as 0xRRGGBB, rows top first; empty when it cannot be read.
std::vector<uint32_t> windowPixels(Display* display, Window window, int& width, int& height);

void sleepSeconds(double seconds);
