#pragma once

#include <string>

#include "image.h"

namespace assetgen {

// Alpha coverage of rendered text; baseline origin at (originX, baselineY) inside it.
struct Coverage {
    int width = 0, height = 0;
    std::vector<float> alpha;
    int originX = 0, baselineY = 0;
    float at(int x, int y) const
    {
        return (x < 0 || y < 0 || x >= width || y >= height) ? 0.0f : alpha[static_cast<size_t>(y) * width + x];
    }
};

// Renders UTF-8 text with FreeType from the font file at `fontPath`; an empty coverage when the
// font cannot be read. xScale squeezes the glyphs horizontally, tracking adds pixels per letter.
Coverage renderText(const std::string& fontPath, const std::string& text, double pixelSize, double xScale = 1.0,
                    double tracking = 0.0);

// Folder holding the DejaVu fonts (set at build time, overridable for tests).
std::string fontFile(const char* name);

// The clock digit atlas: 512 × 512, 4 × 4 cells of 128: digits 0-9, separator, am, pm.
Image digitAtlas();
// The loading picture: the name over a cell illustration, 512 × 512, drawn pre-squeezed so it
// looks right when stretched over a 4:3 screen.
Image loaderPicture();
// The "Loading…" badge for the bottom-right corner, 256 × 128 with a soft alpha edge.
Image loadingBadge();
// 1 × 1 fully transparent white.
Image clearPixel();
// The settings dialog picture, 263 × 180.
Image dialogPicture();
// The preview picture, 155 × 115.
Image previewPicture();
// The program icon at 256 × 256 (downsampled for the icon file).
Image iconPicture();

}  // namespace assetgen
