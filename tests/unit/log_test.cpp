#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

    // A relative folder would name another one once the program has moved into it, and the failure
    // message would point at a log that is not the run's.
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    setenv("TMPDIR", "private", 1);
    EXPECT_EQ(platform::tempDirectory(), privateDir + "/");
    ASSERT_EQ(chdir(previous), 0);
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
