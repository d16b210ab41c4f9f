#include <gtest/gtest.h>

#include "app/host_options.h"
#include "app/screensaver_app.h"
#include "data/settings.h"

namespace {

struct Parsed {
    int32_t mode;
    uintptr_t parent;
};

Parsed parse(const std::string& line)
{
    ScreensaverApp app;
    app.parentWindow = 999;  // must be overwritten where the grammar says so
    const int32_t mode = parseCommandLine(app, line);
    EXPECT_EQ(mode, app.mode);
    return {mode, app.parentWindow};
}

TEST(CommandLine, NoSwitchIsConfigureWithoutOwner)
{
    EXPECT_EQ(parse("vesiclar.scr").mode, kModeConfigure);
    EXPECT_EQ(parse("vesiclar.scr").parent, 0u);
    EXPECT_EQ(parse("").mode, kModeConfigure);
    EXPECT_EQ(parse("vesiclar.scr ").mode, kModeConfigure);
    EXPECT_EQ(parse("vesiclar.scr plain words").mode, kModeConfigure);
}

TEST(CommandLine, RunSwitches)
{
    for (const char* line : {"v.scr /s", "v.scr /S", "v.scr -s", "v.scr /a", "v.scr /x", "v.scr /", "v.scr -"})
        EXPECT_EQ(parse(line).mode, kModeRun) << line;
    EXPECT_EQ(parse("v.scr /t").mode, kModeTest);
    EXPECT_EQ(parse("v.scr /T").mode, kModeTest);
}

TEST(CommandLine, WindowHandles)
{
    EXPECT_EQ(parse("v.scr /c").mode, kModeConfigure);
    EXPECT_EQ(parse("v.scr /c").parent, 0u);
    for (const char* line : {"v.scr /c:1234", "v.scr /c 1234", "v.scr /C1234", "v.scr /config:1234x5"}) {
        EXPECT_EQ(parse(line).mode, kModeConfigure) << line;
        EXPECT_EQ(parse(line).parent, 1234u) << line;
    }
    EXPECT_EQ(parse("v.scr /c:7890").parent, 7890u);
    EXPECT_EQ(parse("v.scr /p 66000").mode, kModePreview);
    EXPECT_EQ(parse("v.scr /p 66000").parent, 66000u);
    EXPECT_EQ(parse("v.scr /p1234").parent, 1234u);
    EXPECT_EQ(parse("v.scr /p -42").parent, 42u);  // the minus is skipped like any non-digit
    EXPECT_EQ(parse("v.scr /p").mode, kModePreview);
    EXPECT_EQ(parse("v.scr /p").parent, 0u);
    EXPECT_EQ(parse("v.scr /s 1234").parent, 999u);  // not read for run
    // Too many digits for any handle: none, rather than the number wrapped round to some other window.
    EXPECT_EQ(parse("v.scr /p 18446744073709551617").parent, 0u);
}

TEST(CommandLine, ProgramNameIsSkippedWhole)
{
    EXPECT_EQ(parse("\"C:/Program Files/my-saver/v.scr\" /p 55").mode, kModePreview);
    EXPECT_EQ(parse("\"C:/Program Files/my-saver/v.scr\" /p 55").parent, 55u);
    EXPECT_EQ(parse("\"/usr/lib/-odd-/v\"").mode, kModeConfigure);
    EXPECT_EQ(parse("\"unterminated /s").mode, kModeConfigure);
    // Unquoted: the first blank ends the name; a '-' in a later argument counts.
    EXPECT_EQ(parse("/usr/bin/vesiclar /s").mode, kModeRun);
    EXPECT_EQ(parse("v.scr my-x /c").mode, kModeRun);        // the "-x" of an argument is taken
    EXPECT_EQ(parse("v.scr some-path /c").mode, kModePreview);
}

TEST(CommandLine, OnlyTheFirstSwitchCounts)
{
    EXPECT_EQ(parse("v.scr /c /s").mode, kModeConfigure);
    EXPECT_EQ(parse("v.scr /s /c:12").mode, kModeRun);
}

TEST(CommandLine, JoinRebuildsWhatAWindowsHostPasses)
{
    const char* argv[] = {"/opt/My Saver/vesiclar", "/p", "1234"};
    EXPECT_EQ(joinCommandLine(3, argv), "\"/opt/My Saver/vesiclar\" /p 1234");
    ScreensaverApp app;
    EXPECT_EQ(parseCommandLine(app, joinCommandLine(3, argv)), kModePreview);
    EXPECT_EQ(app.parentWindow, 1234u);
    const char* plain[] = {"vesiclar"};
    EXPECT_EQ(joinCommandLine(1, plain), "vesiclar");

    // Whatever a launcher puts in the program name, the switch after it decides: a double quote
    // there (no Windows path holds one) would end or open the quoted name early.
    for (const char* name : {"\"vesiclar", "/opt/a \"b/vesiclar", "/opt/x\" -y/vesiclar"}) {
        const char* run[] = {name, "/s"};
        const char* configure[] = {name, "/c"};
        EXPECT_EQ(parseCommandLine(app, joinCommandLine(2, run)), kModeRun) << name;
        EXPECT_EQ(parseCommandLine(app, joinCommandLine(2, configure)), kModeConfigure) << name;
        EXPECT_EQ(parseCommandLine(app, joinCommandLine(1, run)), kModeConfigure) << name;
    }
}

// argv as an xscreensaver host or a user passes it, through to the mode and the run's settings.
struct Launch {
    int32_t mode = -1;
    RunTarget target;
    bool showFps = false;
};

Launch launch(const std::vector<const char*>& args, const char* xscreensaverWindow = nullptr)
{
    HostOptions options;
    std::vector<const char*> rest{"vesiclar"};
    std::string error;
    EXPECT_TRUE(parseHostOptions(args, xscreensaverWindow, options, rest, error)) << error;
    ScreensaverApp app;
    parseCommandLine(app, joinCommandLine(static_cast<int>(rest.size()), rest.data()));
    currentSettings = {};
    applyHostOptions(app, options);
    const Launch result{app.mode, options.target, currentSettings.ShowFPS};
    currentSettings = {};
    return result;
}

TEST(HostOptions, CountOnlyBesideRootOrWindowId)
{
    const Launch root = launch({"-root", "-fps"}, "0x2a");
    EXPECT_EQ(root.mode, kModeRun);
    EXPECT_TRUE(root.target.hosted);
    EXPECT_EQ(root.target.hostWindow, 0x2au);
    EXPECT_TRUE(root.showFps);
    EXPECT_FALSE(root.target.music) << "a hosted run is silent unless asked";
    EXPECT_TRUE(launch({"--window-id", "77", "--music"}).target.music);

    // Alone they are switches like any other: "-f..." and "-m..." are full-screen runs.
    for (const char* option : {"--fps", "-fps"}) {
        const Launch alone = launch({option});
        EXPECT_EQ(alone.mode, kModeRun) << option;
        EXPECT_FALSE(alone.target.hosted) << option;
        EXPECT_TRUE(alone.showFps) << option;
    }
    EXPECT_EQ(launch({"--music"}).mode, kModeRun);
    // Behind the settings switch the frame rate never reaches the settings the dialog saves.
    const Launch dialog = launch({"/c", "--fps"});
    EXPECT_EQ(dialog.mode, kModeConfigure);
    EXPECT_FALSE(dialog.showFps);
}

TEST(HostOptions, WindowIdsAreDecimalOrHexAsTheHelpSays)
{
    EXPECT_EQ(launch({"--window-id", "010"}).target.hostWindow, 10u);
    EXPECT_EQ(launch({"--window-id", "0x1F"}).target.hostWindow, 0x1Fu);
    EXPECT_EQ(launch({"-root"}, "0X20").target.hostWindow, 0x20u);
    for (const char* id : {" 5", "+5", " -5", "0x", "0x-5", "0x 5", "5 ", "0"}) {
        HostOptions options;
        std::vector<const char*> rest;
        std::string error;
        EXPECT_FALSE(parseHostOptions({"--window-id", id}, nullptr, options, rest, error)) << "'" << id << "'";
    }
}

}  // namespace
