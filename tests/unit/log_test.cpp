#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/log.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(LogFile, LinesAreWrittenAndFlushedAtOnce)
{
    ScratchFolder folder;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    {
        std::ofstream(folder.file("log.txt")) << "an earlier run\n";
    }
    Log& log = Log::instance();
    ASSERT_TRUE(log.isOpen());
    log.section("Load resources");
    log.write("Set resolution: ").write(800).write("x").write(600).write("...").done();
    log.write(-12).write("EXIT");
    // Flushed without closing: the file is complete while the process lives.
    EXPECT_EQ(readFile(folder.file("log.txt")),
              "............... Load resources ...............\nSet resolution: 800x600...done\n-12EXIT");
    ASSERT_EQ(chdir(previous), 0);
}

TEST(TempDirectory, PrefersPrivateFoldersAndRefusesSharedOnes)
{
    ScratchFolder folder;
    const std::string privateDir = folder.file("private");
    const std::string sharedDir = folder.file("shared");
    mkdir(privateDir.c_str(), 0700);
    mkdir(sharedDir.c_str(), 0777);
    chmod(sharedDir.c_str(), 0777);

    const char* savedTmp = getenv("TMPDIR");
    const std::string keepTmp = savedTmp ? savedTmp : "";
    setenv("TMPDIR", privateDir.c_str(), 1);
    EXPECT_EQ(platform::tempDirectory(), privateDir + "/");

    setenv("TMPDIR", sharedDir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", privateDir.c_str(), 1);
    EXPECT_EQ(platform::tempDirectory(), privateDir + "/");

    // A relative folder is one in the folder the program started in, also once the program has
    // moved into it: the log lands there, and the failure message points there.
    setenv("XDG_RUNTIME_DIR", sharedDir.c_str(), 1);
    setenv("TMPDIR", std::filesystem::relative(privateDir).c_str(), 1);
    std::string deep = privateDir;  // where the way back up to the start stops short of /
    for (const auto& part : std::filesystem::current_path()) {
        (void)part;
        deep += "/d";
        mkdir(deep.c_str(), 0700);
    }
    char started[4096];
    ASSERT_NE(getcwd(started, sizeof started), nullptr);
    ASSERT_EQ(chdir(deep.c_str()), 0);
    const std::string afterTheMove = platform::tempDirectory();
    ASSERT_EQ(chdir(started), 0);
    EXPECT_EQ(afterTheMove, privateDir + "/");
    setenv("TMPDIR", sharedDir.c_str(), 1);

    setenv("XDG_RUNTIME_DIR", "/tmp", 1);
    const std::string own = platform::tempDirectory();
    EXPECT_EQ(own, "/tmp/vesiclar-" + std::to_string(getuid()) + "/");
    struct stat st{};
    ASSERT_EQ(stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    if (savedTmp)
        setenv("TMPDIR", keepTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

}  // namespace
