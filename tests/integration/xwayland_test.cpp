// The program on a Wayland desktop, where X programs run under XWayland (Weston's here).
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "x_session.h"

namespace {

constexpr double kStartSeconds = 60;  // the loader's work under a software rasterizer

std::vector<std::string> runSettings(const std::vector<std::string>& more)
{
    std::vector<std::string> settings{"UseDesktop=0", "Width=800", "Height=600", "Depth=32", "EnableMusic=0", "VSync=0"};
    settings.insert(settings.end(), more.begin(), more.end());
    return settings;
}

class XwaylandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop = std::make_unique<WaylandDesktop>(1024, 768);
        ASSERT_TRUE(desktop->ok()) << "Weston with XWayland did not start";
    }

    // Starts `vesiclar /s` in the desktop's session and waits until its GL set-up is done.
    std::unique_ptr<Program> startRun(const std::vector<std::string>& settings)
    {
        auto program = std::make_unique<Program>(desktop->name(), settings);
        EXPECT_TRUE(program->start({"/s"}, desktop->environment()));
        EXPECT_TRUE(program->waitForLog("Load resources", kStartSeconds))
            << "log:\n" << program->log() << "\nstderr:\n" << program->standardError();
        return program;
    }

    static void expectCleanEnd(Program& program)
    {
        program.signal(SIGTERM);
        int status = -1;
        ASSERT_TRUE(program.waitForExit(10, status));
        EXPECT_EQ(status, 0);
    }

    std::unique_ptr<WaylandDesktop> desktop;
};

// XWayland answers a request for one of its other modes as if it were done, but only to the
// connection that asked; the run's window, made through another, sat in the top-left corner of
// the unchanged screen with the desktop around it.
TEST_F(XwaylandTest, AModeXwaylandOnlyPretendsToSetIsRefusedAndTheRunCoversTheScreen)
{
    auto program = startRun(runSettings({"DefGamma=1"}));
    const std::string log = program->log();
    EXPECT_NE(log.find("Set resolution: 800x600...done\n"
                       "Display mode not changed, the run goes on in the current mode "
                       "(XWayland only pretends to change it)\n"),
              std::string::npos)
        << log;
    // Shown, and placed by the window manager, which may have framed it: looked for in the whole tree.
    ASSERT_TRUE(program->waitForLog("Starting main loop...", kStartSeconds));
    const std::string window = commandOutput(desktop->name(), {"xdotool", "search", "--name", "^Vesiclar$"});
    ASSERT_FALSE(window.empty());
    const WindowGeometry geometry = windowGeometry(desktop->display(), std::stoul(window));
    EXPECT_EQ(geometry.width, 1024);
    EXPECT_EQ(geometry.height, 768);
    expectCleanEnd(*program);
}

// XWayland takes a ramp and reads it back, but never shows it: the brightness setting did nothing,
// and neither the log nor the run knew.
TEST_F(XwaylandTest, TheGammaRampIsReportedAsNotSetAndLeftAlone)
{
    auto program = startRun(runSettings({"DefGamma=0", "Gamma=80"}));
    EXPECT_NE(program->log().find("Gamma ramp not set, the display keeps its ramp (XWayland ignores gamma ramps)\n"),
              std::string::npos)
        << program->log();
    EXPECT_TRUE(guardianProcesses(desktop->name()).empty()) << "nothing changed, so nothing to guard";
    expectCleanEnd(*program);
}

// GTK would show the dialog as a Wayland window, where the X selection that keeps a second dialog
// from opening does not reach: two dialogs, the later one's OK undoing the earlier one's.
TEST_F(XwaylandTest, TheSettingsDialogIsAnXWindowAndASecondStartShowsNoSecondOne)
{
    Program first(desktop->name(), {});
    ASSERT_TRUE(first.start({}, desktop->environment()));
    std::string found;
    for (int i = 0; i < 300 && found.empty() && first.running(); ++i) {
        found = commandOutput(desktop->name(), {"xdotool", "search", "--name", "^Vesiclar Configuration$"});
        if (found.empty())
            sleepSeconds(0.1);
    }
    ASSERT_FALSE(found.empty()) << "no X window shows the dialog\nstderr:\n" << first.standardError();

    Program second(desktop->name(), {});
    ASSERT_TRUE(second.start({}, desktop->environment()));
    int status = -1;
    EXPECT_TRUE(second.waitForExit(20, status)) << "a second start opened a second dialog";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(first.running());
}

// An override-redirect window never gets the keyboard from the compositor, and XWayland's window
// manager takes back any focus an X program sets itself: keys went on to the window that had the
// focus, and only SIGTERM ended the run.
TEST(XwaylandInputTest, AKeyEndsTheRunThoughAnotherWindowHadTheFocus)
{
    XServer host(1024, 768);
    ASSERT_TRUE(host.ok()) << "Xvfb did not start";
    WaylandDesktop desktop(1024, 768, &host);
    ASSERT_TRUE(desktop.ok()) << "Weston with XWayland did not start";
    Display* d = desktop.display();
    const Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 200, 0, 0, WhitePixel(d, 0));
    XMapWindow(d, other);
    XSync(d, False);
    Window focus = None;
    for (int i = 0; i < 100 && focus != other; ++i) {
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        if (focus != other)
            sleepSeconds(0.05);
    }
    ASSERT_EQ(focus, other) << "the desktop did not focus a new window";

    Program program(desktop.name(), runSettings({"UseDesktop=1", "DefGamma=1"}));
    ASSERT_TRUE(program.start({"/s"}, desktop.environment()));
    ASSERT_TRUE(program.waitForLog("Starting main loop...", kStartSeconds))
        << "log:\n" << program.log() << "\nstderr:\n" << program.standardError();
    ASSERT_TRUE(xdotool(host.name(), {"key", "space"}));
    int status = -1;
    EXPECT_TRUE(program.waitForExit(10, status)) << "a key did not end the run";
    EXPECT_EQ(status, 0);
}

}  // namespace
