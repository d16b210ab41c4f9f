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
        png_set_compression_level(png, 3);
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
