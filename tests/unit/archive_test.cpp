#include "archive_writer.h"

#include "data/archive.h"
#include "data/crc32.h"
#include "data/data_file.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> bytesFrom(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<PackItem> sampleItems()
{
    std::vector<PackItem> items;
    items.push_back({"meshes", true, {}});
    items.push_back({"meshes\\sphere.dat", false, bytesFrom("sphere mesh bytes")});
    items.push_back({"textures", true, {}});
    items.push_back({"textures\\cell.JPG", false, bytesFrom("not really a jpeg")});
    items.push_back({"empty.txt", false, {}});
    items.push_back({"music.ogg", false, bytesFrom(std::string(5000, 'm'))});
    return items;
}

struct Extracted {
    bool ok = false;
    ArchiveStatus why = ArchiveStatus::Ok;
    std::vector<uint8_t> bytes;
};

Extracted extract(const std::vector<uint8_t>& archive, const char* path)
{
    Extracted result;
    uint8_t* data = reinterpret_cast<uint8_t*>(1);
    uint32_t size = 77;
    result.ok = extractArchiveEntry({archive.data(), uint32_t(archive.size()), 0}, path, &data, &size, &result.why);
    if (result.ok) {
        result.bytes.assign(data, data + size);
        std::free(data);
    } else {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0u);
    }
    return result;
}

void put16(std::vector<uint8_t>& a, size_t at, uint16_t v)
{
    a[at] = uint8_t(v);
    a[at + 1] = uint8_t(v >> 8);
}

void put32(std::vector<uint8_t>& a, size_t at, uint32_t v)
{
    put16(a, at, uint16_t(v));
    put16(a, at + 2, uint16_t(v >> 16));
}

// Offset of the block header of the entry named name in an archive written by writeArchive.
size_t blockOf(const std::vector<uint8_t>& archive, const std::string& name)
{
    ArchiveReader reader;
    EXPECT_TRUE(reader.begin({archive.data(), uint32_t(archive.size()), 0}));
    ArchiveEntry entry;
    while (reader.next(entry))
        if (name == entry.name)
            return entry.blockStart;
    ADD_FAILURE() << name << " not in archive";
    return 0;
}

TEST(NamesEqual, FoldsCaseAndSeparators)
{
    EXPECT_TRUE(namesEqual("textures\\cell.jpg", "textures\\cell.JPG"));
    EXPECT_TRUE(namesEqual("TEXTURES/CELL.JPG", "textures\\cell.JPG"));
    EXPECT_TRUE(namesEqual("textures_cell.jpg", "textures\\cell.JPG"));
    EXPECT_TRUE(namesEqual("", ""));
    EXPECT_FALSE(namesEqual("textures\\cell.jp", "textures\\cell.JPG"));
    EXPECT_FALSE(namesEqual("textures\\cell.JPGx", "textures\\cell.JPG"));
    EXPECT_FALSE(namesEqual("music.ogg", "music-ogg"));
    // Only ASCII letters fold: 0xE9 and 0xC9 stay different.
    EXPECT_FALSE(namesEqual("\xE9", "\xC9"));
    EXPECT_TRUE(namesEqual("[a]{z}", "[A]{Z}"));
    EXPECT_FALSE(namesEqual("@", "`"));
}

TEST(ArchiveSpan, BoundedReadTakesAllOrNothing)
{
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    ArchiveSpan span{bytes, 5, 0};
    uint8_t out[8] = {};
    EXPECT_EQ(span.read(out, 0), 0u);
    EXPECT_EQ(span.read(out, 3), 3u);
    EXPECT_EQ(span.offset, 3u);
    EXPECT_EQ(span.read(out, 3), 0u);
    EXPECT_EQ(span.offset, 3u);
    EXPECT_EQ(span.read(out, 2), 2u);
    EXPECT_EQ(out[1], 5);
    ArchiveSpan empty;
    EXPECT_EQ(empty.read(out, 1), 0u);
    ArchiveSpan wild{bytes, 5, 9};
    EXPECT_EQ(wild.read(out, 1), 0u);
}

TEST(Archive, WrittenLayoutMatchesTheShippedArchive)
{
    const std::vector<uint8_t> archive = writeArchive(sampleItems(), {});
    const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    ASSERT_GT(archive.size(), 20u);
    EXPECT_EQ(std::memcmp(archive.data(), marker, 7), 0);
    EXPECT_EQ(archive[9], 0x73);
    EXPECT_EQ(archive[12] | archive[13] << 8, 13);
    // The archive header's CRC is the low half of the CRC-32 of its bytes from the type on.
    EXPECT_EQ(archive[7] | archive[8] << 8, int(crc32(archive.data() + 9, 11) & 0xFFFF));

    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({archive.data(), uint32_t(archive.size()), 0}));
    EXPECT_FALSE(reader.solid());
    std::vector<std::string> names;
    ArchiveEntry e;
    while (reader.next(e)) {
        names.push_back(e.name);
        EXPECT_EQ(e.type, kBlockFile);
        EXPECT_EQ(e.versionNeeded, 20);
        EXPECT_EQ(e.method, 0x30);
        EXPECT_EQ(e.hostSystem, 2);
        if (e.isDirectory()) {
            EXPECT_EQ(e.flags, 0x80E0);
            EXPECT_EQ(e.attributes, 0x10u);
            EXPECT_EQ(e.packedSize, 0u);
        } else {
            EXPECT_EQ(e.flags, 0x8000);
            EXPECT_EQ(e.attributes, 0x20u);
            EXPECT_EQ(e.packedSize, e.unpackedSize);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"meshes", "meshes\\sphere.dat", "textures", "textures\\cell.JPG",
                                               "empty.txt", "music.ogg"}));
}

TEST(Archive, ExtractsStoredEntriesByTheArchiveNameRule)
{
    const std::vector<uint8_t> archive = writeArchive(sampleItems(), {});
    Extracted a = extract(archive, "textures\\cell.jpg");
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.bytes, bytesFrom("not really a jpeg"));
    EXPECT_TRUE(extract(archive, "TEXTURES/CELL.JPG").ok);
    EXPECT_EQ(extract(archive, "music.ogg").bytes.size(), 5000u);

    Extracted empty = extract(archive, "empty.txt");
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.bytes.empty());

    Extracted missing = extract(archive, "meshes\\cube.dat");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.why, ArchiveStatus::NotFound);
    EXPECT_TRUE(extract(archive, "meshes\\sphere.dat").ok);
}

TEST(Archive, DataFileOpensThroughTheArchive)
{
    const std::vector<uint8_t> archive = writeArchive(sampleItems(), {});
    setDataArchiveOverride(archive.data(), uint32_t(archive.size()));
    {
        DataFile file;
        EXPECT_FALSE(file.open("nothing\\here.dat"));
        EXPECT_EQ(file.data, nullptr);
        EXPECT_EQ(file.size, 0u);
        ASSERT_TRUE(file.open("meshes/sphere.dat"));
        EXPECT_TRUE(file.owned);
        EXPECT_EQ(file.size, 17u);
        char word[7] = {};
        file.read(word, 6);
        EXPECT_STREQ(word, "sphere");
        EXPECT_EQ(file.position, 6u);
        // Reopening replaces the old buffer; close leaves the handle empty.
        ASSERT_TRUE(file.open("music.ogg"));
        EXPECT_EQ(file.size, 5000u);
        EXPECT_EQ(file.position, 0u);
        file.close();
        EXPECT_EQ(file.data, nullptr);
        EXPECT_EQ(file.size, 0u);
    }
    setDataArchiveOverride(nullptr, 0);
    DataFile file;
    // Clearing the override goes back to the embedded archive, whose sphere is the real one.
    ASSERT_TRUE(file.open("meshes\\sphere.dat"));
    EXPECT_NE(file.size, 17u);
    EXPECT_FALSE(file.open("nothing\\here.dat"));
}

TEST(Archive, TheEmbeddedArchiveIsAResourceInPlace)
{
    DataFile archive;
    ASSERT_TRUE(archive.openResource(kArchiveResourceId));
    EXPECT_FALSE(archive.owned);
    ASSERT_GT(archive.size, 7u);
    EXPECT_EQ(std::memcmp(archive.data, "Rar!\x1A\x07\x00", 7), 0);
    const uint8_t* resourceBytes = archive.data;
    archive.close();
    EXPECT_EQ(archive.data, resourceBytes);  // a resource-bound handle keeps its pointer
    EXPECT_EQ(archive.size, 0u);

    DataFile music;
    ASSERT_TRUE(music.open("music.ogg"));
    EXPECT_EQ(std::memcmp(music.data, "OggS", 4), 0);
}

TEST(Archive, SwitchingBetweenResourceAndArchiveLeavesNoStalePointer)
{
    const std::vector<uint8_t> archive = writeArchive(sampleItems(), {});
    setDataArchiveOverride(archive.data(), uint32_t(archive.size()));
    DataFile file;
    ASSERT_TRUE(file.openResource(kArchiveResourceId));
    ASSERT_NE(file.data, nullptr);
    EXPECT_FALSE(file.open("nothing\\here.dat"));
    EXPECT_EQ(file.data, nullptr);
    EXPECT_TRUE(file.owned);
    ASSERT_TRUE(file.openResource(kArchiveResourceId));
    EXPECT_TRUE(file.openResource(-77));
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.size, 0u);
    ASSERT_TRUE(file.open("music.ogg"));
    EXPECT_TRUE(file.openResource(-77));  // frees the extracted buffer (ASan would see a leak)
    EXPECT_EQ(file.data, nullptr);
    setDataArchiveOverride(nullptr, 0);
}

TEST(Archive, AlteredBytesFailTheirCrc)
{
    std::vector<uint8_t> archive = writeArchive(sampleItems(), {});
    const size_t block = blockOf(archive, "textures\\cell.JPG");
    archive[block + 32 + 17 + 4] ^= 0x10;
    Extracted a = extract(archive, "textures\\cell.JPG");
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.why, ArchiveStatus::CrcMismatch);
    EXPECT_TRUE(extract(archive, "music.ogg").ok);  // the damage is local to that entry
}

TEST(Archive, RejectsWhatIsNotAnAcceptedArchive)
{
    EXPECT_EQ(extract({}, "a").why, ArchiveStatus::BadMarker);
    EXPECT_EQ(extract(bytesFrom("Rar!"), "a").why, ArchiveStatus::BadMarker);
    const std::vector<uint8_t> good = writeArchive(sampleItems(), {});

    // The old-format marker and near misses are refused.
    for (const char* marker : {"RE~^\0\0\0", "Rar!\x1A\x07\x01", "Uniqu!!"}) {
        std::vector<uint8_t> a = good;
        std::memcpy(a.data(), marker, 7);
        EXPECT_EQ(extract(a, "music.ogg").why, ArchiveStatus::BadMarker) << marker;
    }
    // The alternative marker is accepted.
    std::vector<uint8_t> unique = good;
    std::memcpy(unique.data(), "UniquE!", 7);
    EXPECT_TRUE(extract(unique, "music.ogg").ok);

    // Marker with a short archive header.
    std::vector<uint8_t> shortHeader(good.begin(), good.begin() + 15);
    EXPECT_EQ(extract(shortHeader, "music.ogg").why, ArchiveStatus::ShortHeader);
    // An archive header claiming fewer than its 13 fixed bytes.
    std::vector<uint8_t> tiny = good;
    put16(tiny, 12, 5);
    EXPECT_EQ(extract(tiny, "music.ogg").why, ArchiveStatus::ShortHeader);
}

TEST(Archive, LongerArchiveHeaderIsSkipped)
{
    std::vector<uint8_t> a = writeArchive(sampleItems(), {});
    a.insert(a.begin() + 20, {9, 9, 9, 9, 9});
    put16(a, 12, 18);
    EXPECT_TRUE(extract(a, "music.ogg").ok);
}

TEST(Archive, OtherBlocksAreSkippedAndSubBlocksEndTheSearch)
{
    std::vector<uint8_t> a = writeArchive(sampleItems(), {});
    const size_t musicBlock = blockOf(a, "music.ogg");
    // A comment-like block (type 0x75) with 8 bytes of data in front of music.ogg.
    std::vector<uint8_t> other(32 + 8, 0);
    other[2] = 0x75;
    put16(other, 3, 0x8000);
    put16(other, 5, 32);
    put32(other, 7, 8);
    std::vector<uint8_t> withOther = a;
    withOther.insert(withOther.begin() + long(musicBlock), other.begin(), other.end());
    EXPECT_TRUE(extract(withOther, "music.ogg").ok);

    // A sub-block (0x77) before it hides it; after it, it changes nothing.
    std::vector<uint8_t> sub = other;
    sub[2] = 0x77;
    std::vector<uint8_t> before = a;
    before.insert(before.begin() + long(musicBlock), sub.begin(), sub.end());
    EXPECT_EQ(extract(before, "music.ogg").why, ArchiveStatus::NotFound);
    std::vector<uint8_t> after = a;
    after.insert(after.end(), sub.begin(), sub.end());
    EXPECT_TRUE(extract(after, "music.ogg").ok);
}

TEST(Archive, UnicodeNamesMatchTheirAsciiPart)
{
    std::vector<PackItem> items;
    items.push_back({std::string("caf\xE9.txt\0\x01\x02\x03", 12), false, bytesFrom("coffee")});
    const std::vector<uint8_t> a = writeArchive(items, {});
    Extracted e = extract(a, "CAF\xE9.TXT");
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(e.bytes, bytesFrom("coffee"));
}

TEST(Archive, EntriesAsOtherArchiversWriteThem)
{
    // Directories with a compression method and zero sizes, in a solid stream of compressed files.
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "row " + std::to_string(i % 17) + "\n";
    std::vector<PackItem> items;
    items.push_back({"a.txt", false, bytesFrom(text)});
    items.push_back({"docs", true, {}});
    items.push_back({"docs\\b.txt", false, bytesFrom(text + "b")});
    std::vector<uint8_t> solid = writeArchive(items, {true, true});
    solid[blockOf(solid, "docs") + 25] = 0x33;
    EXPECT_TRUE(extract(solid, "docs").ok);
    Extracted b = extract(solid, "docs\\b.txt");
    ASSERT_TRUE(b.ok) << int(b.why);
    EXPECT_EQ(b.bytes, bytesFrom(text + "b"));

    // A compressed entry of another unpack version never reaches the 2.0 decoder.
    std::vector<uint8_t> old15 = writeArchive(items, {true, false});
    old15[blockOf(old15, "a.txt") + 24] = 15;
    EXPECT_EQ(extract(old15, "a.txt").why, ArchiveStatus::UnsupportedVersion);

    // An entry that starts in an earlier volume or goes on in the next one is refused as such.
    for (uint16_t flag : {kEntrySplitBefore, kEntrySplitAfter}) {
        std::vector<uint8_t> split = writeArchive(sampleItems(), {});
        split[blockOf(split, "music.ogg") + 3] |= uint8_t(flag);
        EXPECT_EQ(extract(split, "music.ogg").why, ArchiveStatus::SplitAcrossVolumes) << flag;
    }
}

TEST(Archive, UnicodeNamesShowTheirUnicodeForm)
{
    // "Ωαβ\\é€.txt": Ω with the shared high byte, αβ as a corrected run over "ab", \\ and é as low
    // bytes, € as a whole unit, ".txt" as a run copied from the first name.
    const std::string first = "?ab\\e?.txt";
    const std::string coded("\x03\x70\xA9\x80\x50\x5C\xE9\xB0\xAC\x20\x02", 11);
    std::vector<PackItem> items;
    items.push_back({first + std::string(1, '\0') + coded, false, bytesFrom("greek")});
    items.push_back({"plain.txt", false, bytesFrom("latin")});
    std::vector<uint8_t> a = writeArchive(items, {});
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({a.data(), uint32_t(a.size()), 0}));
    ArchiveEntry unicode;
    ASSERT_TRUE(reader.next(unicode));
    put16(a, unicode.blockStart + 3, uint16_t(unicode.flags | kEntryUnicodeName));
    ArchiveEntry plain;
    ASSERT_TRUE(reader.next(plain));
    const ArchiveSpan span{a.data(), uint32_t(a.size()), 0};
    unicode.flags |= kEntryUnicodeName;
    EXPECT_EQ(entryDisplayName(span, unicode), "\xCE\xA9\xCE\xB1\xCE\xB2\\\xC3\xA9\xE2\x82\xAC.txt");
    EXPECT_EQ(entryDisplayName(span, plain), "plain.txt");
    // The lookup goes by the first name.
    EXPECT_EQ(extract(a, "?AB/E?.TXT").bytes, bytesFrom("greek"));

    // Coded bytes cut anywhere give a shorter name or the first one, never a read past the field.
    for (size_t cut = 0; cut < coded.size(); ++cut) {
        std::vector<PackItem> shorter{{first + std::string(1, '\0') + coded.substr(0, cut), false, {}}};
        std::vector<uint8_t> b = writeArchive(shorter, {});
        ArchiveReader r;
        ASSERT_TRUE(r.begin({b.data(), uint32_t(b.size()), 0}));
        ArchiveEntry e;
        ASSERT_TRUE(r.next(e));
        e.flags |= kEntryUnicodeName;
        EXPECT_FALSE(entryDisplayName({b.data(), uint32_t(b.size()), 0}, e).empty()) << cut;
    }
}

TEST(Archive, UnsupportedVersionsAndEncryptedEntriesFail)
{
    const std::vector<uint8_t> good = writeArchive(sampleItems(), {});
    const size_t block = blockOf(good, "music.ogg");
    for (uint8_t version : {uint8_t(12), uint8_t(21), uint8_t(29)}) {
        std::vector<uint8_t> a = good;
        a[block + 24] = version;
        EXPECT_EQ(extract(a, "music.ogg").why, ArchiveStatus::UnsupportedVersion);
    }
    for (uint8_t version : {uint8_t(13), uint8_t(15)}) {
        std::vector<uint8_t> a = good;
        a[block + 24] = version;
        EXPECT_TRUE(extract(a, "music.ogg").ok);
    }
    std::vector<uint8_t> encrypted = good;
    encrypted[block + 3] |= 0x04;
    EXPECT_EQ(extract(encrypted, "music.ogg").why, ArchiveStatus::Encrypted);
    std::vector<uint8_t> method = good;
    method[block + 25] = 0x36;
    EXPECT_EQ(extract(method, "music.ogg").why, ArchiveStatus::UnsupportedMethod);
}

TEST(Archive, AnEntryTheSolidStreamCannotPassHidesOnlyTheEntriesThatContinueIt)
{
    // Stored entries are no part of the stream: one that is encrypted or split hides nothing.
    std::vector<uint8_t> stored = writeArchive(sampleItems(), {false, true});
    stored[blockOf(stored, "meshes\\sphere.dat") + 3] |= kEntryEncrypted;
    stored[blockOf(stored, "textures\\cell.JPG") + 3] |= kEntrySplitBefore;
    EXPECT_EQ(extract(stored, "music.ogg").bytes, bytesFrom(std::string(5000, 'm')));
    EXPECT_EQ(extract(stored, "no such file").why, ArchiveStatus::NotFound);

    // An encrypted compressed entry breaks the stream for the entries that continue it; one that
    // starts a new stream (no solid flag) and the stored ones are reached.
    const std::vector<uint8_t> text = bytesFrom(std::string(3000, 't') + "tail");
    std::vector<PackItem> first = {{"a.txt", false, text}, {"b.txt", false, text}, {"empty", false, {}}};
    std::vector<uint8_t> a = writeArchive(first, {true, true});
    std::vector<PackItem> second = {{"c.txt", false, bytesFrom(std::string(2000, 'c'))}};
    const std::vector<uint8_t> b = writeArchive(second, {true, true});
    a.insert(a.end(), b.begin() + 20, b.end());
    a[blockOf(a, "a.txt") + 3] |= kEntryEncrypted;
    ArchiveEntry found;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ArchiveStatus why = ArchiveStatus::Ok;
    EXPECT_FALSE(extractArchiveEntry({a.data(), uint32_t(a.size()), 0}, "b.txt", &data, &size, &why, &found));
    EXPECT_EQ(why, ArchiveStatus::Encrypted);
    EXPECT_STREQ(found.name, "a.txt");
    EXPECT_TRUE(extract(a, "empty").ok);
    EXPECT_EQ(extract(a, "c.txt").bytes, second[0].bytes);
    EXPECT_EQ(extract(a, "d.txt").why, ArchiveStatus::NotFound);
}

TEST(Archive, AbsurdSizesFailCleanly)
{
    const std::vector<uint8_t> good = writeArchive(sampleItems(), {});
    const size_t block = blockOf(good, "music.ogg");
    struct Case {
        size_t at;
        uint32_t value;
        int width;
        ArchiveStatus expect;
    };
    const Case cases[] = {
        {7, 0xFFFFFFF0u, 4, ArchiveStatus::Corrupt},              // packed size past the span
        {7, 4000, 4, ArchiveStatus::Corrupt},                     // stored entry shorter than its file
        {11, 0xFFFFFFFFu, 4, ArchiveStatus::TooLarge},            // 4 GiB unpacked
        {11, kMaxEntrySize + 1, 4, ArchiveStatus::TooLarge},
        {5, 3, 2, ArchiveStatus::NotFound},                       // header size below 7
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> a = good;
        if (c.width == 4)
            put32(a, block + c.at, c.value);
        else
            put16(a, block + c.at, uint16_t(c.value));
        Extracted e = extract(a, "music.ogg");
        EXPECT_FALSE(e.ok) << c.at;
        EXPECT_EQ(e.why, c.expect) << c.at;
    }
    // A name size beyond the header reads only the header's own bytes, never the entry data.
    std::vector<uint8_t> longName = good;
    put16(longName, block + 26, 0xFFFF);
    EXPECT_TRUE(extract(longName, "music.ogg").ok);
    // A block whose sizes wrap it back onto itself ends the walk instead of looping.
    std::vector<uint8_t> loop = good;
    const size_t first = blockOf(good, "meshes");
    put16(loop, first + 5, 0xFFFF);
    put32(loop, first + 7, 0xFFFFFFFFu - 0xFFFF - uint32_t(first) + 1);
    EXPECT_FALSE(extract(loop, "music.ogg").ok);
}

TEST(Archive, EveryTruncationFailsCleanly)
{
    const std::vector<uint8_t> good = writeArchive(sampleItems(), {});
    const size_t end = blockOf(good, "music.ogg") + 32 + 9 + 5000;
    ASSERT_EQ(end, good.size());
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> a(good.begin(), good.begin() + long(cut));
        EXPECT_FALSE(extract(a, "music.ogg").ok) << cut;
    }
}

TEST(Archive, FlippedBitsNeverYieldWrongBytes)
{
    const std::vector<uint8_t> good = writeArchive(sampleItems(), {});
    const std::vector<uint8_t> wanted = bytesFrom("not really a jpeg");
    for (size_t bit = 0; bit < good.size() * 8 && bit < 4000 * 8; bit += 3) {
        std::vector<uint8_t> a = good;
        a[bit / 8] ^= uint8_t(1 << (bit % 8));
        Extracted e = extract(a, "textures\\cell.jpg");
        if (e.ok) {
            EXPECT_EQ(e.bytes, wanted) << bit;
        }
    }
}

TEST(Archive, PackCollectsAFolderInOrder)
{
    ScratchFolder folder;
    std::filesystem::create_directories(folder.file("data/scenes/cells"));
    std::ofstream(folder.file("data/scenes/cells/scene0.txt")) << "keyframe";
    std::ofstream(folder.file("data/music.ogg")) << "ogg";
    std::vector<PackItem> items;
    std::string error;
    ASSERT_TRUE(collectPackItems(folder.file("data"), items, error)) << error;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].name, "music.ogg");
    EXPECT_EQ(items[1].name, "scenes");
    EXPECT_TRUE(items[1].directory);
    EXPECT_EQ(items[2].name, "scenes\\cells");
    EXPECT_EQ(items[3].name, "scenes\\cells\\scene0.txt");
    EXPECT_EQ(items[3].bytes, bytesFrom("keyframe"));
    EXPECT_FALSE(collectPackItems(folder.file("missing"), items, error));
}

}  // namespace
