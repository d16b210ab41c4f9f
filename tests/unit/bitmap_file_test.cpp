#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "platform/linux/bitmap_file.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A bare bitmap as a resource script stores it: info header, palette, bottom-up rows of 4 bytes.
std::vector<uint8_t> bareBitmap(int bits, uint32_t paletteEntries)
{
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, 1);  // width
    put32(out, 2);  // height
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bits));
    put32(out, 0);  // uncompressed
    put32(out, 8);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, paletteEntries);
    put32(out, 0);
    const uint32_t colours = paletteEntries ? paletteEntries : (bits <= 8 ? 1u << bits : 0u);
    for (uint32_t i = 0; i < colours; ++i)
        put32(out, i == 1 ? 0x0000FF00u : 0x00FF0000u);  // entry 1 green, the rest red (B G R x)
    if (bits == 24) {
        for (uint8_t b : {0x00, 0x00, 0xFF, 0x00})  // bottom row red
            out.push_back(b);
        for (uint8_t b : {0xFF, 0x00, 0x00, 0x00})  // top row blue
            out.push_back(b);
    } else {
        for (uint8_t b : {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00})  // bottom green, top red
            out.push_back(b);
    }
    return out;
}

// The red, green and blue of the pixel at row y (from the top), as an image loader reads it.
std::vector<int> pixelOf(const std::vector<uint8_t>& file, int y)
{
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    std::vector<int> rgb;
    if (gdk_pixbuf_loader_write(loader, file.data(), file.size(), nullptr) && gdk_pixbuf_loader_close(loader, nullptr)) {
        GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pixbuf && gdk_pixbuf_get_width(pixbuf) == 1 && gdk_pixbuf_get_height(pixbuf) == 2) {
            const guchar* p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
            rgb = {p[0], p[1], p[2]};
        }
    } else {
        gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
    return rgb;
}

TEST(BitmapFile, BareBitmapsGetTheHeaderThatFindsTheirPixels)
{
    const std::vector<uint8_t> bare = bareBitmap(24, 0);
    const std::vector<uint8_t> file = asBmpFile(bare);
    ASSERT_EQ(file.size(), bare.size() + 14);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(file[10], 54);  // pixels right after the info header
    EXPECT_EQ(pixelOf(file, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(pixelOf(file, 1), (std::vector<int>{255, 0, 0}));

    // A palette of 256 entries (the count left 0) sits between header and pixels.
    const std::vector<uint8_t> indexed = asBmpFile(bareBitmap(8, 0));
    ASSERT_FALSE(indexed.empty());
    EXPECT_EQ(indexed[10] | (indexed[11] << 8), 14 + 40 + 1024);
    EXPECT_EQ(pixelOf(indexed, 0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(pixelOf(indexed, 1), (std::vector<int>{0, 255, 0}));
    const std::vector<uint8_t> short_palette = asBmpFile(bareBitmap(8, 2));
    EXPECT_EQ(short_palette[10], 14 + 40 + 8);
    EXPECT_EQ(pixelOf(short_palette, 1), (std::vector<int>{0, 255, 0}));

    // A file stays as it is.
    EXPECT_EQ(asBmpFile(file), file);
}

TEST(BitmapFile, BrokenHeadersGiveNothing)
{
    EXPECT_TRUE(asBmpFile({}).empty());
    std::vector<uint8_t> bare = bareBitmap(8, 0);
    bare.resize(40 + 512);  // the palette runs past the end
    EXPECT_TRUE(asBmpFile(bare).empty());
    bare = bareBitmap(24, 0);
    bare[0] = 12;  // an old core header is not what a resource of ours holds
    EXPECT_TRUE(asBmpFile(bare).empty());
    bare[0] = 0xFF;
    bare[1] = 0xFF;  // header longer than the data
    EXPECT_TRUE(asBmpFile(bare).empty());
    bare = bareBitmap(24, 0);
    for (int i = 32; i < 36; ++i)
        bare[static_cast<size_t>(i)] = 0xFF;  // an absurd palette count must not wrap the offset
    EXPECT_TRUE(asBmpFile(bare).empty());
}

}  // namespace
