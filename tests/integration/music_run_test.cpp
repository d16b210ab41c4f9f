// The music in the real program: what it writes to the sound device, and what it leaves behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "x_session.h"

namespace {

std::vector<std::string> musicSettings(const char* enable, const char* volume)
{
    return {"UseDesktop=0", "Width=800", "Height=600", "Depth=32", "VSync=0", "DefGamma=1",
            std::string("EnableMusic=") + enable, std::string("Volume=") + volume};
}

std::vector<int16_t> readSamples(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

class MusicRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<XServer>(800, 600);
        ASSERT_TRUE(server->ok()) << "Xvfb did not start";
        char pattern[] = "/tmp/vesiclar-sound-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        soundFolder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(soundFolder, ignored);
    }

    // Runs until a second of music has played, then ends the run with a key.
    std::unique_ptr<Program> runOnce(const std::vector<std::string>& settings, const char* driver = "disk")
    {
        auto program = std::make_unique<Program>(server->name(), settings);
        soundFile = "SDL_DISKAUDIOFILE=" + soundFolder + "/out.raw";
        soundDriver = std::string("SDL_AUDIODRIVER=") + driver;
        EXPECT_TRUE(program->start({"/s"}, {soundDriver, soundFile}));
        EXPECT_TRUE(program->waitForLog("Starting main loop...", 60)) << program->log();
        sleepSeconds(1.0);
        EXPECT_TRUE(xdotool(server->name(), {"key", "space"}));
        int status = -1;
        EXPECT_TRUE(program->waitForExit(10, status));
        EXPECT_EQ(status, 0);
        return program;
    }

    std::unique_ptr<XServer> server;
    std::string soundFolder, soundFile, soundDriver;
};

TEST_F(MusicRunTest, PlaysTheMusicAtTheVolumeSettingAndLeavesNoCopyOfTheLibrary)
{
    auto program = runOnce(musicSettings("1", "40"));
    const std::string log = program->log();
    std::string loading = "Create window...done\ndone\n";
    for (const char* name : {"BASS_ErrorGetCode", "BASS_Init", "BASS_Free", "BASS_StreamCreateFile",
                             "BASS_StreamPlay", "BASS_SetVolume", "BASS_Start", "BASS_Stop", "BASS_GetVolume"})
        loading += std::string("Load BASS function <") + name + "> ...done\n";
    loading += "Initialize BASS...done\n";
    EXPECT_NE(log.find(loading), std::string::npos) << log;
    EXPECT_NE(log.find("Starting main loop...Open music file...done\nPlay music...done\n"), std::string::npos) << log;
    EXPECT_EQ(program->temporaryFiles(), std::vector<std::string>{"log.txt"});

    // Real music came out, no louder than the volume setting allows.
    const std::vector<int16_t> samples = readSamples(soundFolder + "/out.raw");
    ASSERT_GT(samples.size(), 44100u);
    int peak = 0;
    size_t audible = 0;
    for (const int16_t s : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
        audible += std::abs(static_cast<int>(s)) > 64;
    }
    EXPECT_GT(audible, 44100u / 2) << "about a second of music was expected";
    EXPECT_GT(peak, 2000);
    EXPECT_LE(peak, 32768 * 40 / 100 + 1);
}

TEST_F(MusicRunTest, WithoutASoundDeviceTheRunGoesOnSilently)
{
    auto program = runOnce(musicSettings("1", "40"), "no-such-driver");
    const std::string log = program->log();
    // No "done" after a failed start of the output: the next step's line runs on.
    EXPECT_NE(log.find(std::string("Initialize BASS...") + "............... Initialize OpenGL"), std::string::npos)
        << log;
    // 4: the library was never initialised.
    EXPECT_NE(log.find("Starting main loop...Open music file...done\n"
                       "Play music...BASS_StreamCreateFile : Error Code 4...EXIT"),
              std::string::npos)
        << log;
    EXPECT_EQ(program->temporaryFiles(), std::vector<std::string>{"log.txt"});
}

TEST_F(MusicRunTest, OfSeveralHostedRunsStartedTogetherOnlyOnePlaysTheMusic)
{
    // A screen saver daemon starts one run per monitor, all told to play the music: one tune is
    // wanted, not one a monitor a little out of step with the others. The runs share the daemon's
    // environment, and with it the temporary folder (and the log in it).
    Display* d = server->display();
    const std::string folder = "TMPDIR=" + soundFolder;
    auto startHosted = [&](int slot, const std::string& output) {
        const Window host = XCreateSimpleWindow(d, DefaultRootWindow(d), 10 + 210 * slot, 10, 200, 150, 0, 0, 0);
        XMapWindow(d, host);
        XSync(d, False);
        auto run = std::make_unique<Program>(server->name(), musicSettings("1", "40"));
        EXPECT_TRUE(run->start({"-window-id", std::to_string(host), "--music"},
                               {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + output, folder}));
        EXPECT_GE(countDamage(d, host, 60, 3), 3) << "frames in host window " << slot;
        return run;
    };
    auto plays = [](const std::string& output) {
        size_t audible = 0;
        for (const int16_t s : readSamples(output))
            audible += std::abs(static_cast<int>(s)) > 64;
        return audible > 44100u / 4;
    };
    auto end = [](Program& run) {
        run.signal(SIGTERM);
        int status = -1;
        EXPECT_TRUE(run.waitForExit(10, status));
        EXPECT_EQ(status, 0);
    };

    std::vector<std::unique_ptr<Program>> runs;
    std::vector<std::string> outputs;
    for (int i = 0; i < 3; ++i) {
        outputs.push_back(soundFolder + "/out" + std::to_string(i) + ".raw");
        runs.push_back(startHosted(i, outputs.back()));
    }
    sleepSeconds(1.0);
    EXPECT_EQ(std::count_if(outputs.begin(), outputs.end(), plays), 1) << "runs whose sound device got music";
    for (auto& run : runs)
        end(*run);

    // The claim ends with the run that held it: the next run plays.
    const std::string output = soundFolder + "/again.raw";
    auto again = startHosted(0, output);
    sleepSeconds(1.0);
    EXPECT_TRUE(plays(output));
    end(*again);
}

TEST_F(MusicRunTest, MusicOffOpensNoDeviceWritesNoCopyAndLogsNoMusicLines)
{
    auto program = runOnce(musicSettings("0", "40"));
    const std::string log = program->log();
    EXPECT_EQ(log.find("BASS"), std::string::npos) << log;
    EXPECT_EQ(log.find("music"), std::string::npos) << log;
    EXPECT_EQ(program->temporaryFiles(), std::vector<std::string>{"log.txt"});
    EXPECT_FALSE(std::filesystem::exists(soundFolder + "/out.raw")) << "the sound device was opened";
}

// The carried library cannot be loaded when a library it needs is missing or broken (a machine
// without libvorbisfile, here one that is no library at all). The run ends before its first
// frame; a status 0 and no word would leave the user at a screen that went black and back.
TEST_F(MusicRunTest, AnAudioLibraryThatCannotBeLoadedEndsTheRunWithAReasonAndStatusOne)
{
    const std::string broken = soundFolder + "/lib";
    std::filesystem::create_directory(broken);
    std::ofstream(broken + "/libvorbisfile.so.3");
    Program program(server->name(), musicSettings("1", "40"));
    ASSERT_TRUE(program.start({"/s"}, {"LD_LIBRARY_PATH=" + broken}));
    int status = -1;
    ASSERT_TRUE(program.waitForExit(60, status));
    EXPECT_EQ(status, 1);
    EXPECT_NE(program.standardError().find("audio library cannot be loaded"), std::string::npos)
        << program.standardError();
    EXPECT_NE(program.log().find("Error: Can't load BASS.DLL\n"), std::string::npos) << program.log();
}

}  // namespace
