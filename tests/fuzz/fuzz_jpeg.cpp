// JPEG images: libjpeg over a memory source with a jumping error manager; any bytes decode into a
// full RGB image or fail without reading past the input.
#include <cstdlib>

#include "assets/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodedImage image;
    if (!decodeJpegBytes({data, size}, image)) {
        if (!image.pixels.empty())
            std::abort();
        return 0;
    }
    if (image.rowBytes != image.width * 3 || image.pixels.size() != size_t(image.rowBytes) * image.height)
        std::abort();
    return 0;
}
