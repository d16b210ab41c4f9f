// The real program under a private Xvfb: how a run starts, what ends it, what it leaves behind.
#include <SDL.h>
#include <X11/Xatom.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/preview.h"
#include "app/run.h"
#include "platform/platform.h"
#include "data/resources.h"
#include "x_session.h"

#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>

namespace {

constexpr double kStartSeconds = 60;  // the loader's work under a software rasterizer
constexpr double kEndSeconds = 10;
const char* kMainLoop = "Starting main loop...";

std::vector<std::string> baseSettings()
{
    return {"UseDesktop=0", "Width=800", "Height=600", "Depth=32", "EnableMusic=0", "VSync=0", "DefGamma=1"};
}

std::vector<std::string> with(std::vector<std::string> settings, const std::vector<std::string>& more)
{
    settings.insert(settings.end(), more.begin(), more.end());
    return settings;
}

std::string hex(Window window)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
    return text;
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<XServer>(800, 600);
        ASSERT_TRUE(server->ok()) << "Xvfb did not start";
    }

    // Starts `vesiclar /s` and waits until its loop runs.
    std::unique_ptr<Program> startRun(const std::vector<std::string>& settings,
                                      const std::vector<std::string>& arguments = {"/s"},
                                      const std::vector<std::string>& environment = {})
    {
        auto program = std::make_unique<Program>(server->name(), settings);
        EXPECT_TRUE(program->start(arguments, environment));
        EXPECT_TRUE(program->waitForLog(kMainLoop, kStartSeconds))
            << "log:\n" << program->log() << "\nstderr:\n" << program->standardError();
        return program;
    }

    // The loop must still be going a moment after `action`.
    void expectStillRunning(Program& program, const char* action)
    {
        sleepSeconds(0.7);
        EXPECT_TRUE(program.running()) << action << " ended the run";
    }

    void expectCleanEnd(Program& program, const char* action)
    {
        int status = -1;
        ASSERT_TRUE(program.waitForExit(kEndSeconds, status)) << action << " did not end the run";
        EXPECT_EQ(status, 0) << action;
        const std::string log = program.log();
        ASSERT_GE(log.size(), 4u);
        EXPECT_EQ(log.substr(log.size() - 4), "EXIT") << action << ": the log must end with EXIT, no line end";
    }

    Window topWindow(const char* name)
    {
        const std::vector<Window> windows = windowsNamed(server->display(), name);
        return windows.empty() ? 0 : windows.front();
    }

    Window makeHostWindow(int width, int height)
    {
        Display* d = server->display();
        const Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, static_cast<unsigned>(width),
                                                  static_cast<unsigned>(height), 0, 0, WhitePixel(d, 0));
        XStoreName(d, window, "host");
        XMapWindow(d, window);
        XSync(d, False);
        return window;
    }

    // A mapped window with a 32-bit visual, whose top byte is the opacity a compositor blends it
    // with (what compositing desktops and some lockers hand over); None without such a visual. Its
    // colour map goes with the test's server.
    Window makeWindowWithAlpha(int width, int height)
    {
        Display* d = server->display();
        XVisualInfo visual{};
        if (!XMatchVisualInfo(d, DefaultScreen(d), 32, TrueColor, &visual))
            return None;
        XSetWindowAttributes attributes{};
        attributes.colormap = XCreateColormap(d, DefaultRootWindow(d), visual.visual, AllocNone);
        const Window window = XCreateWindow(d, DefaultRootWindow(d), 10, 10, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, 32, InputOutput, visual.visual,
                                            CWColormap | CWBackPixel | CWBorderPixel, &attributes);
        XMapWindow(d, window);
        XSync(d, False);
        return window;
    }

    std::unique_ptr<XServer> server;
};

TEST_F(RunTest, AnyKeyEndsTheRunAndTheLogHoldsItsStepsInOrder)
{
    auto program = startRun(baseSettings());
    ASSERT_TRUE(xdotool(server->name(), {"key", "space"}));
    expectCleanEnd(*program, "a key");

    const std::string log = program->log();
    const char* steps[] = {
        "............... Start screensaver ...............\n",
        "Intialize timer...done\n",
        "Set resolution: 800x600...done\n",
        "Create window...done\n",
        "............... Initialize OpenGL ...............\n",
        "Set swap interval ...done\n",
        "............... Load resources ...............\n",
        "Load texture <",
        "Load mesh <",
        "Load vertex animation track <",
        kMainLoop,
        "EXIT",
    };
    size_t at = 0;
    for (const char* step : steps) {
        const size_t found = log.find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\nlog:\n" << log;
        at = found + 1;
    }
    EXPECT_EQ(log.rfind("EXIT"), log.size() - 4);
}

TEST_F(RunTest, LeftAndRightButtonsEndTheRunTheMiddleButtonDoesNot)
{
    auto left = startRun(baseSettings());
    ASSERT_TRUE(xdotool(server->name(), {"click", "2"}));
    expectStillRunning(*left, "the middle button");
    ASSERT_TRUE(xdotool(server->name(), {"click", "1"}));
    expectCleanEnd(*left, "the left button");

    auto right = startRun(baseSettings());
    ASSERT_TRUE(xdotool(server->name(), {"click", "3"}));
    expectCleanEnd(*right, "the right button");
}

TEST_F(RunTest, ClosingOrDestroyingTheWindowEndsTheRun)
{
    auto closed = startRun(baseSettings());
    Window window = topWindow("Vesiclar");
    ASSERT_NE(window, 0u);
    // A close request, as a window manager sends it.
    Display* d = server->display();
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &request);
    XSync(d, False);
    expectCleanEnd(*closed, "a close request");

    auto destroyed = startRun(baseSettings());
    window = topWindow("Vesiclar");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(xdotool(server->name(), {"windowclose", std::to_string(window)}));
    expectCleanEnd(*destroyed, "destroying the window");
}

TEST_F(RunTest, AKeyStillEndsTheRunAfterAnotherWindowTookTheFocus)
{
    auto program = startRun(baseSettings());
    // A program that pops up and takes the focus while the screensaver runs (a chat window, a
    // dialog): the user's next key must still end the run, not go to that window.
    Display* d = server->display();
    const Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 200, 0, 0, 0);
    XSelectInput(d, other, KeyPressMask | FocusChangeMask);
    XMapRaised(d, other);
    XSync(d, False);
    XSetInputFocus(d, other, RevertToParent, CurrentTime);
    XSync(d, False);
    sleepSeconds(0.5);
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key after the focus went elsewhere");
    XDestroyWindow(d, other);
    XSync(d, False);
}

// A menu left open (or the launcher's hot key still down) holds the keyboard as the run starts, so
// the run cannot take it then. Once that is let go the run must hold the keyboard as any run does:
// a program that grabs it later (a password prompt, another menu) would otherwise swallow the keys
// meant to end the run, hidden under it.
TEST_F(RunTest, AKeyboardHeldByAnotherProgramAtTheStartIsTakenOnceItIsLetGo)
{
    Display* d = server->display();
    XSetWindowAttributes popup{};
    popup.override_redirect = True;
    const Window menu = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWOverrideRedirect, &popup);
    XMapRaised(d, menu);
    XSync(d, False);
    ASSERT_EQ(XGrabKeyboard(d, menu, True, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    XSync(d, False);

    auto program = startRun(baseSettings());
    XUngrabKeyboard(d, CurrentTime);
    XDestroyWindow(d, menu);
    XSync(d, False);
    sleepSeconds(1);

    const Window prompt = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWOverrideRedirect, &popup);
    XMapWindow(d, prompt);
    XSync(d, False);
    EXPECT_NE(XGrabKeyboard(d, prompt, True, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess)
        << "another program took the keyboard from under the run";
    XSync(d, False);
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key after another program tried to take the keyboard");
    XUngrabKeyboard(d, CurrentTime);
    XDestroyWindow(d, prompt);
    XSync(d, False);
}

// Once the run's window went, X handed the keyboard to the root window, and a window manager that
// does not pick a window itself then (Xfce's) left no window focused: the user's typing after the
// screen saver went nowhere.
TEST_F(RunTest, AfterTheRunTheKeyboardGoesBackToTheWindowThatHadIt)
{
    Display* d = server->display();
    const Window editor = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 200, 0, 0, 0);
    XMapRaised(d, editor);
    XSync(d, False);
    XSetInputFocus(d, editor, RevertToPointerRoot, CurrentTime);
    XSync(d, False);

    auto program = startRun(baseSettings());
    ASSERT_TRUE(xdotool(server->name(), {"key", "space"}));
    expectCleanEnd(*program, "a key");
    Window focus = None;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    EXPECT_EQ(hex(focus), hex(editor));
    XDestroyWindow(d, editor);
    XSync(d, False);

    // The keyboard following the pointer (X's own start, a desktop without a window manager): it
    // once fell to nothing with the run's window, and every key typed after the run was lost.
    XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    program = startRun(baseSettings());
    ASSERT_TRUE(xdotool(server->name(), {"key", "space"}));
    expectCleanEnd(*program, "a key");
    XGetInputFocus(d, &focus, &revert);
    EXPECT_EQ(hex(focus), hex(PointerRoot));
}

TEST_F(RunTest, OnlyTheRunHoldsTheDesktopsScreenSaverOff)
{
    Display* d = server->display();
    XSetScreenSaver(d, 2, 0, DontPreferBlanking, AllowExposures);
    // Idle for longer than the saver's two seconds: is it on?
    auto saverStartsWhileIdle = [&] {
        XResetScreenSaver(d);
        XSync(d, False);
        sleepSeconds(3.5);
        XScreenSaverInfo info{};
        return XScreenSaverQueryInfo(d, DefaultRootWindow(d), &info) && info.state == ScreenSaverOn;
    };
    // Without a session bus the hold goes through the X server, where the test can see it.
    const std::vector<std::string> noSessionBus{"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"};

    // A settings dialog left open must not keep the screen from blanking and locking.
    Program dialog(server->name(), baseSettings());
    ASSERT_TRUE(dialog.start({}, noSessionBus));
    for (int i = 0; i < 300 && topWindow("Vesiclar Configuration") == 0; ++i)
        sleepSeconds(0.1);
    ASSERT_NE(topWindow("Vesiclar Configuration"), 0u) << dialog.standardError();
    EXPECT_TRUE(saverStartsWhileIdle()) << "the settings dialog held the screen saver off";
    dialog.signal(SIGTERM);
    int status = -1;
    ASSERT_TRUE(dialog.waitForExit(kEndSeconds, status));

    auto run = startRun(baseSettings(), {"/s"}, noSessionBus);
    EXPECT_FALSE(saverStartsWhileIdle()) << "another screen saver started over the run";
    run->signal(SIGTERM);
    expectCleanEnd(*run, "SIGTERM");
}

TEST_F(RunTest, ARunThatCannotMakeItsWindowSaysSoAndExitsWithStatusOne)
{
    // A window id that names no window: nothing can be shown, which must not pass for a run.
    Program program(server->name(), baseSettings());
    ASSERT_TRUE(program.start({"-window-id", "0x1234567"}));
    int status = -1;
    ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
    EXPECT_EQ(status, 1);
    const std::string error = program.standardError();
    EXPECT_NE(error.find("OpenGL window"), std::string::npos) << error;
    const std::string log = program.log();
    EXPECT_NE(log.find("Create window...\nNo window could be made"), std::string::npos) << log;
}

TEST_F(RunTest, AHostWindowThatIsGoneOrIsNoWindowIsRefusedWithoutACrash)
{
    // Ids a live client handed out: a preview pane closed before its hack started, and a pixmap.
    Display* d = server->display();
    const Window gone = makeHostWindow(320, 240);
    XDestroyWindow(d, gone);
    const Pixmap pixmap = XCreatePixmap(d, DefaultRootWindow(d), 64, 64, static_cast<unsigned>(DefaultDepth(d, 0)));
    XSync(d, False);
    for (const XID id : {gone, pixmap}) {
        Program program(server->name(), baseSettings());
        ASSERT_TRUE(program.start({"-window-id", hex(id)}));
        int status = -1;
        ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
        EXPECT_EQ(status, 1) << (id == gone ? "a destroyed window" : "a pixmap");
        EXPECT_NE(program.standardError().find("OpenGL window"), std::string::npos) << program.standardError();
        EXPECT_NE(program.log().find("No window could be made"), std::string::npos) << program.log();
    }
    XFreePixmap(d, pixmap);
}

TEST_F(RunTest, AHostWindowDestroyedWhileTheRunTakesItOverEndsTheRun)
{
    // A settings pane closed just as its preview starts. The run marks the window as a drop target
    // and takes the mark back as it adopts it; the window goes then, or a little later, while the
    // GL context is made.
    Display* d = server->display();
    const Atom dropMark = XInternAtom(d, "XdndAware", False);
    const int delays[] = {0, 0, 0, 1000, 1500, 2000, 2500, 3000};  // microseconds after the mark goes
    for (const int delay : delays) {
        const Window host = makeHostWindow(320, 240);
        XSelectInput(d, host, PropertyChangeMask);
        XSync(d, False);
        Program program(server->name(), baseSettings());
        ASSERT_TRUE(program.start({"--window-id", hex(host)}));
        bool markTakenBack = false;
        for (int waited = 0; waited < 10000 && !markTakenBack && program.running(); ++waited) {
            while (!markTakenBack && XPending(d)) {
                XEvent event;
                XNextEvent(d, &event);
                markTakenBack = event.type == PropertyNotify && event.xproperty.window == host &&
                                event.xproperty.atom == dropMark && event.xproperty.state == PropertyDelete;
            }
            if (!markTakenBack) {
                pollfd connection{ConnectionNumber(d), POLLIN, 0};
                ::poll(&connection, 1, 1);
            }
        }
        ASSERT_TRUE(markTakenBack) << program.standardError();
        sleepSeconds(delay / 1e6);
        XDestroyWindow(d, host);
        XSync(d, False);
        int status = -1;
        ASSERT_TRUE(program.waitForExit(kEndSeconds, status))
            << "gone " << delay << " us after the mark: the run went on drawing into a window that is gone";
        EXPECT_LT(status, 128) << "gone " << delay << " us after the mark: ended by signal " << status - 128;
    }
}

TEST_F(RunTest, MouseTravelBeyondSevenEndsTheRunOnlyWithMouseExit)
{
    const auto mouseExit = with(baseSettings(), {"MouseExit=1"});
    auto far = startRun(mouseExit);
    ASSERT_TRUE(xdotool(server->name(), {"mousemove", "424", "300"}));  // 24 × 0.3 = 7.2
    expectCleanEnd(*far, "24 pixels right");

    auto near = startRun(mouseExit);
    ASSERT_TRUE(xdotool(server->name(), {"mousemove", "423", "300"}));  // 6.9
    expectStillRunning(*near, "23 pixels right");
    // The pointer went back to the centre (at the run's next frame): the same move again adds up past 7.
    std::string pointer;
    for (int i = 0; i < 50 && pointer != "X=400\nY=300\n"; ++i) {
        if (i)
            sleepSeconds(0.1);
        pointer = commandOutput(server->name(), {"xdotool", "getmouselocation", "--shell"}).substr(0, 12);
    }
    EXPECT_EQ(pointer, "X=400\nY=300\n");
    ASSERT_TRUE(xdotool(server->name(), {"mousemove", "423", "300"}));
    expectCleanEnd(*near, "23 pixels right twice");

    auto left = startRun(mouseExit);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(xdotool(server->name(), {"mousemove", "300", "300"}));
        sleepSeconds(0.2);
    }
    expectStillRunning(*left, "moving left");
    ASSERT_TRUE(xdotool(server->name(), {"key", "Escape"}));
    expectCleanEnd(*left, "a key after moving left");

    auto off = startRun(baseSettings());
    ASSERT_TRUE(xdotool(server->name(), {"mousemove", "700", "500"}));
    expectStillRunning(*off, "moving with MouseExit off");
    ASSERT_TRUE(xdotool(server->name(), {"key", "q"}));
    expectCleanEnd(*off, "a key");
}

TEST_F(RunTest, GammaIsSetForTheRunAndTheUsersRampPutBack)
{
    Display* d = server->display();
    writeGamma(d, 0.8);
    const std::vector<uint16_t> before = readRedGamma(d);
    ASSERT_EQ(before.size(), 256u) << "Xvfb's CRTC ramp";

    // Gamma 100: exponent 0.5.
    auto program = startRun(with(baseSettings(), {"DefGamma=0", "Gamma=100"}));
    const std::vector<uint16_t> during = readRedGamma(d);
    ASSERT_EQ(during.size(), 256u);
    EXPECT_EQ(during[16], 16384);
    EXPECT_EQ(during[64], 32768);
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key");
    EXPECT_EQ(readRedGamma(d), before) << "the ramp in force before the run is put back exactly";

    // A blank ramp (as Xvfb starts with) is no ramp to restore: linear instead.
    writeBlankGamma(d);
    auto again = startRun(with(baseSettings(), {"DefGamma=0", "Gamma=0"}));
    EXPECT_EQ(readRedGamma(d)[64], 8192);  // exponent 1.5
    again->signal(SIGTERM);
    expectCleanEnd(*again, "SIGTERM");
    const std::vector<uint16_t> after = readRedGamma(d);
    ASSERT_EQ(after.size(), 256u);
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(after[k], k * 256) << "entry " << k;

    // DefGamma on: never touched.
    writeGamma(d, 0.8);
    auto untouched = startRun(with(baseSettings(), {"DefGamma=1", "Gamma=100"}));
    EXPECT_EQ(readRedGamma(d), before);
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*untouched, "a key");
    EXPECT_EQ(readRedGamma(d), before);
}

TEST_F(RunTest, ASecondFullScreenRunLeavesTheScreenToTheFirst)
{
    Display* d = server->display();
    writeGamma(d, 0.8);
    const std::vector<uint16_t> before = readRedGamma(d);
    const std::vector<std::string> settings = with(baseSettings(), {"DefGamma=0", "Gamma=100"});
    auto first = startRun(settings);

    // A daemon that tries again, or a run started twice by hand.
    Program second(server->name(), settings);
    ASSERT_TRUE(second.start({"/s"}));
    int status = -1;
    ASSERT_TRUE(second.waitForExit(kEndSeconds, status)) << "a second full-screen run came up over the first";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(second.log().find("Start screensaver"), std::string::npos) << second.log();
    EXPECT_TRUE(first->running());

    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*first, "a key");
    EXPECT_EQ(readRedGamma(d), before) << "the user's ramp is back";
}

TEST_F(RunTest, DisplayModeChangesForTheRunAndComesBack)
{
    const std::string& x = server->name();
    commandOutput(x, {"xrandr", "--newmode", "640x480_test", "25.175", "640", "656", "752", "800", "480", "490", "492",
                      "525"});
    commandOutput(x, {"xrandr", "--addmode", "screen", "640x480_test"});
    Display* d = server->display();
    int width = 0, height = 0;
    ASSERT_TRUE(crtcSize(d, width, height));
    ASSERT_EQ(width, 800);

    auto program = startRun(with(baseSettings(), {"Width=640", "Height=480"}));
    ASSERT_TRUE(crtcSize(d, width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_NE(program->log().find("Set resolution: 640x480...done\n"), std::string::npos);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(d, topWindow("Vesiclar"), &attributes));
    EXPECT_EQ(attributes.width, 640) << "the window has the configured size at the origin";
    EXPECT_EQ(attributes.x, 0);
    program->signal(SIGTERM);
    expectCleanEnd(*program, "SIGTERM");
    ASSERT_TRUE(crtcSize(d, width, height));
    EXPECT_EQ(width, 800) << "the mode in force before is back";
    EXPECT_EQ(height, 600);

    // A size the display does not offer leaves the mode alone; the run goes on.
    auto refused = startRun(with(baseSettings(), {"Width=1024", "Height=768"}));
    EXPECT_NE(refused->log().find("Set resolution: 1024x768...done\n"), std::string::npos);
    ASSERT_TRUE(crtcSize(d, width, height));
    EXPECT_EQ(width, 800);
    ASSERT_TRUE(xdotool(x, {"key", "a"}));
    expectCleanEnd(*refused, "a key");
}

TEST_F(RunTest, StopSignalsTearDownInOrder)
{
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        Display* d = server->display();
        writeGamma(d, 0.9);
        const std::vector<uint16_t> before = readRedGamma(d);
        auto program = startRun(with(baseSettings(), {"DefGamma=0", "Gamma=80"}));
        EXPECT_NE(readRedGamma(d), before);
        program->signal(number);
        expectCleanEnd(*program, strsignal(number));
        EXPECT_EQ(readRedGamma(d), before) << strsignal(number);
        EXPECT_EQ(topWindow("Vesiclar"), 0u) << "the window is gone after " << strsignal(number);
    }
}

TEST_F(RunTest, FramesArePresentedContinuouslyAndShowTheScene)
{
    auto program = startRun(with(baseSettings(), {"Detail=0"}));
    Display* d = server->display();
    const int frames = countDamage(d, DefaultRootWindow(d), 2.0);
    EXPECT_GE(frames, 3) << "presented frames in two seconds";
    std::printf("[ measure  ] %d frames presented in 2 s at 800x600\n", frames);

    int width = 0, height = 0;
    const std::vector<uint32_t> first = windowPixels(d, DefaultRootWindow(d), width, height);
    sleepSeconds(0.5);
    const std::vector<uint32_t> later = windowPixels(d, DefaultRootWindow(d), width, height);
    ASSERT_EQ(first.size(), 800u * 600u);
    ASSERT_EQ(later.size(), first.size());
    size_t distinct = 0, changed = 0;
    std::vector<uint32_t> sorted = first;
    std::sort(sorted.begin(), sorted.end());
    distinct = static_cast<size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
    for (size_t i = 0; i < first.size(); ++i)
        changed += first[i] != later[i];
    EXPECT_GT(distinct, 100u) << "a picture, not a cleared screen";
    EXPECT_GT(changed, first.size() / 20) << "the picture moves between frames";

    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key");
}

// A screen of 16-bit colour only, as older cards and thin clients have: the run takes the best
// format there is rather than none.
class SixteenBitRunTest : public RunTest {
protected:
    void SetUp() override
    {
        server = std::make_unique<XServer>(800, 600, XServerKind::Xvfb16);
        ASSERT_TRUE(server->ok()) << "Xvfb did not start";
    }
};

TEST_F(SixteenBitRunTest, TheRunDrawsTheSceneAndEndsOnAKey)
{
    auto program = startRun(with(baseSettings(), {"Detail=0"}));
    ASSERT_TRUE(program->running());
    Display* d = server->display();
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = windowPixels(d, DefaultRootWindow(d), width, height);
    ASSERT_EQ(pixels.size(), 800u * 600u);
    std::sort(pixels.begin(), pixels.end());
    EXPECT_GT(std::unique(pixels.begin(), pixels.end()) - pixels.begin(), 100) << "a picture, not a cleared screen";
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key");
}

// Indirect rendering, as over ssh -X: the context is the X server's. Where that context answers
// nothing (this Xvfb's does not), the run must say so and end, not show a black screen until a key.
class IndirectRunTest : public RunTest {
protected:
    void SetUp() override
    {
        server = std::make_unique<XServer>(800, 600, XServerKind::XvfbIndirect);
        ASSERT_TRUE(server->ok()) << "Xvfb did not start";
    }
};

TEST_F(IndirectRunTest, TheSceneIsDrawnOrTheRunSaysItCannot)
{
    Program program(server->name(), with(baseSettings(), {"Detail=0"}));
    ASSERT_TRUE(program.start({"/s"}, {"LIBGL_ALWAYS_INDIRECT=1"}));
    if (!program.waitForLog(kMainLoop, kStartSeconds)) {
        int status = -1;
        ASSERT_TRUE(program.waitForExit(kEndSeconds, status)) << "neither the loop nor an end:\n" << program.log();
        EXPECT_EQ(status, 1);
        const std::string error = program.standardError();
        EXPECT_NE(error.find("OpenGL window"), std::string::npos) << error;
        const std::string log = program.log();
        EXPECT_TRUE(log.find("Create window...\nNo window could be made") != std::string::npos ||
                    log.find("Create window...\nThe OpenGL context gives no version") != std::string::npos)
            << log;
        return;
    }
    sleepSeconds(1);
    Display* d = server->display();
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = windowPixels(d, DefaultRootWindow(d), width, height);
    ASSERT_EQ(pixels.size(), 800u * 600u);
    std::sort(pixels.begin(), pixels.end());
    EXPECT_GT(std::unique(pixels.begin(), pixels.end()) - pixels.begin(), 100) << "a picture, not a black screen";
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(program, "a key");
}

TEST_F(RunTest, HostWindowGetsFramesIgnoresInputAndEndsPromptlyOnSigterm)
{
    Display* d = server->display();
    writeGamma(d, 0.8);
    const std::vector<uint16_t> before = readRedGamma(d);
    const Window host = makeHostWindow(320, 240);
    // The settings tool passes both; the window id wins.
    auto program = startRun(with(baseSettings(), {"DefGamma=0", "Gamma=100", "MouseExit=1"}),
                            {"-root", "-window-id", hex(host)});
    EXPECT_GE(countDamage(d, host, 5.0, 3), 3) << "frames drawn into the host's window";
    EXPECT_EQ(topWindow("Vesiclar"), 0u) << "no window of its own";
    EXPECT_EQ(readRedGamma(d), before) << "the host's screen keeps its ramp";
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    ASSERT_TRUE(xdotool(server->name(), {"click", "1"}));
    ASSERT_TRUE(xdotool(server->name(), {"mousemove", "300", "300"}));
    expectStillRunning(*program, "input in host mode");

    program->signal(SIGTERM);
    int status = -1;
    ASSERT_TRUE(program->waitForExit(0.5, status)) << "SIGTERM must end a hosted run within half a second";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(program->log().substr(program->log().size() - 4), "EXIT");
    EXPECT_EQ(readRedGamma(d), before);
    XWindowAttributes attributes{};
    EXPECT_TRUE(XGetWindowAttributes(d, host, &attributes)) << "the host's window stays";
}

// User and system CPU seconds the process has used so far, all its threads together.
double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(end + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    unsigned long user = 0, system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A share of one core the program used over `seconds`.
double cpuShare(pid_t pid, double seconds)
{
    const double before = cpuSeconds(pid);
    sleepSeconds(seconds);
    return (cpuSeconds(pid) - before) / seconds;
}

// The host's settings window iconified (its preview pane inside goes with it) or covered: the run
// must not keep a core busy with frames nobody sees, and must draw again once they can be seen.
TEST_F(RunTest, AHostedRunRestsWhileItsWindowCannotBeSeen)
{
    Display* d = server->display();
    const Window host = makeHostWindow(320, 240);
    const Window pane = XCreateSimpleWindow(d, host, 0, 0, 320, 240, 0, 0, BlackPixel(d, 0));
    XMapWindow(d, pane);
    XSync(d, False);
    auto program = startRun(baseSettings(), {"-window-id", hex(pane)});
    ASSERT_GE(countDamage(d, pane, 5.0, 3), 3) << "frames while shown";

    XUnmapWindow(d, host);
    XSync(d, False);
    sleepSeconds(1);
    EXPECT_LT(cpuShare(program->pid(), 3), 0.1) << "share of a core with the host's window unmapped";
    XMapWindow(d, host);
    XSync(d, False);
    EXPECT_GE(countDamage(d, pane, 5.0, 3), 3) << "frames once the host's window is back";

    const Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 800, 600, 0, 0, BlackPixel(d, 0));
    XMapRaised(d, cover);
    XSync(d, False);
    sleepSeconds(1);
    EXPECT_LT(cpuShare(program->pid(), 3), 0.1) << "share of a core with the window covered";
    XDestroyWindow(d, cover);
    XSync(d, False);
    EXPECT_GE(countDamage(d, pane, 5.0, 3), 3) << "frames once uncovered";

    XUnmapWindow(d, host);
    XSync(d, False);
    sleepSeconds(0.5);
    program->signal(SIGTERM);
    int status = -1;
    ASSERT_TRUE(program->waitForExit(0.5, status)) << "SIGTERM must end a resting run within half a second";
    EXPECT_EQ(status, 0);
}

// Left running overnight, the full-screen run holds the server's screen saver off, which holds off
// the monitor's power saving too: the run must put the monitor to sleep on the user's schedule
// itself, counting from the user's last input, draw nothing while it sleeps, and still end on a key.
TEST_F(RunTest, TheFullScreenRunLetsTheMonitorSleepOnTheUsersSchedule)
{
    char levels[] = "/tmp/vesiclar-dpms-XXXXXX";
    const int file = mkstemp(levels);
    ASSERT_GE(file, 0);
    close(file);
    Display* d = server->display();
    XResetScreenSaver(d);  // the user's last input
    XSync(d, False);
    const auto lastInput = std::chrono::steady_clock::now();
    auto program = startRun(baseSettings(), {"/s"},
                            {std::string("LD_PRELOAD=") + FAKE_DPMS_LIBRARY, "VESICLAR_FAKE_DPMS_TIMEOUTS=4 0 8",
                             std::string("VESICLAR_FAKE_DPMS_LEVELS=") + levels});
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - lastInput).count();
    sleepSeconds(std::max(0.0, 10.0 - waited));

    std::ifstream forced(levels);
    const std::string sequence((std::istreambuf_iterator<char>(forced)), std::istreambuf_iterator<char>());
    // A start slowed past the off time goes to off at once.
    EXPECT_TRUE(sequence == "1\n3\n" || sequence == "3\n") << "the levels forced, standby then off: " << sequence;
    EXPECT_LT(cpuShare(program->pid(), 2), 0.1) << "share of a core with the monitor off";
    ASSERT_TRUE(xdotool(server->name(), {"key", "space"}));
    expectCleanEnd(*program, "a key with the monitor off");
    unlink(levels);
}

// Input that does not end the run (here the pointer moving, MouseExit off) is the user at the
// screen all the same: the monitor must not be put to sleep under them, only once they stop.
TEST_F(RunTest, InputThatDoesNotEndTheRunKeepsTheMonitorAwake)
{
    char levels[] = "/tmp/vesiclar-dpms-XXXXXX";
    const int file = mkstemp(levels);
    ASSERT_GE(file, 0);
    close(file);
    auto forced = [&] {
        std::ifstream in(levels);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    // Moving from before the start, so the server's idle time the run begins from is about 0.
    std::atomic<bool> moving{true};
    std::thread mover([&] {
        for (int i = 0; moving; ++i) {
            xdotool(server->name(), {"mousemove", i % 2 ? "700" : "100", "300"});
            sleepSeconds(0.3);
        }
    });
    auto program = startRun(baseSettings(), {"/s"},
                            {std::string("LD_PRELOAD=") + FAKE_DPMS_LIBRARY, "VESICLAR_FAKE_DPMS_TIMEOUTS=4 0 0",
                             std::string("VESICLAR_FAKE_DPMS_LEVELS=") + levels});
    sleepSeconds(7);
    moving = false;
    mover.join();
    EXPECT_EQ(forced(), "") << "levels forced while the pointer moved";
    expectStillRunning(*program, "moving with MouseExit off");
    sleepSeconds(5);
    EXPECT_EQ(forced(), "1\n") << "standby 4 s after the pointer stopped";
    ASSERT_TRUE(xdotool(server->name(), {"key", "space"}));
    expectCleanEnd(*program, "a key with the monitor in standby");
    unlink(levels);
}

TEST_F(RunTest, PictureFollowsAHostWindowThatGrows)
{
    Display* d = server->display();
    const Window host = makeHostWindow(320, 240);
    auto program = startRun(baseSettings(), {"-window-id", hex(host)});
    ASSERT_GE(countDamage(d, host, 5.0, 2), 2);
    XResizeWindow(d, host, 640, 480);
    XSync(d, False);
    ASSERT_GE(countDamage(d, host, 10.0, 4), 4) << "frames after the resize";
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = windowPixels(d, host, width, height);
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    // With the old viewport only the bottom-left 320 x 240 would hold the scene; the top-right
    // quarter would be a single clear colour.
    std::set<uint32_t> colours;
    for (int y = 0; y < 240; ++y)
        for (int x = 320; x < 640; ++x)
            colours.insert(pixels[static_cast<size_t>(y) * 640 + x] & 0xffffff);
    EXPECT_GT(colours.size(), 50u) << "the top-right quarter shows the scene";
    program->signal(SIGTERM);
    int status = -1;
    EXPECT_TRUE(program->waitForExit(kEndSeconds, status));
}

TEST_F(RunTest, TheSceneInAHostWindowWithAnAlphaChannelIsOpaque)
{
    // Compositing desktops and some lockers hand over a 32-bit window whose top byte is its
    // opacity: any pixel below 0xff there lets the desktop under it show through.
    Display* d = server->display();
    const Window host = makeWindowWithAlpha(320, 240);
    ASSERT_NE(host, None) << "Xvfb without a 32-bit visual";
    auto program = startRun(baseSettings(), {"-window-id", hex(host)});
    ASSERT_GE(countDamage(d, host, 5.0, 5), 5);
    XImage* image = XGetImage(d, host, 0, 0, 320, 240, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    const unsigned long colour = image->red_mask | image->green_mask | image->blue_mask;
    std::set<uint32_t> colours;
    int translucent = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            translucent += (pixel | colour) != 0xffffffffu;
            colours.insert(static_cast<uint32_t>(pixel & colour));
        }
    }
    XDestroyImage(image);
    EXPECT_GT(colours.size(), 100u) << "a picture, not a cleared window";
    EXPECT_EQ(translucent, 0) << "pixels of 76800 that let what is below show through";
    program->signal(SIGTERM);
    expectCleanEnd(*program, "SIGTERM");
}

// Some multi-head desktops are one X server with a screen per monitor; a daemon then runs one
// hack per screen, each with $DISPLAY naming its own (:N.1 for the second).
TEST(SecondScreenTest, AHostedRunDrawsIntoAWindowOnTheScreenItsDisplayNames)
{
    XServer server(640, 480, XServerKind::XvfbTwoScreens);
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    Display* d = server.display();
    ASSERT_EQ(ScreenCount(d), 2);
    const Window host = XCreateSimpleWindow(d, RootWindow(d, 1), 10, 10, 320, 240, 0, 0, WhitePixel(d, 1));
    XMapWindow(d, host);
    XSync(d, False);
    for (const std::string option : {"-window-id", "-root"}) {
        Program program(server.name() + ".1", baseSettings());
        const std::vector<std::string> arguments =
            option == "-root" ? std::vector<std::string>{"-root"} : std::vector<std::string>{option, hex(host)};
        ASSERT_TRUE(program.start(arguments, {"XSCREENSAVER_WINDOW=" + hex(host)}));
        ASSERT_TRUE(program.waitForLog(kMainLoop, kStartSeconds))
            << option << "\nlog:\n" << program.log() << "\nstderr:\n" << program.standardError();
        EXPECT_GE(countDamage(d, host, 5.0, 3), 3) << option << ": frames in the window on the second screen";
        program.signal(SIGTERM);
        int status = -1;
        ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
        EXPECT_EQ(status, 0) << option;
    }
}

TEST_F(RunTest, RootOptionDrawsIntoXscreensaverWindow)
{
    const Window host = makeHostWindow(200, 150);
    auto program = startRun(with(baseSettings(), {"EnableMusic=1"}), {"--root"}, {"XSCREENSAVER_WINDOW=" + hex(host)});
    EXPECT_GE(countDamage(server->display(), host, 5.0, 3), 3);
    // The host destroying its window ends the run as well.
    XDestroyWindow(server->display(), host);
    XSync(server->display(), False);
    expectCleanEnd(*program, "the host's window going away");
    EXPECT_EQ(program->log().find("BASS"), std::string::npos) << "no music without --music: " << program->log();
}

TEST_F(RunTest, AHostWindowNotYetMappedIsMappedByItsHostNotByTheRun)
{
    Display* d = server->display();
    const Window host = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 320, 240, 0, 0, WhitePixel(d, 0));
    XSync(d, False);
    auto program = startRun(baseSettings(), {"--window-id", hex(host)});
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(d, host, &attributes));
    EXPECT_EQ(attributes.map_state, IsUnmapped) << "the host shows its window when it chooses";
    XMapWindow(d, host);
    XSync(d, False);
    EXPECT_GE(countDamage(d, host, 5.0, 3), 3) << "frames once the host shows it";
    program->signal(SIGTERM);
    expectCleanEnd(*program, "SIGTERM");
}

TEST_F(RunTest, RootOptionWithoutXscreensaverWindowDrawsIntoTheVirtualRoot)
{
    // A desktop that paints its background into a window of its own marks it __SWM_VROOT: what is
    // drawn into the real root lies hidden under it.
    Display* d = server->display();
    const Window desktop = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 800, 600, 0, 0, WhitePixel(d, 0));
    const Atom vroot = XInternAtom(d, "__SWM_VROOT", False);
    XChangeProperty(d, desktop, vroot, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&desktop), 1);
    XMapWindow(d, desktop);
    XSync(d, False);
    auto program = startRun(baseSettings(), {"--root"});
    EXPECT_GE(countDamage(d, desktop, 5.0, 3), 3) << "frames on the desktop the user sees";
    program->signal(SIGTERM);
    expectCleanEnd(*program, "SIGTERM");
}

// The names of a window's properties, sorted.
std::vector<std::string> propertyNames(Display* d, Window window)
{
    int count = 0;
    Atom* atoms = XListProperties(d, window, &count);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char* name = XGetAtomName(d, atoms[i]);
        names.push_back(name ? name : "?");
        XFree(name);
    }
    if (atoms)
        XFree(atoms);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RunTest, AHostedRunLeavesThePropertiesOfTheWindowItDrawsIntoAsItFoundThem)
{
    // Nothing of the run's may stay on a window it does not own: not on the host's, and not on the
    // root, which outlives every run.
    Display* d = server->display();
    const Window host = makeHostWindow(320, 240);
    const Window root = DefaultRootWindow(d);
    for (const Window window : {host, root}) {
        const std::vector<std::string> before = propertyNames(d, window);
        auto program = window == root ? startRun(baseSettings(), {"--root"})
                                      : startRun(baseSettings(), {"--window-id", hex(window)});
        EXPECT_EQ(propertyNames(d, window), before) << (window == root ? "root" : "host") << ", while it runs";
        program->signal(SIGTERM);
        expectCleanEnd(*program, "SIGTERM");
        EXPECT_EQ(propertyNames(d, window), before) << (window == root ? "root" : "host") << ", after the run";
    }
}

TEST_F(RunTest, PreviewPaintsItsPictureIntoItsParentUntilThatGoesAway)
{
    Picture picture;
    ASSERT_TRUE(decodeBitmap(findResource("BITMAP", 112), picture));
    ASSERT_EQ(picture.width, 155);
    ASSERT_EQ(picture.height, 115);

    Display* d = server->display();
    const Window parent = makeHostWindow(200, 150);
    Program program(server->name(), baseSettings());
    ASSERT_TRUE(program.start({"/p", std::to_string(parent)}));
    Window child = 0;
    for (int i = 0; i < 200 && !child; ++i) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(d, parent, &root, &up, &children, &count);
        if (count)
            child = children[0];
        if (children)
            XFree(children);
        sleepSeconds(0.05);
    }
    ASSERT_NE(child, 0u) << program.standardError();
    sleepSeconds(0.3);  // the first expose is painted
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = windowPixels(d, child, width, height);
    ASSERT_EQ(width, 200);
    ASSERT_EQ(height, 150);
    int wrong = 0, notBlack = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t seen = pixels[static_cast<size_t>(y) * width + x];
            if (x < picture.width && y < picture.height)
                wrong += seen != picture.pixels[static_cast<size_t>(y) * picture.width + x];
            else
                notBlack += seen != 0;
        }
    }
    EXPECT_EQ(wrong, 0) << "the picture, unscaled, at the top-left corner";
    EXPECT_EQ(notBlack, 0) << "the rest of the preview area stays black";

    EXPECT_TRUE(program.running());
    XDestroyWindow(d, parent);
    XSync(d, False);
    int status = -1;
    ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(program.log(), "") << "the preview writes no log";
}

TEST_F(RunTest, APreviewInAParentWithAnAlphaChannelIsOpaque)
{
    // In a 32-bit parent the top byte of each pixel is its opacity: left at zero, a compositor
    // shows nothing of the preview at all.
    Display* d = server->display();
    const Window parent = makeWindowWithAlpha(200, 150);
    ASSERT_NE(parent, None) << "Xvfb without a 32-bit visual";
    Program program(server->name(), baseSettings());
    ASSERT_TRUE(program.start({"/p", std::to_string(parent)}));
    Picture picture;
    ASSERT_TRUE(decodeBitmap(findResource("BITMAP", 112), picture));
    XImage* image = nullptr;
    int wrong = 0, translucent = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        sleepSeconds(0.05);
        if (image)
            XDestroyImage(image);
        image = XGetImage(d, parent, 0, 0, 200, 150, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        wrong = translucent = 0;
        for (int y = 0; y < 150; ++y) {
            for (int x = 0; x < 200; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                const uint32_t want =
                    x < picture.width && y < picture.height ? picture.pixels[static_cast<size_t>(y) * picture.width + x] : 0;
                wrong += (pixel & 0xffffff) != want;
                translucent += (pixel >> 24) != 0xff;
            }
        }
        if (wrong == 0)
            break;
    }
    XDestroyImage(image);
    EXPECT_EQ(wrong, 0) << "the picture at the top-left corner, black around it";
    EXPECT_EQ(translucent, 0) << "pixels of 30000 that let what is below show through";
    XDestroyWindow(d, parent);
    XSync(d, False);
    int status = -1;
    ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
    EXPECT_EQ(status, 0);
}

TEST_F(RunTest, APreviewHandleBeyondThirtyTwoBitsNamesNoWindow)
{
    // X carries window ids in 32 bits: cut down, this one would be the parent's own.
    Display* d = server->display();
    const Window parent = makeHostWindow(200, 150);
    Program program(server->name(), baseSettings());
    ASSERT_TRUE(program.start({"/p", std::to_string((uint64_t{1} << 32) + parent)}));
    // The error comes in a box titled ERROR where X has fonts to draw one, else on standard error.
    auto errorBox = [&]() -> Window {
        Window root = 0, up = 0, *children = nullptr, found = 0;
        unsigned count = 0;
        XQueryTree(d, DefaultRootWindow(d), &root, &up, &children, &count);
        for (unsigned i = 0; i < count && !found; ++i) {
            XTextProperty name{};
            if (XGetWMName(d, children[i], &name) && name.value) {
                if (std::string(reinterpret_cast<const char*>(name.value), name.nitems) == "ERROR") found = children[i];
                XFree(name.value);
            }
        }
        if (children) XFree(children);
        return found;
    };
    Window box = 0;
    for (int i = 0; i < 100 && program.running() && !box; ++i) {
        sleepSeconds(0.1);
        box = errorBox();
    }
    if (box) {
        ASSERT_TRUE(xdotool(server->name(), {"key", "--window", std::to_string(box), "Return"}));
    }
    int status = -1;
    ASSERT_TRUE(program.waitForExit(kEndSeconds, status)) << "the preview went into another window";
    EXPECT_EQ(status, 0);
    if (!box) {
        EXPECT_NE(program.standardError().find("Cannot creat window!"), std::string::npos) << program.standardError();
    }
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, parent, &root, &up, &children, &count);
    if (children)
        XFree(children);
    EXPECT_EQ(count, 0u);
}

TEST_F(RunTest, MusicStartsWithTheRunAndLeavesNothingBehind)
{
    auto program = startRun(with(baseSettings(), {"EnableMusic=1", "Volume=40"}));
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key with music on");
    const std::string log = program->log();
    const size_t init = log.find("Initialize BASS...");
    EXPECT_NE(init, std::string::npos) << log;
    EXPECT_LT(init, log.find("Initialize OpenGL")) << "music starts before the GL set-up";
    EXPECT_GT(log.find("Open music file...", init), log.find(kMainLoop)) << "and plays once the loop starts";
    EXPECT_EQ(program->temporaryFiles(), std::vector<std::string>{"log.txt"});
}

// Two monitors on Xorg's dummy driver: DUMMY1 (800 x 600) at the origin and the primary DUMMY0
// (1024 x 768) right of it, as xrandr lays them out.
class MonitorsTest : public RunTest {
protected:
    void SetUp() override
    {
        server = std::make_unique<XServer>(1024, 768, XServerKind::XorgDummy);
        ASSERT_TRUE(server->ok()) << "Xorg with the dummy driver did not start";
        xrandr({"--addmode", "DUMMY1", "800x600"});
        xrandr({"--output", "DUMMY0", "--mode", "1024x768", "--pos", "800x0", "--primary", "--output", "DUMMY1",
                "--mode", "800x600", "--pos", "0x0"});
        ASSERT_EQ(outputs(), kLayout);
    }

    static constexpr const char* kLayout = "1824x768 DUMMY0 1024x768+800+0 DUMMY1 800x600+0+0";

    // A run in the mode `size` ("WxH"): the screen and outputs while it runs, and its windows.
    void runWith(const std::string& size, const std::string& layout, const std::set<std::string>& windows)
    {
        const size_t x = size.find('x');
        auto program = startRun(with(baseSettings(), {"Width=" + size.substr(0, x), "Height=" + size.substr(x + 1)}));
        EXPECT_EQ(outputs(), layout) << size;
        EXPECT_EQ(runWindows(), windows) << size;
        ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
        expectCleanEnd(*program, "a key");
    }

    std::string xrandr(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "xrandr");
        return commandOutput(server->name(), arguments);
    }

    // The screen's size and each lit output's geometry, in one line.
    std::string outputs()
    {
        const std::string text = xrandr({});
        std::string line;
        const std::regex screen(R"(current (\d+) x (\d+))");
        std::smatch m;
        if (std::regex_search(text, m, screen))
            line = m[1].str() + "x" + m[2].str();
        const std::regex output(R"((DUMMY\d+) connected (?:primary )?(\d+x\d+\+\d+\+\d+))");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), output); it != std::sregex_iterator(); ++it)
            line += " " + (*it)[1].str() + " " + (*it)[2].str();
        return line;
    }

    std::set<std::string> runWindows()
    {
        std::set<std::string> found;
        for (Window w : windowsNamed(server->display(), "Vesiclar")) {
            const WindowGeometry g = windowGeometry(server->display(), w);
            found.insert(std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) + "+" +
                         std::to_string(g.y));
        }
        return found;
    }
};

TEST_F(MonitorsTest, ThePrimaryRightOfAnotherMonitorGetsTheSceneAndTheModeSwitch)
{
    // The scene over the primary where it is, in the mode asked for; the other monitor covered.
    auto program = startRun(with(baseSettings(), {"Width=640", "Height=480", "Detail=0"}));
    EXPECT_EQ(outputs(), "1824x768 DUMMY0 640x480+800+0 DUMMY1 800x600+0+0");
    EXPECT_EQ(runWindows(), (std::set<std::string>{"640x480+800+0", "800x600+0+0"}));

    // Painting the cover must leave the scene's GL context alone and the cover where it was put.
    Display* d = server->display();
    for (Window w : windowsNamed(d, "Vesiclar")) {
        XWindowAttributes attributes{};
        ASSERT_TRUE(XGetWindowAttributes(d, w, &attributes));
        EXPECT_TRUE(attributes.override_redirect) << "no window manager may frame or move " << hex(w);
    }
    int width = 0, height = 0;
    const std::vector<uint32_t> first = windowPixels(d, DefaultRootWindow(d), width, height);
    sleepSeconds(0.5);
    const std::vector<uint32_t> later = windowPixels(d, DefaultRootWindow(d), width, height);
    ASSERT_EQ(width, 1824);
    ASSERT_EQ(later.size(), first.size());
    std::set<uint32_t> sceneColours;
    size_t changed = 0, lit = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 800; x < 1440; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            sceneColours.insert(first[i]);
            changed += first[i] != later[i];
        }
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            lit += later[static_cast<size_t>(y) * width + x] != 0;
    EXPECT_GT(sceneColours.size(), 100u) << "a picture on the primary, not a cleared window";
    EXPECT_GT(changed, 640u * 480u / 20) << "the picture on the primary moves";
    EXPECT_EQ(lit, 0u) << "pixels of the other monitor not black";

    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key");
    EXPECT_EQ(outputs(), kLayout);
}

TEST_F(MonitorsTest, AModeLargerThanTheScreenGrowsItForTheRunAndShrinksItBack)
{
    runWith("1600x1200", "2400x1200 DUMMY0 1600x1200+800+0 DUMMY1 800x600+0+0", {"1600x1200+800+0", "800x600+0+0"});
    EXPECT_EQ(outputs(), kLayout);
    // A size the output lacks leaves the mode alone; the window then covers the monitor as it is
    // instead of hanging off the screen.
    runWith("1234x777", kLayout, {"1024x768+800+0", "800x600+0+0"});
}

TEST_F(MonitorsTest, AKilledRunInAGrownScreenLeavesTheLayoutAsItWas)
{
    auto program = startRun(with(baseSettings(), {"Width=1600", "Height=1200"}));
    ASSERT_EQ(outputs(), "2400x1200 DUMMY0 1600x1200+800+0 DUMMY1 800x600+0+0");
    program->signal(SIGKILL);
    int status = -1;
    ASSERT_TRUE(program->waitForExit(kEndSeconds, status));
    // The display guardian puts the mode back and shrinks the screen again.
    std::string layout;
    for (int i = 0; i < 20 && layout != kLayout; ++i) {
        sleepSeconds(0.05);
        layout = outputs();
    }
    EXPECT_EQ(layout, kLayout);
}

TEST_F(MonitorsTest, TheModeComesBackWhenTheOtherMonitorWentAwayDuringTheRun)
{
    // Unplugged, or a DisplayPort monitor gone to sleep, mid-run: the desktop is laid out again
    // with the primary at the origin and the screen cut down to the run's mode.
    for (int number : {0, SIGKILL}) {
        xrandr({"--output", "DUMMY0", "--mode", "1024x768", "--pos", "800x0", "--primary", "--output", "DUMMY1",
                "--mode", "800x600", "--pos", "0x0"});
        ASSERT_EQ(outputs(), kLayout);
        auto program = startRun(with(baseSettings(), {"Width=640", "Height=480"}));
        xrandr({"--output", "DUMMY1", "--off"});
        ASSERT_EQ(outputs(), "640x480 DUMMY0 640x480+0+0");
        if (number == 0) {
            ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
            expectCleanEnd(*program, "a key");
        } else {
            program->signal(number);
            int status = -1;
            ASSERT_TRUE(program->waitForExit(kEndSeconds, status));
        }
        const char* what = number == 0 ? "the run's end" : "the guardian";
        std::string layout;
        for (int i = 0; i < 20 && layout != "1024x768 DUMMY0 1024x768+0+0"; ++i) {
            sleepSeconds(0.05);
            layout = outputs();
        }
        EXPECT_EQ(layout, "1024x768 DUMMY0 1024x768+0+0") << what << " puts the mode back where the monitor is now";
    }
}

TEST_F(MonitorsTest, AMonitorPluggedInMidRunIsCoveredAndItsCoverGoesWithIt)
{
    // Docked, or a projector plugged in, while the run goes on: the new monitor must not show the
    // desktop until the run ends; unplugged again, its cover goes.
    xrandr({"--output", "DUMMY1", "--off", "--output", "DUMMY0", "--mode", "1024x768", "--pos", "0x0", "--primary"});
    ASSERT_EQ(outputs(), "1024x768 DUMMY0 1024x768+0+0");
    auto program = startRun(with(baseSettings(), {"Width=1024", "Height=768"}));
    ASSERT_EQ(runWindows(), std::set<std::string>{"1024x768+0+0"});
    auto waitFor = [&](const std::set<std::string>& windows) {
        for (int i = 0; i < 60 && runWindows() != windows; ++i)
            sleepSeconds(0.05);
        return runWindows();
    };
    xrandr({"--output", "DUMMY1", "--mode", "800x600", "--pos", "1024x0"});
    ASSERT_EQ(outputs(), "1824x768 DUMMY0 1024x768+0+0 DUMMY1 800x600+1024+0");
    EXPECT_EQ(waitFor({"1024x768+0+0", "800x600+1024+0"}), (std::set<std::string>{"1024x768+0+0", "800x600+1024+0"}))
        << "the new monitor covered";
    // Mapping the cover must not leave it the keyboard: keys would no longer end the run.
    Display* d = server->display();
    Window scene = None;
    for (Window w : windowsNamed(d, "Vesiclar"))
        if (windowGeometry(d, w).width == 1024)
            scene = w;
    Window focus = None;
    int revert = 0;
    for (int i = 0; i < 40 && focus != scene; ++i) {
        sleepSeconds(0.05);
        XGetInputFocus(d, &focus, &revert);
    }
    EXPECT_EQ(focus, scene) << "the keyboard with the scene";
    xrandr({"--output", "DUMMY1", "--off"});
    EXPECT_EQ(waitFor({"1024x768+0+0"}), std::set<std::string>{"1024x768+0+0"}) << "covers of monitors gone";
    EXPECT_GE(countDamage(d, scene, 5.0, 3), 3) << "the scene goes on";
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key");
    EXPECT_TRUE(runWindows().empty());
}

// A monitor stood on its side (xrandr -o left): the desktop, and the sizes the settings offer for it,
// are 768 x 1024; the mode underneath is 1024 x 768.
class RotatedMonitorTest : public MonitorsTest {
protected:
    void SetUp() override
    {
        server = std::make_unique<XServer>(1024, 768, XServerKind::Xephyr);
        ASSERT_TRUE(server->ok()) << "Xephyr did not start";
        xrandr({"-o", "left"});
        ASSERT_EQ(layout(), kPortrait);
    }

    static constexpr const char* kPortrait = "768x1024 768x1024+0+0 left";

    // The screen's size, the output's geometry and its turn.
    std::string layout()
    {
        const std::string text = xrandr({});
        std::smatch screen, output;
        if (!std::regex_search(text, screen, std::regex(R"(current (\d+) x (\d+))")) ||
            !std::regex_search(text, output, std::regex(R"( connected (?:primary )?(\d+x\d+\+\d+\+\d+) (\w+))")))
            return text;
        return screen[1].str() + "x" + screen[2].str() + " " + output[1].str() + " " + output[2].str();
    }

    std::string layoutOnceBack()
    {
        std::string now;
        for (int i = 0; i < 40 && now != kPortrait; ++i) {
            sleepSeconds(0.05);
            now = layout();
        }
        return now;
    }
};

TEST_F(RotatedMonitorTest, TheModeIsTheTurnedOneAndTheTurnComesBack)
{
    // 600 x 800 is the 800 x 600 mode turned: it was refused, as no mode is 600 pixels wide.
    for (int end : {0, SIGKILL}) {
        auto program = startRun(with(baseSettings(), {"Width=600", "Height=800"}));
        EXPECT_EQ(layout(), "600x800 600x800+0+0 left");
        EXPECT_EQ(runWindows(), std::set<std::string>{"600x800+0+0"});
        EXPECT_EQ(program->log().find("not changed"), std::string::npos) << program->log().substr(0, 300);
        int status = -1;
        if (end == 0) {
            ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
            expectCleanEnd(*program, "a key");
        } else {
            program->signal(end);
            ASSERT_TRUE(program->waitForExit(kEndSeconds, status));
        }
        EXPECT_EQ(layoutOnceBack(), kPortrait) << (end == 0 ? "the run's end" : "the guardian");
    }
    // A landscape size the portrait monitor has no mode for: the run stays in the desktop's mode
    // and covers it, where it once showed an 800 x 600 window over part of a 600 x 800 screen.
    auto program = startRun(with(baseSettings(), {"Width=800", "Height=600"}));
    EXPECT_EQ(layout(), kPortrait);
    EXPECT_EQ(runWindows(), std::set<std::string>{"768x1024+0+0"});
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    expectCleanEnd(*program, "a key");
    EXPECT_EQ(layout(), kPortrait);
}

TEST(XscreensaverDescription, EveryOptionItNamesIsOneTheProgramTakes)
{
    std::ifstream in(VESICLAR_XSCREENSAVER_XML);
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    ASSERT_NE(xml.find("<screensaver name=\"vesiclar\""), std::string::npos);
    ASSERT_NE(xml.find("</screensaver>"), std::string::npos);

    const std::string help = commandOutput("", {VESICLAR_BINARY, "--help"});
    const std::regex option(R"re((arg|arg-set|arg-unset)="([^"]*)")re");
    int options = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), option); it != std::sregex_iterator(); ++it) {
        std::istringstream words((*it)[2].str());
        for (std::string word; words >> word;) {
            if (word[0] != '-')
                continue;
            ++options;
            EXPECT_NE(help.find(word), std::string::npos) << word << " is not among the program's options";
        }
    }
    EXPECT_GE(options, 2) << "--root and --fps at least";
}

TEST(RunWithoutDisplay, SaysSoAndExitsWithStatusOne)
{
    Program program("", baseSettings());
    ASSERT_TRUE(program.start({"/s"}));
    int status = -1;
    ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
    EXPECT_EQ(status, 1);
    const std::string error = program.standardError();
    EXPECT_NE(error.find("display"), std::string::npos) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
}

TEST(PreviewWithoutWindow, ShowsTheErrorAndExitsNormally)
{
    for (const char* handle : {"", "12345"}) {
        Program program("", baseSettings());
        ASSERT_TRUE(program.start(*handle ? std::vector<std::string>{"/p", handle} : std::vector<std::string>{"/p"}));
        int status = -1;
        ASSERT_TRUE(program.waitForExit(kEndSeconds, status));
        EXPECT_EQ(status, 0);
        EXPECT_NE(program.standardError().find("Cannot creat window!"), std::string::npos) << program.standardError();
    }
}

// A touch screen's tap reaches the window as SDL's own left button press, marked as coming from
// touch; on Windows a tap is a left button press too. A kiosk or tablet without a keyboard has no
// other way to end the run. No tool puts a real touch into a test server, so the press is given as
// SDL gives it.
TEST(RunWindowInput, ATapOnATouchScreenIsALeftButtonAndAFingerMovesLikeTheMouse)
{
    XServer server(320, 240);
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    // In a child: its SDL connection must be gone before the server is, or losing it ends the test.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        std::string result;
        setenv("DISPLAY", server.name().c_str(), 1);
        void* window = platform::videoAvailable() ? platform::createGlWindow(0, 0, 320, 240) : nullptr;
        if (!window) {
            result = "no window: " + platform::takeFailureNote();
        } else {
            platform::showWindow(window, 0);
            const Uint32 id = SDL_GetWindowID(static_cast<SDL_Window*>(window));
            // What the run makes of SDL's touch events once those before them are taken.
            auto reached = [](SDL_Event& sent, platform::Event& found) {
                platform::Event event;
                while (platform::pollEvent(event)) {
                }
                SDL_PushEvent(&sent);
                found = {};
                while (platform::pollEvent(event))
                    if (event.type != platform::EventType::Other)
                        found = event;
            };
            SDL_Event touch{};
            touch.type = SDL_MOUSEMOTION;
            touch.motion.windowID = id;
            touch.motion.which = SDL_TOUCH_MOUSEID;
            touch.motion.x = 250;
            touch.motion.y = 40;
            platform::Event found;
            reached(touch, found);
            if (found.type != platform::EventType::Motion || found.x != 250 || found.y != 40)
                result += "a finger's move is not a move; ";
            touch = {};
            touch.type = SDL_MOUSEBUTTONDOWN;
            touch.button.windowID = id;
            touch.button.which = SDL_TOUCH_MOUSEID;
            touch.button.button = SDL_BUTTON_LEFT;
            touch.button.state = SDL_PRESSED;
            touch.button.clicks = 1;
            reached(touch, found);
            RunInput input;
            handleRunEvent(input, found, 160, 120, false);
            if (!input.quitPosted)
                result += "a tap does not end the run; ";
        }
        const ssize_t written = write(pipeEnds[1], result.data(), result.size());
        _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string result;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<size_t>(n));
    close(pipeEnds[0]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(result, "");
}
}  // namespace
