// The preview picture's bitmap decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/preview.h"

namespace {

void putLe(std::vector<uint8_t>& out, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// A bitmap of the given size and depth; pixel (x, y) counted from the top is colour(x, y).
std::vector<uint8_t> makeBitmap(int width, int height, int bits, bool fileHeader, bool topFirst,
                                const std::vector<uint32_t>& palette = {})
{
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    const size_t header = fileHeader ? 14 : 0;
    const size_t table = palette.size() * 4;
    std::vector<uint8_t> out(header + 40 + table + stride * height, 0);
    if (fileHeader) {
        out[0] = 'B';
        out[1] = 'M';
        putLe(out, 2, static_cast<uint32_t>(out.size()), 4);
        putLe(out, 10, static_cast<uint32_t>(header + 40 + table), 4);
    }
    putLe(out, header, 40, 4);
    putLe(out, header + 4, static_cast<uint32_t>(width), 4);
    putLe(out, header + 8, static_cast<uint32_t>(topFirst ? -height : height), 4);
    putLe(out, header + 12, 1, 2);
    putLe(out, header + 14, static_cast<uint32_t>(bits), 2);
    putLe(out, header + 32, static_cast<uint32_t>(palette.size()), 4);
    for (size_t i = 0; i < palette.size(); ++i)
        putLe(out, header + 40 + 4 * i, palette[i], 4);
    const size_t pixels = header + 40 + table;
    for (int y = 0; y < height; ++y) {
        const size_t row = pixels + stride * static_cast<size_t>(topFirst ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            if (bits == 24 || bits == 32) {
                const size_t at = row + static_cast<size_t>(x) * (bits / 8);
                out[at] = static_cast<uint8_t>(x * 10);       // blue
                out[at + 1] = static_cast<uint8_t>(y * 20);   // green
                out[at + 2] = static_cast<uint8_t>(200);      // red
            } else if (bits == 8) {
                out[row + static_cast<size_t>(x)] = static_cast<uint8_t>((x + y) % palette.size());
            } else if (bits == 4) {
                const uint8_t index = static_cast<uint8_t>((x + y) % palette.size());
                out[row + static_cast<size_t>(x) / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
            }
        }
    }
    return out;
}

uint32_t expected24(int x, int y) { return (200u << 16) | (static_cast<uint32_t>(y * 20) << 8) | static_cast<uint32_t>(x * 10); }

}  // namespace

TEST(Bitmap, TrueColourRowsComeOutTopFirstWithAndWithoutFileHeader)
{
    for (int bits : {24, 32}) {
        for (bool fileHeader : {true, false}) {
            for (bool topFirst : {true, false}) {
                // Width 5 at 24 bits leaves a padded row end.
                const std::vector<uint8_t> bytes = makeBitmap(5, 3, bits, fileHeader, topFirst);
                Picture picture;
                ASSERT_TRUE(decodeBitmap(bytes, picture)) << bits << fileHeader << topFirst;
                ASSERT_EQ(picture.width, 5);
                ASSERT_EQ(picture.height, 3);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 5; ++x)
                        EXPECT_EQ(picture.pixels[static_cast<size_t>(y * 5 + x)], expected24(x, y));
            }
        }
    }
}

// A true-colour bitmap may still carry a colour table (a palette for 256-colour displays), its
// size in the used-colours count: it lies between the header and the pixels, and a bitmap without
// a file header has nothing else to say where the pixels begin.
TEST(Bitmap, ATrueColourBitmapsColourTableIsPassedOver)
{
    for (int bits : {24, 32}) {
        for (bool fileHeader : {true, false}) {
            const std::vector<uint8_t> bytes = makeBitmap(5, 3, bits, fileHeader, false, {0x112233, 0x445566});
            Picture picture;
            ASSERT_TRUE(decodeBitmap(bytes, picture)) << bits << fileHeader;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    EXPECT_EQ(picture.pixels[static_cast<size_t>(y * 5 + x)], expected24(x, y)) << bits << fileHeader;
        }
    }
    // A count no file could hold is refused, not wrapped round to a small table.
    std::vector<uint8_t> forged = makeBitmap(5, 3, 24, false, false);
    putLe(forged, 32, 0x40000001, 4);
    Picture picture;
    EXPECT_FALSE(decodeBitmap(forged, picture));
}

TEST(Bitmap, PalettedPixelsLookUpTheirColours)
{
    const std::vector<uint32_t> palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff, 0x123456};
    for (int bits : {4, 8}) {
        const std::vector<uint8_t> bytes = makeBitmap(7, 2, bits, true, false, palette);
        Picture picture;
        ASSERT_TRUE(decodeBitmap(bytes, picture)) << bits;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(picture.pixels[static_cast<size_t>(y * 7 + x)], palette[(x + y) % palette.size()]);
    }
}

TEST(Bitmap, MalformedBitmapsAreRefused)
{
    Picture picture;
    EXPECT_FALSE(decodeBitmap({}, picture));
    std::vector<uint8_t> good = makeBitmap(4, 4, 24, true, false);
    ASSERT_TRUE(decodeBitmap(good, picture));

    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_FALSE(decodeBitmap(truncated, picture));
    EXPECT_TRUE(picture.pixels.empty());

    std::vector<uint8_t> compressed = good;
    putLe(compressed, 14 + 16, 1, 4);  // run-length encoded
    EXPECT_FALSE(decodeBitmap(compressed, picture));

    std::vector<uint8_t> huge = good;
    putLe(huge, 14 + 4, 0x7fffffff, 4);
    EXPECT_FALSE(decodeBitmap(huge, picture));

    std::vector<uint8_t> oddDepth = good;
    putLe(oddDepth, 14 + 14, 16, 2);
    EXPECT_FALSE(decodeBitmap(oddDepth, picture));

    std::vector<uint8_t> pixelsOutside = good;
    putLe(pixelsOutside, 10, static_cast<uint32_t>(good.size() + 100), 4);
    EXPECT_FALSE(decodeBitmap(pixelsOutside, picture));

    std::vector<uint8_t> headerTooBig = good;
    putLe(headerTooBig, 14, 0x10000000, 4);
    EXPECT_FALSE(decodeBitmap(headerTooBig, picture));
}
