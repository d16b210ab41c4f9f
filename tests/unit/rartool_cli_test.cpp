// rartool as a user runs it: exit statuses and the lines it prints.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun rartool(const std::string& args, const ScratchFolder& folder)
{
    const std::string outFile = folder.file("stdout.txt");
    const std::string command = std::string(RARTOOL_PATH) + " " + args + " > " + outFile + " 2>&1";
    ToolRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(outFile);
    r.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void makeTree(const ScratchFolder& folder)
{
    std::filesystem::create_directories(folder.file("tree/meshes"));
    std::ofstream(folder.file("tree/meshes/sphere.dat"), std::ios::binary) << std::string(3000, 's') << "end";
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i % 37) + " of the scene\n";
    std::ofstream(folder.file("tree/scene0.txt"), std::ios::binary) << text;
}

TEST(RartoolCli, PackListTestAndExtract)
{
    ScratchFolder folder;
    makeTree(folder);
    for (const char* flags : {"", " --compress", " --compress --solid"}) {
        const std::string rar = folder.file("a.rar");
        ASSERT_EQ(rartool("pack " + rar + " " + folder.file("tree") + flags, folder).status, 0) << flags;

        const ToolRun list = rartool("list " + rar, folder);
        EXPECT_EQ(list.status, 0);
        EXPECT_NE(list.out.find("meshes 20 0x30 0x80E0 0 0 00000000"), std::string::npos) << list.out;
        EXPECT_NE(list.out.find("meshes\\sphere.dat 20 0x3"), std::string::npos) << list.out;
        const char* scene = std::string(flags).empty() ? "scene0.txt 20 0x30 0x8000" : "scene0.txt 20 0x33";
        EXPECT_NE(list.out.find(scene), std::string::npos) << list.out;

        const ToolRun test = rartool("test " + rar, folder);
        EXPECT_EQ(test.status, 0);
        EXPECT_EQ(test.out, "2 passed, 0 failed\n");

        const std::string out = folder.file("sphere.out");
        EXPECT_EQ(rartool("extract " + rar + " MESHES/SPHERE.DAT " + out, folder).status, 0);
        EXPECT_EQ(readFile(out), readFile(folder.file("tree/meshes/sphere.dat")));
    }
}

TEST(RartoolCli, FailuresSayWhy)
{
    ScratchFolder folder;
    makeTree(folder);
    const std::string rar = folder.file("a.rar");
    ASSERT_EQ(rartool("pack " + rar + " " + folder.file("tree"), folder).status, 0);

    const ToolRun missing = rartool("extract " + rar + " nothing.txt " + folder.file("x"), folder);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "nothing.txt: not found\n");

    // Damage the sphere's bytes: extract names the CRC, test counts one failure.
    std::string bytes = readFile(rar);
    const size_t at = bytes.find("sssss");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 100] = 'S';
    std::ofstream(rar, std::ios::binary | std::ios::trunc) << bytes;
    const ToolRun crc = rartool("extract " + rar + " meshes\\\\sphere.dat " + folder.file("x"), folder);
    EXPECT_EQ(crc.status, 1);
    EXPECT_EQ(crc.out, "meshes\\sphere.dat: CRC mismatch\n");
    const ToolRun test = rartool("test " + rar, folder);
    EXPECT_EQ(test.status, 1);
    EXPECT_EQ(test.out, "meshes\\sphere.dat: CRC mismatch\n1 passed, 1 failed\n");

    EXPECT_NE(rartool("pack " + folder.file("b.rar") + " " + folder.file("no-such-dir"), folder).status, 0);
    EXPECT_NE(rartool("frobnicate", folder).status, 0);
}

}  // namespace
