// rartool as a user runs it: exit statuses and the lines it prints.
#include "archive_writer.h"

#include "data/archive.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun rartool(const std::string& args, const ScratchFolder& folder)
{
    const std::string outFile = folder.file("stdout.txt");
    const std::string command = "cd " + folder.path() + " && " + shellQuoted(RARTOOL_PATH) + " " + args + " > " + outFile + " 2>&1";
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

TEST(RartoolCli, AnArchiveWhoseWalkStopsEarlyFailsListAndTest)
{
    ScratchFolder folder;
    makeTree(folder);
    const std::string rar = folder.file("a.rar");
    ASSERT_EQ(rartool("pack " + rar + " " + folder.file("tree"), folder).status, 0);
    const std::string whole = readFile(rar);
    const auto* base = reinterpret_cast<const uint8_t*>(whole.data());
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({base, uint32_t(whole.size()), 0}));
    ArchiveEntry e;
    uint32_t last = 0;
    std::string lastName;
    while (reader.next(e)) {
        last = e.blockStart;
        lastName = e.name;
    }
    ASSERT_EQ(lastName, "scene0.txt");

    struct Case {
        std::string bytes;
        std::string reason;
    };
    std::string cut = whole.substr(0, last + 10);
    std::string sub = whole, damaged = whole;
    sub[last + 2] = char(kBlockSub);
    damaged[last + 5] = 3;  // a header size below the fixed part
    damaged[last + 6] = 0;
    const Case cases[] = {
        {cut, "cut short: the 10 bytes at offset " + std::to_string(last) + " are not a whole block header"},
        {sub, "a sub-block at offset " + std::to_string(last) + ": the entries after it are not read"},
        {damaged, "a damaged block header at offset " + std::to_string(last) + ": the entries after it are not read"},
    };
    for (const Case& c : cases) {
        std::ofstream(rar, std::ios::binary | std::ios::trunc) << c.bytes;
        const ToolRun test = rartool("test " + rar, folder);
        EXPECT_EQ(test.status, 1) << c.reason;
        EXPECT_EQ(test.out, rar + ": " + c.reason + "\n1 passed, 1 failed\n");
        const ToolRun list = rartool("list " + rar, folder);
        EXPECT_EQ(list.status, 1) << c.reason;
        EXPECT_NE(list.out.find("meshes\\sphere.dat 20"), std::string::npos) << list.out;
        EXPECT_NE(list.out.find("rartool: " + rar + ": " + c.reason + "\n"), std::string::npos) << list.out;
    }

    // The end-of-archive block other archivers write last is the walk's proper end.
    std::ofstream(rar, std::ios::binary | std::ios::trunc) << whole << std::string("\xC4\x3D\x7B\x00\x40\x07\x00", 7);
    const ToolRun test = rartool("test " + rar, folder);
    EXPECT_EQ(test.status, 0);
    EXPECT_EQ(test.out, "2 passed, 0 failed\n");
    EXPECT_EQ(rartool("list " + rar, folder).status, 0);
}

TEST(RartoolCli, EntriesFromOtherArchiversAreShownOrRefusedOneLineEach)
{
    ScratchFolder folder;
    std::vector<PackItem> items;
    items.push_back({"docs", true, {}});
    items.push_back({"old.txt", false, std::vector<uint8_t>(4000, 'o')});
    items.push_back({"part.bin", false, {'p'}});
    // "Ωαβ.txt" behind the first name "?ab.txt".
    const std::string unicode = std::string("?ab.txt\0\x03\x7C\xA9\x80\x50\x02", 14);
    items.push_back({unicode, false, {'u'}});
    std::vector<uint8_t> a = writeArchive(items, {true, false});
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({a.data(), uint32_t(a.size()), 0}));
    ArchiveEntry e;
    while (reader.next(e)) {
        uint8_t* flags = &a[e.blockStart + 3];
        if (e.isDirectory())
            a[e.blockStart + 25] = 0x33;  // directories as other archivers write them
        else if (e.method == 0x33)
            a[e.blockStart + 24] = 15;
        else if (e.unpackedSize == 1 && e.name[0] == 'p')
            flags[0] |= kEntrySplitAfter;
        else
            flags[1] |= kEntryUnicodeName >> 8;
    }
    const std::string rar = folder.file("other.rar");
    std::ofstream(rar, std::ios::binary).write(reinterpret_cast<const char*>(a.data()), long(a.size()));

    const ToolRun test = rartool("test " + rar, folder);
    EXPECT_EQ(test.status, 1);
    EXPECT_EQ(test.out, "old.txt: needs unpack version 1.5; only 2.0 is supported\n"
                        "part.bin: split across volumes: goes on in the next volume\n"
                        "1 passed, 2 failed\n");
    const ToolRun list = rartool("list " + rar, folder);
    EXPECT_NE(list.out.find("\n\xCE\xA9\xCE\xB1\xCE\xB2.txt 20 0x30 0x8200 1 1 "), std::string::npos) << list.out;
    const ToolRun extract = rartool("extract " + rar + " ?ab.txt", folder);
    EXPECT_EQ(extract.status, 0) << extract.out;
    EXPECT_EQ(readFile(folder.file("\xCE\xA9\xCE\xB1\xCE\xB2.txt")), "u");
    EXPECT_EQ(rartool("extract " + rar + " old.txt -", folder).out, "old.txt: needs unpack version 1.5; only 2.0 is supported\n");
}

TEST(RartoolCli, EntriesBehindOneTheSolidStreamCannotPassAreNamedAsNotReached)
{
    ScratchFolder folder;
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "row " + std::to_string(i % 41) + "\n";
    std::vector<PackItem> items = {{"a.txt", false, {text.begin(), text.end()}},
                                   {"b.txt", false, {text.rbegin(), text.rend()}},
                                   {"empty", false, {}}};
    std::vector<uint8_t> a = writeArchive(items, {true, true});
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({a.data(), uint32_t(a.size()), 0}));
    ArchiveEntry e;
    while (reader.next(e))
        if (std::string(e.name) == "a.txt")
            a[e.blockStart + 3] |= kEntryEncrypted;
    const std::string rar = folder.file("solid.rar");
    std::ofstream(rar, std::ios::binary).write(reinterpret_cast<const char*>(a.data()), long(a.size()));

    const ToolRun test = rartool("test " + rar, folder);
    EXPECT_EQ(test.status, 1);
    EXPECT_EQ(test.out, "a.txt: encrypted\n"
                        "b.txt: not reached: a.txt, before it in the solid stream: encrypted\n"
                        "1 passed, 2 failed\n");
    EXPECT_EQ(rartool("extract " + rar + " b.txt -", folder).out,
              "b.txt: not reached: a.txt, before it in the solid stream: encrypted\n");
}

TEST(RartoolCli, FoldersAndSpecialFilesAreRefusedInOneLine)
{
    ScratchFolder folder;
    makeTree(folder);
    const std::string fifo = folder.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {{folder.file("tree"), "is a directory"},
                          {"/dev/null", "not a regular file"},
                          {fifo, "not a regular file"},
                          {folder.file("missing.rar"), "No such file or directory"}};
    for (const Case& c : cases)
        for (const char* command : {"test ", "list ", "extract "}) {
            const std::string args = command + c.path + (command[0] == 'e' ? " x" : "");
            const ToolRun run = rartool(args, folder);
            EXPECT_EQ(run.status, 1) << args;
            EXPECT_EQ(run.out, "rartool: " + c.path + ": " + c.reason + "\n") << args;
        }
    // A pipe inside a folder to pack is refused too, instead of waiting for a writer.
    std::filesystem::rename(fifo, folder.file("tree/pipe"));
    const ToolRun pack = rartool("pack " + folder.file("a.rar") + " " + folder.file("tree"), folder);
    EXPECT_EQ(pack.status, 1);
    EXPECT_EQ(pack.out, "rartool: " + folder.file("tree/pipe") + ": not a regular file\n");
}

}  // namespace
