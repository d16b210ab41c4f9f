// TGA decoding: types 1, 2, 3 and their run-length forms 9, 10, 11; depths 8, 16, 24 and 32.
// Every count in the header is checked against the bytes that are really there before anything
// is allocated or copied.
#include "assets/byte_reader.h"
#include "assets/texture.h"

namespace {

TgaStatus fail(TgaImage& image, std::string* reason, const char* why, TgaStatus status = TgaStatus::failed)
{
    image.colourMap.clear();
    image.pixels.clear();
    if (reason)
        *reason = why;
    return status;
}

// Run-length packets: a byte h, count (h & 0x7F) + 1, then one value repeated (h & 0x80) or
// count literal values. Output stops at exactly the pixel count, whatever the packets say.
bool readRunLength(ByteReader& in, size_t pixelCount, size_t pixelBytes, std::vector<uint8_t>& out)
{
    out.resize(pixelCount * pixelBytes);
    uint8_t* dst = out.data();
    size_t produced = 0;
    uint8_t value[4];
    while (produced < pixelCount) {
        uint8_t header = 0;
        if (!in.u8(header))
            return false;
        size_t count = (header & 0x7Fu) + 1;
        if (count > pixelCount - produced)
            count = pixelCount - produced;
        if (header & 0x80) {
            if (!in.bytes(value, pixelBytes))
                return false;
            for (size_t i = 0; i < count; ++i, dst += pixelBytes)
                for (size_t b = 0; b < pixelBytes; ++b)
                    dst[b] = value[b];
        } else {
            if (!in.bytes(dst, count * pixelBytes))
                return false;
            dst += count * pixelBytes;
        }
        produced += count;
    }
    return true;
}

}  // namespace

TgaStatus decodeTgaBytes(std::span<const uint8_t> bytes, TgaImage& image, std::string* reason)
{
    image = TgaImage{};
    ByteReader in(bytes);
    if (!in.u8(image.idLength) || !in.u8(image.colourMapType) || !in.u8(image.imageType) ||
        !in.u16(image.colourMapFirstEntry) || !in.u16(image.colourMapLength) || !in.u8(image.colourMapEntrySize) ||
        !in.u16(image.xOrigin) || !in.u16(image.yOrigin) || !in.u16(image.width) || !in.u16(image.height) ||
        !in.u8(image.pixelDepth) || !in.u8(image.imageDescriptor) || !in.skip(image.idLength))
        return fail(image, reason, "truncated");

    const uint8_t type = image.imageType;
    const bool mapped = type == 1 || type == 9;
    const bool grey = type == 3 || type == 11;
    const bool trueColour = type == 2 || type == 10;
    if (!mapped && !grey && !trueColour)
        return fail(image, reason, "unsupported image type");
    if (mapped) {
        if (image.colourMapType != 1 || image.colourMapEntrySize != 24)
            return fail(image, reason, "colour map missing or not 24-bit");
        image.colourMap.resize(size_t(image.colourMapLength) * 3);
        if (!in.bytes(image.colourMap.data(), image.colourMap.size()))
            return fail(image, reason, "truncated");
    } else if (image.colourMapType == 1) {
        // A map the pixels do not use still sits between the header and the pixels.
        if (!in.skip(size_t(image.colourMapLength) * ((image.colourMapEntrySize + 7u) / 8u)))
            return fail(image, reason, "truncated");
    }

    const uint8_t depth = image.pixelDepth;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return fail(image, reason, "unsupported depth", TgaStatus::unsupportedDepth);
    if ((mapped || grey) != (depth == 8))
        return fail(image, reason, "depth does not suit the image type");

    const size_t pixelCount = size_t(image.width) * image.height;
    if (pixelCount == 0)
        return fail(image, reason, "empty image");
    if (pixelCount > kMaxImagePixels)
        return fail(image, reason, "image too large");
    const size_t pixelBytes = depth / 8u;
    const bool runLength = type >= 9;
    // Cheap bound before allocating: a packet of 1 + pixelBytes bytes gives at most 128 pixels.
    const size_t most = runLength ? (in.remaining() / (1 + pixelBytes)) * 128 + 128 : in.remaining() / pixelBytes;
    if (pixelCount > most)
        return fail(image, reason, "truncated");

    std::vector<uint8_t> stored;
    if (runLength) {
        if (!readRunLength(in, pixelCount, pixelBytes, stored))
            return fail(image, reason, "truncated");
    } else {
        stored.resize(pixelCount * pixelBytes);
        if (!in.bytes(stored.data(), stored.size()))
            return fail(image, reason, "truncated");
    }

    if (mapped) {
        const size_t entries = image.colourMapLength;
        image.pixels.resize(pixelCount * 3);
        for (size_t i = 0; i < pixelCount; ++i) {
            const size_t index = stored[i];
            if (index >= entries)
                return fail(image, reason, "colour index outside the map");
            for (int b = 0; b < 3; ++b)
                image.pixels[3 * i + b] = image.colourMap[3 * index + b];
        }
        image.colourMap.clear();
        image.pixelDepth = 24;
    } else if (depth == 16) {
        image.pixels.resize(pixelCount * 3);
        for (size_t i = 0; i < pixelCount; ++i) {
            const unsigned p = stored[2 * i] | stored[2 * i + 1] << 8;
            image.pixels[3 * i] = static_cast<uint8_t>((p & 0x1F) << 3);
            image.pixels[3 * i + 1] = static_cast<uint8_t>(((p >> 5) & 0x1F) << 3);
            image.pixels[3 * i + 2] = static_cast<uint8_t>(((p >> 10) & 0x1F) << 3);
        }
        image.pixelDepth = 24;
    } else {
        image.pixels = std::move(stored);
        // Stored blue, green, red, alpha; run-length images too, so both forms upload alike.
        if (depth == 32)
            for (size_t i = 0; i < pixelCount; ++i)
                std::swap(image.pixels[4 * i], image.pixels[4 * i + 2]);
    }
    return TgaStatus::ok;
}

std::vector<uint8_t> tgaToRgba(const TgaImage& image)
{
    const size_t pixelCount = size_t(image.width) * image.height;
    std::vector<uint8_t> rgba;
    if (image.pixels.size() != pixelCount * (image.pixelDepth / 8u) || pixelCount == 0)
        return rgba;
    if (image.pixelDepth == 32)
        return image.pixels;
    rgba.resize(pixelCount * 4);
    const uint8_t* p = image.pixels.data();
    for (size_t i = 0; i < pixelCount; ++i) {
        uint8_t* out = rgba.data() + 4 * i;
        if (image.pixelDepth == 24) {
            out[0] = p[3 * i + 2];
            out[1] = p[3 * i + 1];
            out[2] = p[3 * i];
        } else {
            out[0] = out[1] = out[2] = p[i];
        }
        out[3] = 255;
    }
    return rgba;
}
