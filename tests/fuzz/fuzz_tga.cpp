// TGA images: any bytes decode into exactly width x height pixels or fail cleanly.
#include <cstdlib>

#include "assets/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TgaImage image;
    if (decodeTgaBytes({data, size}, image) != TgaStatus::ok) {
        if (!image.pixels.empty())
            std::abort();
        return 0;
    }
    const size_t pixels = size_t(image.width) * image.height;
    if (image.pixels.size() != pixels * (image.pixelDepth / 8u))
        std::abort();
    if (tgaToRgba(image).size() != pixels * 4)
        std::abort();
    return 0;
}
