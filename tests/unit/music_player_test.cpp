#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "audio/engine/audio_engine.h"
#include "audio/music_player.h"
#include "data/data_file.h"
#include "data/log.h"
#include "data/settings.h"
#include "ogg_samples.h"
#include "platform/platform.h"
#include "test_support.h"
#include "tools/rartool/archive_writer.h"

namespace {

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string resolveLines(const char* missing = nullptr)
{
    std::string lines;
    for (const char* name : {"BASS_ErrorGetCode", "BASS_Init", "BASS_Free", "BASS_StreamCreateFile", "BASS_StreamPlay",
                             "BASS_SetVolume", "BASS_Start", "BASS_Stop", "BASS_GetVolume"}) {
        lines += std::string("Load BASS function <") + name + "> ...";
        if (missing && std::strcmp(missing, name) == 0)
            lines += "error!..";
        lines += "done\n";
    }
    return lines;
}

class MusicPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The log goes to the folder current at its first use: one for the whole program.
        static ScratchFolder logFolder;
        logPath_ = logFolder.file("log.txt");
        ASSERT_EQ(chdir(logFolder.path().c_str()), 0);
        ASSERT_TRUE(Log::instance().isOpen());
    }

    void SetUp() override
    {
        setenv("TMPDIR", temp.path().c_str(), 1);
        setenv("FAKE_AUDIO_TRACE", temp.file("trace.txt").c_str(), 1);
        unsetenv("FAKE_AUDIO_INIT_FAILS");
        setenv("FAKE_AUDIO_VOLUME", "73", 1);
        currentSettings.EnableMusic = true;
        currentSettings.Volume = 42;
        logStart_ = readText(logPath_).size();
        music = encodeOgg(testChord(2, 44100, 0.5), 2, 44100);
        useArchive({{"music.ogg", false, music}});
    }

    void TearDown() override
    {
        setMusicLibraryImage({});
        setDataArchiveOverride(nullptr, 0);
    }

    void useArchive(const std::vector<PackItem>& items)
    {
        archive = writeArchive(items, {});
        setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    }

    void useLibrary(const char* path)
    {
        library = readBytes(path);
        ASSERT_FALSE(library.empty()) << path;
        setMusicLibraryImage(library);
    }

    // What this test wrote to the log.
    std::string logText() const { return readText(logPath_).substr(logStart_); }
    std::string trace() const { return readText(temp.file("trace.txt")); }

    std::vector<std::string> copiesOfTheLibrary() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
            if (entry.path().filename().string().rfind("bas", 0) == 0)
                names.push_back(entry.path().filename().string());
        return names;
    }

    ScratchFolder temp;  // the user's temporary directory for this test
    std::vector<uint8_t> music, archive, library;
    static inline std::string logPath_;
    size_t logStart_ = 0;
};

void* const kWindow = reinterpret_cast<void*>(1234);

TEST_F(MusicPlayerTest, RunsTheWholeSequenceAndPutsTheVolumeBack)
{
    useLibrary(FAKE_AUDIO_LIBRARY_PATH);
    {
        MusicPlayer player;
        ASSERT_TRUE(player.start(kWindow, nullptr));
        // Loaded and already gone from the disk: nothing is left even if the process is killed.
        EXPECT_TRUE(copiesOfTheLibrary().empty());
        player.play();
        EXPECT_EQ(player.musicData.size, music.size());
        player.stop();
    }
    EXPECT_EQ(trace(), "Init 1 44100 0 1234\nStart\nGetVolume\nSetVolume 42\n"
                       "StreamCreateFile 1 0 " + std::to_string(music.size()) + " 0\n  starts with OggS\n"
                       "StreamPlay 77 0 4\n"
                       "SetVolume 73\nStop\nFree\n");
    EXPECT_EQ(logText(), "done\n" + resolveLines() + "Initialize BASS...done\nOpen music file...done\nPlay music...done\n");
    EXPECT_TRUE(copiesOfTheLibrary().empty());
}

TEST_F(MusicPlayerTest, APlayerDestroyedWithoutStopHaltsTheLibraryBeforeFreeingTheMusic)
{
    useLibrary(FAKE_AUDIO_LIBRARY_PATH);
    {
        MusicPlayer player;
        ASSERT_TRUE(player.start(kWindow, nullptr));
        player.play();
    }
    const std::string calls = trace();
    EXPECT_EQ(calls.substr(calls.find("StreamPlay")), "StreamPlay 77 0 4\nSetVolume 73\nStop\nFree\n");
    // A second player starts from scratch: the first one left nothing loaded.
    MusicPlayer again;
    EXPECT_TRUE(again.start(kWindow, nullptr));
    again.stop();
    EXPECT_EQ(logText().find("error"), std::string::npos) << logText();
}

TEST_F(MusicPlayerTest, MusicOffTouchesNothing)
{
    currentSettings.EnableMusic = false;
    useLibrary(FAKE_AUDIO_LIBRARY_PATH);
    MusicPlayer player;
    EXPECT_TRUE(player.start(kWindow, nullptr));
    player.play();
    player.stop();
    EXPECT_EQ(player.musicData.data, nullptr);
    EXPECT_EQ(logText(), "");
    EXPECT_EQ(trace(), "");
    // Only the trace file could exist; no copy of the library was ever written.
    for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
        ADD_FAILURE() << entry.path();
}

TEST_F(MusicPlayerTest, AMissingEntryPointIsLoggedAndTheRunGoesOn)
{
    useLibrary(FAKE_AUDIO_LIBRARY_WITHOUT_PLAY_PATH);
    MusicPlayer player;
    ASSERT_TRUE(player.start(kWindow, nullptr));
    player.play();
    player.stop();
    EXPECT_EQ(logText(), "done\n" + resolveLines("BASS_StreamPlay") +
                             "Initialize BASS...done\nOpen music file...done\n"
                             "Play music...BASS_StreamPlay : Error Code 0...");
    EXPECT_EQ(trace(), "Init 1 44100 0 1234\nStart\nGetVolume\nSetVolume 42\n"
                       "StreamCreateFile 1 0 " + std::to_string(music.size()) + " 0\n  starts with OggS\n"
                       "SetVolume 73\nStop\nFree\n");
}

TEST_F(MusicPlayerTest, OutputThatCannotStartLeavesASilentRun)
{
    setenv("FAKE_AUDIO_INIT_FAILS", "1", 1);
    useLibrary(FAKE_AUDIO_LIBRARY_PATH);
    MusicPlayer player;
    ASSERT_TRUE(player.start(kWindow, nullptr));
    player.play();
    player.stop();
    EXPECT_EQ(logText(), "done\n" + resolveLines() +
                             "Initialize BASS...Open music file...done\n"
                             "Play music...BASS_StreamCreateFile : Error Code 4242...");
    EXPECT_EQ(trace(), "Init 1 44100 0 1234\n"
                       "StreamCreateFile 1 0 " + std::to_string(music.size()) + " 0\n  starts with OggS\n");
}

TEST_F(MusicPlayerTest, MissingMusicIsLoggedAndNoStreamIsMade)
{
    useArchive({{"meshes", true, {}}, {"meshes\\sphere.dat", false, {1, 2, 3}}});
    useLibrary(FAKE_AUDIO_LIBRARY_PATH);
    MusicPlayer player;
    ASSERT_TRUE(player.start(kWindow, nullptr));
    player.play();
    player.stop();
    EXPECT_EQ(logText(), "done\n" + resolveLines() + "Initialize BASS...done\nOpen music file...error!\n");
    EXPECT_EQ(trace().find("StreamCreateFile"), std::string::npos);
}

TEST_F(MusicPlayerTest, ALibraryThatCannotBeLoadedIsFatalAndLeavesNoCopy)
{
    library.assign(5000, 0x5A);
    setMusicLibraryImage(library);
    MusicPlayer player;
    EXPECT_FALSE(player.start(kWindow, nullptr));
    EXPECT_EQ(logText(), "Error: Can't load BASS.DLL\n");
    EXPECT_TRUE(copiesOfTheLibrary().empty());
    player.play();  // the run would have ended; nothing may be called through a missing library
    player.stop();
}

// ---- The real, embedded library writing to SDL's disk driver -----------------------------------

void useDiskOutput(const std::string& file)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

bool waitForBytes(const std::string& path, size_t bytes)
{
    // Generous: a loaded machine decodes far slower than an idle one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    struct stat st{};
    while (stat(path.c_str(), &st) != 0 || static_cast<size_t>(st.st_size) < bytes) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<int16_t> samplesOf(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

TEST_F(MusicPlayerTest, TheEmbeddedLibraryPlaysTheMusicLoopingAtTheSetVolume)
{
    constexpr size_t kPastSeam = 2 * 44100;  // samples: one second of stereo
    const std::vector<int16_t> reference = decodeOgg(music);
    ASSERT_FALSE(reference.empty());
    for (const int volume : {100, 0}) {
        SCOPED_TRACE(volume);
        currentSettings.Volume = volume;
        const std::string output = temp.file("out" + std::to_string(volume) + ".raw");
        useDiskOutput(output);
        {
            MusicPlayer player;
            ASSERT_TRUE(player.start(kWindow, nullptr));
            player.play();
            // The music starts at most a few buffers beyond what is on disk once play has returned.
            struct stat st{};
            const size_t silence = (stat(output.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0) + 65536;
            // One whole loop and about a second past the seam shows the loop is seamless.
            ASSERT_TRUE(waitForBytes(output, silence + (reference.size() + kPastSeam) * 2));
            player.stop();
        }
        const std::vector<int16_t> recording = samplesOf(readBytes(output));
        ASSERT_GE(recording.size(), reference.size() + kPastSeam);
        if (volume == 0) {
            EXPECT_TRUE(std::all_of(recording.begin(), recording.end(), [](int16_t s) { return s == 0; }));
            continue;
        }
        size_t first = 0;
        while (recording[first] == 0)
            ++first;
        size_t firstRef = 0;
        while (reference[firstRef] == 0)
            ++firstRef;
        ASSERT_GE(first, firstRef);
        const size_t start = first - firstRef;
        const size_t checked = std::min(recording.size() - start, reference.size() + kPastSeam / 2);
        for (size_t i = 0; i < checked; ++i)
            ASSERT_EQ(recording[start + i], reference[i % reference.size()]) << "sample " << i;
    }
    EXPECT_EQ(logText().find("error"), std::string::npos) << logText();
    EXPECT_TRUE(copiesOfTheLibrary().empty());
}

TEST_F(MusicPlayerTest, CorruptMusicGivesTheLibrarysErrorCode)
{
    std::vector<uint8_t> corrupt = music;
    std::fill(corrupt.begin(), corrupt.begin() + 64, uint8_t{0x33});
    useArchive({{"music.ogg", false, corrupt}});
    useDiskOutput(temp.file("corrupt.raw"));
    MusicPlayer player;
    ASSERT_TRUE(player.start(kWindow, nullptr));
    player.play();
    player.stop();
    EXPECT_EQ(logText(), "done\n" + resolveLines() + "Initialize BASS...done\nOpen music file...done\n" +
                             "Play music...BASS_StreamCreateFile : Error Code " +
                             std::to_string(kAudioErrorFormat) + "...");
}

TEST(TempFile, IsPrivateHoldsTheBytesAndCanBeRemoved)
{
    ScratchFolder folder;
    char path[260];
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    ASSERT_TRUE(platform::writeTempFile(path, sizeof path, folder.path() + "/", "bas", bytes));
    EXPECT_EQ(std::string(path).rfind(folder.path() + "/bas", 0), 0u) << path;
    struct stat st{};
    ASSERT_EQ(stat(path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(readBytes(path), bytes);
    EXPECT_TRUE(platform::deleteFile(path));
    EXPECT_NE(stat(path, &st), 0);
    EXPECT_TRUE(platform::deleteFile(path));  // already gone counts as gone
    // What the system will not remove is reported, so its path is not forgotten.
    std::filesystem::create_directory(folder.file("basdir"));
    EXPECT_FALSE(platform::deleteFile(folder.file("basdir").c_str()));
    EXPECT_TRUE(std::filesystem::exists(folder.file("basdir")));

    EXPECT_FALSE(platform::writeTempFile(path, sizeof path, folder.file("missing/"), "bas", bytes));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(platform::writeTempFile(path, 8, folder.path() + "/", "bas", bytes));  // name does not fit
    EXPECT_FALSE(platform::writeTempFile(path, sizeof path, "", "bas", bytes));
    EXPECT_TRUE(platform::deleteFile(""));
}

}  // namespace
