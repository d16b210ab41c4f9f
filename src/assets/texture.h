#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A decoded JPEG: rows bottom first, as OpenGL takes them; always 3 bytes (RGB) per pixel.
struct DecodedImage {
    int rowBytes = 0;  // width x 3
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // rowBytes x height
};

// A decoded TGA: the header as stored, then the pixels in file row order. After decoding,
// pixelDepth says what the pixels hold: 32 = red, green, blue, alpha; 24 = blue, green, red
// (true colour, 16-bit and colour-mapped images all end up here); 8 = grey.
struct TgaImage {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint16_t colourMapFirstEntry = 0;
    uint16_t colourMapLength = 0;
    uint8_t colourMapEntrySize = 0;
    uint16_t xOrigin = 0;
    uint16_t yOrigin = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t imageDescriptor = 0;
    std::vector<uint8_t> colourMap;  // colourMapLength x 3, blue green red; emptied once applied
    std::vector<uint8_t> pixels;
};

enum class TgaStatus { ok, unsupportedDepth, failed };

// Largest image either decoder accepts, in pixels; far above any texture the GL takes.
inline constexpr uint64_t kMaxImagePixels = uint64_t(1) << 24;

// The parsing halves: bytes in, pixels out, no GL. On failure the image is left empty and
// reason (when given) says why. Corrupt or truncated data always fails.
bool decodeJpegBytes(std::span<const uint8_t> bytes, DecodedImage& image, std::string* reason = nullptr);
TgaStatus decodeTgaBytes(std::span<const uint8_t> bytes, TgaImage& image, std::string* reason = nullptr);
// The decoded TGA as red, green, blue, alpha bytes (alpha 255 where the image has none).
std::vector<uint8_t> tgaToRgba(const TgaImage& image);

// The texture kind a path names by its last three characters: exactly "jpg"/"JPG" or "tga"/"TGA".
enum class ImageKind { none, jpeg, tga };
ImageKind imageKindOf(const std::string& path);

// One mipmapped GL 2D texture made from a JPEG (RGB) or TGA (RGBA) image. The GL texture lives as
// long as the context, not as long as this object.
class Texture {
public:
    Texture();
    virtual ~Texture();

    // Logs "Load texture <path> ..." and "done", or "failed: <reason>" leaving id 0. The image
    // comes from the archive, or from resource CustomData resourceId when fromResource; the kind
    // is always taken from path.
    bool load(const std::string& path, bool fromResource = false, int resourceId = 0);
    // The same from bytes already in memory; path gives the kind and the log text.
    bool loadBytes(const std::string& path, std::span<const uint8_t> bytes);
    void bind() const;

    // Archive or resource readers of the two formats. A JPEG missing from the archive shows the
    // message "ARCH:Can't load JPG file: <path>"; an unsupported TGA depth shows
    // "Unsupported image depth.".
    static bool decodeJpeg(const std::string& path, DecodedImage& image, bool fromResource, int resourceId);
    static bool decodeTga(const std::string& path, TgaImage& image, bool fromResource, int resourceId);
    // A texture name holding the TGA as RGBA mipmaps; 0 on failure.
    static uint32_t createTgaTexture(const std::string& path, bool fromResource, int resourceId);

    // The GL halves: upload decoded pixels as a new mipmapped texture; 0 on failure.
    static uint32_t uploadRgb(const DecodedImage& image);
    static uint32_t uploadRgba(int width, int height, const std::vector<uint8_t>& rgba);

    uint32_t id = 0;
};
