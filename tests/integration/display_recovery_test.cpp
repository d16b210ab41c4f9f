// What a run leaves when it does not end the usual way: killed or crashed (the display guardian
// puts the mode and the ramp back), or with the X server gone from under it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <cstring>
#include <memory>

#include "x_session.h"

namespace {

const char* kMainLoop = "Starting main loop...";

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

std::vector<std::string> runSettings(std::vector<std::string> more)
{
    std::vector<std::string> settings{"UseDesktop=0", "Depth=32", "VSync=0", "EnableMusic=0"};
    settings.insert(settings.end(), more.begin(), more.end());
    return settings;
}

class DisplayRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A crash must not write a core dump of a few hundred megabytes.
        const rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
        startServer();
    }

    void startServer()
    {
        server = std::make_unique<XServer>(800, 600);
        ASSERT_TRUE(server->ok()) << "Xvfb did not start";
        commandOutput(server->name(), {"xrandr", "--newmode", "640x480_test", "25.175", "640", "656", "752", "800",
                                       "480", "490", "492", "525"});
        commandOutput(server->name(), {"xrandr", "--addmode", "screen", "640x480_test"});
    }

    std::unique_ptr<Program> startRun(const std::vector<std::string>& settings,
                                      const std::vector<std::string>& arguments = {"/s"})
    {
        auto program = std::make_unique<Program>(server->name(), settings);
        EXPECT_TRUE(program->start(arguments));
        EXPECT_TRUE(program->waitForLog(kMainLoop, 60)) << program->log() << program->standardError();
        return program;
    }

    // Seconds until the first CRTC shows 800 x 600 with `ramp` again; negative when it does not
    // within `limit`.
    double secondsUntilRestored(const std::vector<uint16_t>& ramp, double limit)
    {
        const double start = now();
        for (;;) {
            int width = 0, height = 0;
            const double elapsed = now() - start;
            if (crtcSize(server->display(), width, height) && width == 800 && height == 600 &&
                readRedGamma(server->display()) == ramp)
                return elapsed;
            if (elapsed > limit)
                return -1;
            sleepSeconds(0.01);
        }
    }

    std::unique_ptr<XServer> server;
};

TEST_F(DisplayRecoveryTest, KilledOrCrashedRunLeavesTheModeAndTheRampAsTheyWere)
{
    for (int number : {SIGKILL, SIGSEGV}) {
        Display* d = server->display();
        writeGamma(d, 0.8);
        const std::vector<uint16_t> before = readRedGamma(d);
        ASSERT_EQ(before.size(), 256u);

        auto program = startRun(runSettings({"Width=640", "Height=480", "DefGamma=0", "Gamma=100"}));
        int width = 0, height = 0;
        ASSERT_TRUE(crtcSize(d, width, height));
        ASSERT_EQ(width, 640) << "the run changed the mode";
        ASSERT_NE(readRedGamma(d), before) << "the run changed the ramp";
        EXPECT_EQ(guardianProcesses(server->name()).size(), 1u);

        program->signal(number);
        int status = -1;
        ASSERT_TRUE(program->waitForExit(10, status));
        EXPECT_EQ(status, 128 + number);
        const double seconds = secondsUntilRestored(before, 1.0);
        EXPECT_GE(seconds, 0) << strsignal(number) << ": mode or ramp not back within a second";
        std::printf("[ measure  ] %s: mode and ramp back %.0f ms after the run ended\n", strsignal(number),
                    seconds * 1000);
        sleepSeconds(0.2);
        EXPECT_TRUE(guardianProcesses(server->name()).empty()) << "the guardian ends with its work";
    }
}

TEST_F(DisplayRecoveryTest, CleanEndLetsTheGuardianGoAndAHostedRunHasNone)
{
    Display* d = server->display();
    writeGamma(d, 0.8);
    const std::vector<uint16_t> before = readRedGamma(d);
    auto program = startRun(runSettings({"Width=640", "Height=480", "DefGamma=0", "Gamma=100"}));
    ASSERT_EQ(guardianProcesses(server->name()).size(), 1u);
    ASSERT_TRUE(xdotool(server->name(), {"key", "a"}));
    int status = -1;
    ASSERT_TRUE(program->waitForExit(10, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readRedGamma(d), before);
    sleepSeconds(0.2);
    EXPECT_TRUE(guardianProcesses(server->name()).empty()) << "a guardian outlived a clean end";

    const Window host = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 240, 0, 0, 0);
    XMapWindow(d, host);
    XSync(d, False);
    auto hosted = startRun(runSettings({"Width=640", "Height=480", "DefGamma=0", "Gamma=100"}),
                           {"--window-id", std::to_string(host)});
    EXPECT_TRUE(guardianProcesses(server->name()).empty()) << "a hosted run changes nothing to guard";
    hosted->signal(SIGTERM);
    EXPECT_TRUE(hosted->waitForExit(10, status));
}

TEST_F(DisplayRecoveryTest, LosingTheXServerEndsTheRunAtOnceWithStatusOne)
{
    for (bool hostedRun : {false, true}) {
        std::vector<std::string> arguments{"/s"};
        if (hostedRun) {
            Display* d = server->display();
            const Window host = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 240, 0, 0, 0);
            XMapWindow(d, host);
            XSync(d, False);
            arguments = {"--window-id", std::to_string(host)};
        }
        auto program = startRun(runSettings({"Width=800", "Height=600", "DefGamma=0", "Gamma=80", "EnableMusic=1"}),
                                arguments);
        server->kill();
        const double start = now();
        int status = -1;
        ASSERT_TRUE(program->waitForExit(10, status)) << "the run outlived its X server";
        const double seconds = now() - start;
        const char* what = hostedRun ? "--window-id" : "/s";
        EXPECT_LT(seconds, 1.0) << what;
        std::printf("[ measure  ] %s: ended %.0f ms after the X server\n", what, seconds * 1000);
        EXPECT_EQ(status, 1) << what;
        const std::string error = program->standardError();
        EXPECT_NE(error.find("vesiclar: lost the connection to the X server"), std::string::npos) << what << error;
        EXPECT_EQ(program->temporaryFiles(), std::vector<std::string>{"log.txt"}) << what;
        startServer();
    }
}

}  // namespace
