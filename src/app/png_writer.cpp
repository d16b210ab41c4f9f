#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "app/offscreen_render.h"

bool writePng(const std::string& path, const uint8_t* rgba, int32_t width, int32_t height)
{
    if (!rgba || width <= 0 || height <= 0) return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    // Rows are converted one at a time; the buffer lives outside the longjmp scope.
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        // Fast settings: frames are written every step of an animation.
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* src = rgba + static_cast<size_t>(y) * width * 4;
            for (int32_t x = 0; x < width; ++x) {
                row[3 * x] = src[4 * x];
                row[3 * x + 1] = src[4 * x + 1];
                row[3 * x + 2] = src[4 * x + 2];
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, info);
    } else {
        ok = false;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::remove(path.c_str());
    return ok;
}

bool writeBmp(const std::string& path, const uint8_t* rgba, int32_t width, int32_t height)
{
    if (!rgba || width <= 0 || height <= 0) return false;
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> out(54 + static_cast<size_t>(imageBytes), 0);
    auto put16 = [&](size_t at, uint32_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xffff);
        put16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));  // positive: rows bottom first
    put16(26, 1);
    put16(28, 24);
    put32(34, imageBytes);
    put32(38, 2835);  // 72 dpi
    put32(42, 2835);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = rgba + static_cast<size_t>(height - 1 - y) * width * 4;
        uint8_t* dst = out.data() + 54 + static_cast<size_t>(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x) {
            dst[3 * x] = src[4 * x + 2];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x];
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::remove(path.c_str());
    return ok;
}
