#include "app/preview.h"

#include "data/messages.h"
#include "data/resources.h"
#include "platform/platform.h"

namespace {

constexpr int kPreviewBitmap = 112;
// Larger than any preview picture could sensibly be; keeps a corrupt header from asking for
// gigabytes.
constexpr int64_t kMaxPixels = 16 * 1024 * 1024;

uint32_t readLe(std::span<const uint8_t> bytes, size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

}  // namespace

bool decodeBitmap(std::span<const uint8_t> bytes, Picture& picture)
{
    picture = {};
    size_t header = 0;
    if (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M')
        header = 14;
    if (bytes.size() < header + 40)
        return false;
    const uint32_t headerSize = readLe(bytes, header, 4);
    if (headerSize < 40 || headerSize > bytes.size() - header)
        return false;
    const int32_t width = static_cast<int32_t>(readLe(bytes, header + 4, 4));
    const int32_t rawHeight = static_cast<int32_t>(readLe(bytes, header + 8, 4));
    const uint32_t bitCount = readLe(bytes, header + 14, 2);
    const uint32_t compression = readLe(bytes, header + 16, 4);
    uint32_t colours = readLe(bytes, header + 32, 4);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || compression != 0)
        return false;
    const bool topFirst = rawHeight < 0;
    const int32_t height = topFirst ? -rawHeight : rawHeight;
    if (static_cast<int64_t>(width) * height > kMaxPixels)
        return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return false;

    const size_t tableAt = header + headerSize;
    // A true-colour bitmap's table (its count of used colours, 0 for none) is never looked up, but
    // it still lies before the pixels.
    if (bitCount <= 8 && (colours == 0 || colours > (1u << bitCount)))
        colours = 1u << bitCount;
    const uint64_t tableEnd = tableAt + 4 * uint64_t{colours};
    if (bytes.size() < tableEnd)
        return false;
    // With a file header the pixels start where it says; a bare bitmap has them after the table.
    size_t pixelsAt = static_cast<size_t>(tableEnd);
    if (header) {
        pixelsAt = readLe(bytes, 10, 4);
        if (pixelsAt < tableEnd)
            return false;
    }
    const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    if (pixelsAt > bytes.size() || (bytes.size() - pixelsAt) / stride < static_cast<size_t>(height))
        return false;

    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t row = 0; row < height; ++row) {
        const size_t source = pixelsAt + stride * static_cast<size_t>(topFirst ? row : height - 1 - row);
        uint32_t* out = &picture.pixels[static_cast<size_t>(row) * static_cast<size_t>(width)];
        for (int32_t x = 0; x < width; ++x) {
            if (bitCount >= 24) {
                const size_t at = source + static_cast<size_t>(x) * (bitCount / 8);
                out[x] = (uint32_t{bytes[at + 2]} << 16) | (uint32_t{bytes[at + 1]} << 8) | bytes[at];
                continue;
            }
            const size_t bit = static_cast<size_t>(x) * bitCount;
            const uint8_t packed = bytes[source + bit / 8];
            const uint32_t index = (packed >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
            if (index >= colours) {
                out[x] = 0;
                continue;
            }
            const size_t entry = tableAt + 4u * index;
            out[x] = (uint32_t{bytes[entry + 2]} << 16) | (uint32_t{bytes[entry + 1]} << 8) | bytes[entry];
        }
    }
    return true;
}

int32_t runPreview(ScreensaverApp& app)
{
    // A missing or broken picture leaves the preview black, as a failed bitmap load would.
    Picture picture;
    decodeBitmap(findResource("BITMAP", kPreviewBitmap), picture);
    platform::PreviewImage image;
    image.width = picture.width;
    image.height = picture.height;
    image.pixels = picture.pixels;
    if (!platform::runPreviewWindow(app.parentWindow, image, app.showCommand)) {
        showMessage("Cannot creat window!", "ERROR");
        return 0;
    }
    return 1;
}
