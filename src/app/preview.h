#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "app/screensaver_app.h"

// A decoded picture, rows top first, pixels 0x00RRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// A device-independent bitmap, with or without its "BM" file header: 24 and 32 bits per pixel,
// and 1, 4 or 8 bits through a colour table; rows bottom first or (negative height) top first.
// False for anything else, and for a size the data does not hold.
bool decodeBitmap(std::span<const uint8_t> bytes, Picture& picture);

// Preview mode: the preview picture at (0, 0) of app.parentWindow until that window goes away.
// 0 when the window cannot be made (after the message box), 1 otherwise.
int32_t runPreview(ScreensaverApp& app);
