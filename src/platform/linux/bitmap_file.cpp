#include "platform/linux/bitmap_file.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBitFields = 3;

uint32_t le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> asBmpFile(std::span<const uint8_t> image)
{
    if (image.size() >= 2 && image[0] == 'B' && image[1] == 'M')
        return {image.begin(), image.end()};
    if (image.size() < kInfoHeaderSize)
        return {};
    const uint32_t headerSize = le32(image.data());
    if (headerSize < kInfoHeaderSize || headerSize > image.size())
        return {};
    const uint32_t bits = le16(image.data() + 14);
    const uint32_t compression = le32(image.data() + 16);
    uint64_t colours = le32(image.data() + 32);
    if (colours == 0 && bits <= 8)
        colours = 1ull << bits;
    // The three channel masks follow a plain info header when the pixels are bit fields.
    const uint64_t masks = (compression == kBitFields && headerSize == kInfoHeaderSize) ? 12 : 0;
    const uint64_t pixels = uint64_t{headerSize} + masks + 4 * colours;
    if (pixels > image.size())
        return {};
    std::vector<uint8_t> out{'B', 'M'};
    put32(out, static_cast<uint32_t>(kFileHeaderSize + image.size()));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(kFileHeaderSize + pixels));
    out.insert(out.end(), image.begin(), image.end());
    return out;
}
