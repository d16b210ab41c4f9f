#pragma once

#include <string>
#include <vector>

#include "common.h"

namespace assetgen {

struct Rgb {
    float r = 0, g = 0, b = 0;
    Rgb() = default;
    Rgb(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}
    Rgb operator+(const Rgb& o) const { return {r + o.r, g + o.g, b + o.b}; }
    Rgb operator-(const Rgb& o) const { return {r - o.r, g - o.g, b - o.b}; }
    Rgb operator*(float s) const { return {r * s, g * s, b * s}; }
    Rgb operator*(const Rgb& o) const { return {r * o.r, g * o.g, b * o.b}; }
};
inline Rgb mix(const Rgb& a, const Rgb& b, float t) { return a + (b - a) * t; }

// A float RGBA picture, row 0 at the top, components nominally in 0..1.
struct Image {
    int width = 0, height = 0;
    std::vector<float> px;  // RGBA per pixel

    Image() = default;
    Image(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h * 4, 0.0f) {}
    float* at(int x, int y) { return &px[(static_cast<size_t>(y) * width + x) * 4]; }
    const float* at(int x, int y) const { return &px[(static_cast<size_t>(y) * width + x) * 4]; }
    void set(int x, int y, const Rgb& c, float a = 1.0f)
    {
        float* p = at(x, y);
        p[0] = c.r; p[1] = c.g; p[2] = c.b; p[3] = a;
    }
    Rgb rgb(int x, int y) const
    {
        const float* p = at(x, y);
        return {p[0], p[1], p[2]};
    }
    // Bilinear sample with clamped edges, x and y in pixels.
    Rgb sample(double x, double y) const;
};

// 8-bit quantisation with rounding and clamping.
uint8_t toByte(float v);

// Baseline JPEG, 4:2:0 unless fullChroma, optimised Huffman tables.
Bytes encodeJpeg(const Image& image, int quality, bool fullChroma = false);
// Uncompressed 32-bit TGA (type 2), bottom row first, descriptor 0x08, BGRA.
Bytes encodeTga32(const Image& image);
// 24-bit Windows BMP file with its file header, bottom row first, rows padded to 4 bytes.
Bytes encodeBmp24(const Image& image);
// Windows icon file with one 32-bit DIB entry per image (square, at most 256 wide).
Bytes encodeIco(const std::vector<Image>& images);
// PNG, RGB or RGBA (previews and the contact sheet only).
Bytes encodePng(const Image& image, bool alpha);

// Box-filtered resize, for previews and the icon sizes.
Image resized(const Image& image, int width, int height);
// Alpha-blends src over dst with its top-left corner at (x, y).
void blit(Image& dst, const Image& src, int x, int y);

}  // namespace assetgen
