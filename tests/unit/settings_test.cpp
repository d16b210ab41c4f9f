#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "app/settings_store.h"
#include "data/text_tables.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

class SettingsPersistence : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setSettingsStoreFile(folder.file("vesiclar/settings.ini"));
        loadSettingsTable();
        currentSettings = Settings{};
        defaultSettings = Settings{};
        initFactorySettings();
    }
    void TearDown() override { platform::setSettingsStoreFile(""); }

    void writeStore(const std::string& text)
    {
        mkdir(folder.file("vesiclar").c_str(), 0700);
        std::ofstream(folder.file("vesiclar/settings.ini"), std::ios::binary) << text;
    }
    std::string readStore()
    {
        std::ifstream in(folder.file("vesiclar/settings.ini"), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void expectFactory(const Settings& s)
    {
        EXPECT_TRUE(s.EnableMusic);
        EXPECT_TRUE(s.ShowClock);
        EXPECT_TRUE(s.ShowFlame);
        EXPECT_FALSE(s.ShowFPS);
        EXPECT_FALSE(s.VSync);
        EXPECT_TRUE(s.UseDesktop);
        EXPECT_FALSE(s.MouseExit);
        EXPECT_TRUE(s.DefGamma);
        EXPECT_TRUE(s.Random);
        EXPECT_TRUE(s.TimeFormat);
        EXPECT_FALSE(s.English);
        EXPECT_EQ(s.Detail, 2);
        EXPECT_EQ(s.Volume, 75);
        EXPECT_EQ(s.Gamma, 50);
        EXPECT_EQ(s.Width, 800);
        EXPECT_EQ(s.Height, 600);
        EXPECT_EQ(s.Depth, 32);
        EXPECT_STREQ(s.Path, "");
    }

    ScratchFolder folder;
};

TEST_F(SettingsPersistence, EmptyStoreGivesTheFactoryValues)
{
    expectFactory(defaultSettings);
    loadSettings();
    expectFactory(currentSettings);
}

TEST_F(SettingsPersistence, SentinelsAndDefGamma)
{
    writeStore("ShowClock=2\nTimeFormat=7\nVolume=2000\nDepth=2001\nGamma=80\nDefGamma=1\nWidth=2\nHeight=1024\n"
               "Path=C:\\Games\\Vesiclar\n");
    loadSettings();
    EXPECT_TRUE(currentSettings.ShowClock);   // 2 is the sentinel: absent
    EXPECT_TRUE(currentSettings.TimeFormat);  // any other non-zero reads as true
    EXPECT_EQ(currentSettings.Volume, 75);
    EXPECT_EQ(currentSettings.Depth, 2001);
    EXPECT_EQ(currentSettings.Gamma, 50);     // DefGamma forces it
    EXPECT_EQ(currentSettings.Width, 800);
    EXPECT_EQ(currentSettings.Height, 1024);
    EXPECT_STREQ(currentSettings.Path, "C:\\Games\\Vesiclar");

    writeStore("Gamma=80\nDefGamma=0\n");
    loadSettings();
    EXPECT_EQ(currentSettings.Gamma, 80);
}

TEST_F(SettingsPersistence, WrongTypesReadAsAbsent)
{
    writeStore("Volume=-5\nWidth=1e3\nHeight=4294967296\nDetail=\nShowFPS=yes\nDepth=16\r\nVSync=1\r\n");
    loadSettings();
    EXPECT_EQ(currentSettings.Volume, 75);
    EXPECT_EQ(currentSettings.Width, 800);
    EXPECT_EQ(currentSettings.Height, 600);
    EXPECT_EQ(currentSettings.Detail, 2);
    EXPECT_FALSE(currentSettings.ShowFPS);
    EXPECT_EQ(currentSettings.Depth, 16);  // CR LF line ends are fine
    EXPECT_TRUE(currentSettings.VSync);
}

TEST_F(SettingsPersistence, HandEditedFilesReadForgivinglyAndKeepWhatTheSaveDoesNotOwn)
{
    const std::string edited = "# my notes\n"
                               "width = 1024\n"
                               "ShowClock=0 \n"
                               "  ; tried 50 once\n"
                               "FavouriteColour = green\n"
                               "VOLUME=40\r\n"
                               "path = /opt/vesiclar \n";
    writeStore(edited);
    loadSettings();
    EXPECT_EQ(currentSettings.Width, 1024);
    EXPECT_FALSE(currentSettings.ShowClock);
    EXPECT_EQ(currentSettings.Volume, 40);
    EXPECT_STREQ(currentSettings.Path, "/opt/vesiclar");

    currentSettings.Width = 1280;
    currentSettings.Volume = 41;
    ASSERT_TRUE(saveSettings());
    const std::string text = readStore();
    // The lines it does not own stay where they were; its own values change in place.
    EXPECT_EQ(text.rfind("# my notes\nwidth = 1280\nShowClock=0\n  ; tried 50 once\nFavouriteColour = green\n"
                         "VOLUME=41\r\npath = /opt/vesiclar \n",
                         0),
              0u)
        << text;
    EXPECT_EQ(text.find("Width="), std::string::npos) << "no second Width line";
    EXPECT_NE(text.find("\nHeight=600\n"), std::string::npos) << "values the file lacked are added";
    loadSettings();
    EXPECT_EQ(currentSettings.Width, 1280);
    EXPECT_EQ(currentSettings.Volume, 41);
}

TEST_F(SettingsPersistence, AByteOrderMarkDoesNotHideTheFirstValue)
{
    // Editors that save "UTF-8 with BOM" put three bytes before the first name.
    writeStore("\xEF\xBB\xBFVolume=40\r\nWidth=1024\r\n");
    loadSettings();
    EXPECT_EQ(currentSettings.Volume, 40);
    currentSettings.Volume = 41;
    ASSERT_TRUE(saveSettings());
    const std::string text = readStore();
    EXPECT_EQ(text.rfind("\xEF\xBB\xBFVolume=41\r\nWidth=1024\r\n", 0), 0u) << text;
    EXPECT_EQ(text.find("\nVolume="), std::string::npos) << "no second Volume line: " << text;
}

TEST_F(SettingsPersistence, ASaveThroughALinkedFileUpdatesTheLinkedCopy)
{
    // Dotfile managers link the file in from a folder of their own.
    mkdir(folder.file("vesiclar").c_str(), 0700);
    mkdir(folder.file("dotfiles").c_str(), 0700);
    std::ofstream(folder.file("dotfiles/settings.ini"), std::ios::binary) << "Volume=40\n";
    ASSERT_EQ(symlink(folder.file("dotfiles/settings.ini").c_str(), folder.file("vesiclar/settings.ini").c_str()), 0);
    loadSettings();
    currentSettings.Volume = 41;
    ASSERT_TRUE(saveSettings());
    struct stat st{};
    ASSERT_EQ(lstat(folder.file("vesiclar/settings.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    std::ifstream in(folder.file("dotfiles/settings.ini"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind("Volume=41\n", 0), 0u) << text.str();
}

TEST_F(SettingsPersistence, SaveThenReloadGivesEveryFieldBack)
{
    writeStore("Path=/home/someone/vesiclar\n");
    loadSettings();
    Settings& s = currentSettings;
    s.EnableMusic = false;
    s.ShowClock = false;
    s.ShowFlame = false;
    s.ShowFPS = true;
    s.VSync = true;
    s.UseDesktop = false;
    s.MouseExit = true;
    s.DefGamma = false;
    s.Random = false;
    s.TimeFormat = false;
    s.English = true;
    s.Detail = 1;
    s.Volume = 33;
    s.Gamma = 71;
    s.Width = 1280;
    s.Height = 720;
    s.Depth = 16;
    ASSERT_TRUE(saveSettings());
    const Settings saved = s;
    currentSettings = defaultSettings;
    loadSettings();
    EXPECT_EQ(std::memcmp(&saved, &currentSettings, sizeof saved), 0);
    EXPECT_STREQ(currentSettings.Path, "/home/someone/vesiclar");
    EXPECT_NE(readStore().find("Path=/home/someone/vesiclar\n"), std::string::npos);
    EXPECT_NE(readStore().find("Gamma=71\n"), std::string::npos);
}

TEST_F(SettingsPersistence, SaveCreatesTheFolderAndWritesNoPath)
{
    ASSERT_TRUE(saveSettings());
    const std::string text = readStore();
    EXPECT_EQ(text.find("Path="), std::string::npos);
    for (const char* name : {"ShowClock", "TimeFormat", "English", "Random", "EnableMusic", "UseDesktop", "ShowFlame",
                             "DefGamma", "Width", "Height", "Depth", "Volume", "Gamma", "Detail", "VSync", "MouseExit",
                             "ShowFPS"})
        EXPECT_NE(text.find(std::string(name) + "="), std::string::npos) << name;
    struct stat st{};
    ASSERT_EQ(stat(folder.file("vesiclar/settings.ini.tmp").c_str(), &st), -1);  // no leftovers
}

TEST_F(SettingsPersistence, GarbageTruncatedAndHugeFilesGiveFactoryValues)
{
    // Sized by the array: the text holds a NUL of its own.
    const char garbage[] = "\x00\x01\xff\xfe=\n=\n\n\n====Width\nVolu";
    writeStore(std::string(garbage, sizeof garbage - 1));
    loadSettings();
    expectFactory(currentSettings);

    std::string huge(100u << 20, 'x');
    huge.replace(0, 12, "Volume=10\n\n\n");
    writeStore(huge);
    const auto start = platform::counterTicks();
    loadSettings();
    const double seconds = double(platform::counterTicks() - start) / double(platform::counterFrequency());
    expectFactory(currentSettings);
    EXPECT_LT(seconds, 0.5);
}

TEST_F(SettingsPersistence, ASaveKeepsWhatItCannotReadAndTheFilesOwnLineEnds)
{
    // Too large to be read: a save would leave only its own values of it.
    std::string large(100u << 10, '#');
    large.replace(0, 11, "Volume=10\n#");
    writeStore(large);
    loadSettings();
    EXPECT_EQ(currentSettings.Volume, 75);
    EXPECT_FALSE(saveSettings());
    EXPECT_TRUE(readStore() == large) << "the file was replaced";

    // Lines ending in CR alone, as old Mac editors save them, are lines too.
    writeStore("# mine\rVolume=40\rWidth=1024\r");
    loadSettings();
    EXPECT_EQ(currentSettings.Volume, 40);
    EXPECT_EQ(currentSettings.Width, 1024);
    currentSettings.Volume = 41;
    ASSERT_TRUE(saveSettings());
    std::string text = readStore();
    EXPECT_EQ(text.rfind("# mine\rVolume=41\rWidth=1024\r", 0), 0u) << text;
    EXPECT_NE(text.find("\rHeight=600\r"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << text;

    // Added lines end in CR LF when the file's do.
    writeStore("Volume=40\r\nWidth=1024");
    loadSettings();
    ASSERT_TRUE(saveSettings());
    text = readStore();
    EXPECT_EQ(text.rfind("Volume=40\r\nWidth=1024\r\n", 0), 0u) << text;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        EXPECT_EQ(text[at - 1], '\r') << "a bare LF at " << at << " in " << text;
}

TEST_F(SettingsPersistence, AFifoInTheFilesPlaceGivesFactoryValuesWithoutWaiting)
{
    mkdir(folder.file("vesiclar").c_str(), 0700);
    const std::string fifo = folder.file("vesiclar/settings.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto loading = std::async(std::launch::async, [] { loadSettings(); });
    const bool waited = loading.wait_for(std::chrono::seconds(5)) == std::future_status::timeout;
    if (waited)
        ::close(::open(fifo.c_str(), O_WRONLY));  // a writer lets the stuck open return, so the test can end
    loading.wait();
    EXPECT_FALSE(waited) << "loading the settings waited for a writer to the FIFO";
    expectFactory(currentSettings);
}

TEST_F(SettingsPersistence, FailedSaveLeavesTheOldFile)
{
    writeStore("Volume=42\n");
    // A folder where the temporary file should go makes the write fail, even for root.
    mkdir(folder.file("vesiclar/settings.ini.tmp").c_str(), 0700);
    currentSettings.Volume = 10;
    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(readStore(), "Volume=42\n");
    loadSettings();
    EXPECT_EQ(currentSettings.Volume, 42);
}

TEST_F(SettingsPersistence, SaveWithNowhereToStoreReportsFailure)
{
    // Neither $XDG_CONFIG_HOME nor $HOME: the user's store has no place, so OK must not close as if saved.
    platform::setSettingsStoreFile("");
    const WithoutConfigHome nowhere;
    EXPECT_FALSE(saveSettings());
}

TEST_F(SettingsPersistence, RestoreDefaultsKeepsLoadedVSyncAndPath)
{
    writeStore("VSync=1\nPath=p\nVolume=5\nUseDesktop=0\nWidth=1024\n");
    loadSettings();
    rebuildDefaultSettings();
    EXPECT_TRUE(defaultSettings.VSync);
    EXPECT_STREQ(defaultSettings.Path, "p");
    EXPECT_EQ(defaultSettings.Volume, 75);
    EXPECT_EQ(defaultSettings.Width, 800);
    EXPECT_EQ(currentSettings.Width, 1024);
}

TEST_F(SettingsPersistence, ARelativeHomeIsTheFolderTheProgramStartedIn)
{
    // HOME=. keeps a program's settings beside the user. The program moves into its temporary
    // folder after loading them; the dialog's save must still go to the file they came from.
    platform::setSettingsStoreFile("");
    const WithoutConfigHome clean;
    const std::string home = std::filesystem::relative(folder.path()).string();
    setenv("HOME", home.c_str(), 1);
    mkdir(folder.file(".config").c_str(), 0700);
    mkdir(folder.file(".config/vesiclar").c_str(), 0700);
    // Deep enough that the way up from there to the start stops short of /, where extra ".." end.
    std::string elsewhere = folder.path();
    for (const auto& part : std::filesystem::current_path()) {
        (void)part;
        elsewhere += "/d";
        mkdir(elsewhere.c_str(), 0700);
    }
    std::ofstream(folder.file(".config/vesiclar/settings.ini"), std::ios::binary) << "Volume=40\n";
    loadSettings();
    EXPECT_EQ(currentSettings.Volume, 40);

    char started[4096];
    ASSERT_NE(getcwd(started, sizeof started), nullptr);
    ASSERT_EQ(chdir(elsewhere.c_str()), 0);
    currentSettings.Volume = 41;
    const bool saved = saveSettings();
    ASSERT_EQ(chdir(started), 0);
    unsetenv("HOME");
    EXPECT_TRUE(saved);
    std::ifstream in(folder.file(".config/vesiclar/settings.ini"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind("Volume=41\n", 0), 0u) << text.str();
}

}  // namespace
