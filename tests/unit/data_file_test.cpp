#include "data/crc32.h"
#include "data/data_file.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A handle over test bytes, as a loader would see an opened file.
struct BoundFile {
    std::string bytes;
    DataFile file;
    explicit BoundFile(std::string text) : bytes(std::move(text))
    {
        file.openResource(-12345);  // nothing there: not owned, empty
        file.data = reinterpret_cast<uint8_t*>(bytes.data());
        file.size = uint32_t(bytes.size());
    }
};

TEST(Crc32, MatchesTheStandardCheckValueInOneOrManyPieces)
{
    const char* text = "123456789";
    EXPECT_EQ(crc32(text, 9), 0xCBF43926u);
    EXPECT_EQ(crc32(text, 0), 0u);
    // Longer than the 8-byte fast path, split at an odd place.
    std::string big;
    for (int i = 0; i < 1000; ++i)
        big += char(i * 7 + 3);
    uint32_t running = crc32Update(kCrc32Initial, big.data(), 13);
    running = crc32Update(running, big.data() + 13, big.size() - 13);
    EXPECT_EQ(crc32Final(running), crc32(big.data(), big.size()));
    uint32_t bitwise = 0xFFFFFFFFu;
    for (unsigned char c : big) {
        bitwise ^= c;
        for (int k = 0; k < 8; ++k)
            bitwise = (bitwise & 1) ? (bitwise >> 1) ^ 0xEDB88320u : bitwise >> 1;
    }
    EXPECT_EQ(crc32(big.data(), big.size()), ~bitwise);
}

TEST(DataFile, StartsEmptyAndOwningNothing)
{
    DataFile file;
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.size, 0u);
    EXPECT_EQ(file.position, 0u);
    EXPECT_TRUE(file.owned);
    EXPECT_FALSE(file.pastEnd());
}

TEST(DataFile, MissingResourceBindsEmptyButSucceeds)
{
    DataFile file;
    EXPECT_TRUE(file.openResource(-4242));
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.size, 0u);
    EXPECT_FALSE(file.owned);
}

TEST(DataFile, ReadAdvancesAndChains)
{
    BoundFile f(std::string("\x01\x00\x00\x00\x02\x00\x03\x00\x04\x00", 10));
    uint32_t a = 0;
    EXPECT_EQ(f.file.read(&a, 4), 4u);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(f.file.read(&a, 0), 0u);
    uint16_t pair[2] = {};
    uint16_t last = 0;
    EXPECT_EQ(f.file.read(&pair[0], 2), 6u);  // the new position, not the count
    f.file.seek(4, 0);
    f.file.read(pair, 2, 2).read(&last, 2, 1);
    EXPECT_EQ(pair[0], 2);
    EXPECT_EQ(pair[1], 3);
    EXPECT_EQ(last, 4);
    EXPECT_EQ(f.file.position, 10u);
    EXPECT_FALSE(f.file.pastEnd());
}

TEST(DataFile, ReadPastTheEndCopiesOnlyWhatIsThere)
{
    BoundFile f("abc");
    char out[8];
    std::memset(out, 'X', sizeof out);
    f.file.position = 1;
    EXPECT_EQ(f.file.read(out, 6), 3u);  // the position after the two bytes copied
    EXPECT_EQ(std::string(out, 6), std::string("bc\0\0\0\0", 6));
    EXPECT_EQ(out[6], 'X');  // nothing beyond count is touched
    EXPECT_TRUE(f.file.pastEnd());
    EXPECT_EQ(f.file.read(out, 4), 7u);  // nothing copied from past the end

    // An element count whose byte total overflows copies nothing and still reports the overrun.
    BoundFile g("abcd");
    g.file.read(out, 0x10000, 0x10001);
    EXPECT_TRUE(g.file.pastEnd());
}

TEST(DataFile, SeekFromEachOrigin)
{
    BoundFile f("0123456789");
    f.file.seek(3, 0);
    EXPECT_EQ(f.file.position, 3u);
    f.file.seek(2, 1);
    EXPECT_EQ(f.file.position, 5u);
    f.file.seek(-4, 1);
    EXPECT_EQ(f.file.position, 1u);
    f.file.seek(4, 2);
    EXPECT_EQ(f.file.position, 6u);
    char c = 0;
    f.file.read(&c, 1);
    EXPECT_EQ(c, '6');
    f.file.seek(11, 0);
    EXPECT_TRUE(f.file.pastEnd());
    f.file.seek(-1, 2);
    EXPECT_TRUE(f.file.pastEnd());
}

TEST(DataFile, ReadLineSplitsOnLineFeedsAndDropsCarriageReturns)
{
    BoundFile f("ab\r\ncd");
    char buf[32];
    EXPECT_TRUE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "ab");
    EXPECT_FALSE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "cd");
    EXPECT_FALSE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(f.file.position, f.file.size);
}

TEST(DataFile, ReadLineSkipsLeadingSpacesButNotTabs)
{
    BoundFile f("   x\n\tx\n \n");
    char buf[32];
    EXPECT_TRUE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "x");
    EXPECT_TRUE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "\tx");
    EXPECT_TRUE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(f.file.readLine(buf));
}

TEST(DataFile, ReadLineCutsLinesLongerThanTheBuffer)
{
    BoundFile f("abcdefgh\nnext\n");
    char buf[4];
    EXPECT_TRUE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "abc");
    EXPECT_TRUE(f.file.readLine(buf));
    EXPECT_STREQ(buf, "nex");
}

TEST(DataFile, ReadLineOnAnEmptyHandle)
{
    DataFile file;
    char buf[8] = "junk";
    EXPECT_FALSE(file.readLine(buf));
    EXPECT_STREQ(buf, "");
}

}  // namespace
