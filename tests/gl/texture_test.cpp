#include "asset_builders.h"
#include "assets/texture.h"
#include "data/data_file.h"
#include "data/messages.h"
#include "gl_fixture.h"

namespace {

std::vector<std::pair<std::string, std::string>> gMessages;
void recordMessage(const std::string& text, const std::string& caption) { gMessages.emplace_back(text, caption); }

// w x h RGB rows, top first: the top half red, the bottom half blue.
std::vector<uint8_t> redOverBlue(int w, int h)
{
    std::vector<uint8_t> rows(size_t(w) * h * 3, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rows[(size_t(y) * w + x) * 3 + (y < h / 2 ? 0 : 2)] = 255;
    return rows;
}

// Deterministic noise, so most of the JPEG is entropy-coded scan data.
std::vector<uint8_t> noise(int w, int h)
{
    std::vector<uint8_t> rows(size_t(w) * h * 3);
    uint32_t state = 12345;
    for (uint8_t& b : rows) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return rows;
}

TgaStatus decode(const std::vector<uint8_t>& bytes, TgaImage& image, std::string* reason = nullptr)
{
    return decodeTgaBytes(bytes, image, reason);
}

}  // namespace

TEST(TgaDecoder, UncompressedTrueColourIsSwappedToRgba)
{
    // Two pixels stored blue, green, red, alpha.
    TgaImage image;
    ASSERT_EQ(decode(tgaBytes(2, 2, 1, 32, {1, 2, 3, 4, 10, 20, 30, 40}), image), TgaStatus::ok);
    EXPECT_EQ(image.pixelDepth, 32);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 4, 30, 20, 10, 40}));
    EXPECT_EQ(tgaToRgba(image), image.pixels);

    // 24-bit stays blue first in the decoded image and becomes opaque RGBA for upload.
    ASSERT_EQ(decode(tgaBytes(2, 1, 1, 24, {1, 2, 3}, {}, 5), image), TgaStatus::ok);  // with an ID field
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(tgaToRgba(image), (std::vector<uint8_t>{3, 2, 1, 255}));

    // 16-bit: 5 bits per channel, blue lowest, expanded to three bytes.
    const uint16_t p = (31 << 10) | (1 << 5) | 2;  // red 31, green 1, blue 2
    ASSERT_EQ(decode(tgaBytes(2, 1, 1, 16, {uint8_t(p), uint8_t(p >> 8)}), image), TgaStatus::ok);
    EXPECT_EQ(image.pixelDepth, 24);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{16, 8, 248}));
}

TEST(TgaDecoder, RunLengthPacketsRepeatOrCopy)
{
    // 0x83: one pixel four times; 0x02: three literal pixels.
    const std::vector<uint8_t> packets = {0x83, 9, 8, 7, 0x02, 1, 1, 1, 2, 2, 2, 3, 3, 3};
    TgaImage image;
    ASSERT_EQ(decode(tgaBytes(10, 7, 1, 24, packets), image), TgaStatus::ok);
    EXPECT_EQ(image.pixels,
              (std::vector<uint8_t>{9, 8, 7, 9, 8, 7, 9, 8, 7, 9, 8, 7, 1, 1, 1, 2, 2, 2, 3, 3, 3}));

    // Run-length 32-bit images come out red first like uncompressed ones.
    ASSERT_EQ(decode(tgaBytes(10, 2, 1, 32, {0x81, 1, 2, 3, 4}), image), TgaStatus::ok);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 4, 3, 2, 1, 4}));

    // A packet promising more than the image holds stops at the last pixel.
    ASSERT_EQ(decode(tgaBytes(11, 3, 1, 8, {0xFF, 77}), image), TgaStatus::ok);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{77, 77, 77}));
    ASSERT_EQ(decode(tgaBytes(11, 2, 1, 8, {0x7F, 1, 2}), image), TgaStatus::ok);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{1, 2}));

    std::string reason;
    EXPECT_EQ(decode(tgaBytes(10, 4, 1, 24, {0x83}), image, &reason), TgaStatus::failed);
    EXPECT_EQ(reason, "truncated");
    EXPECT_EQ(decode(tgaBytes(10, 4, 1, 24, {0x81, 1, 2, 3}), image, &reason), TgaStatus::failed);
    EXPECT_TRUE(image.pixels.empty());
}

TEST(TgaDecoder, GreyAndColourMappedImages)
{
    TgaImage image;
    ASSERT_EQ(decode(tgaBytes(3, 2, 1, 8, {5, 200}), image), TgaStatus::ok);
    EXPECT_EQ(tgaToRgba(image), (std::vector<uint8_t>{5, 5, 5, 255, 200, 200, 200, 255}));

    const std::vector<uint8_t> map = {10, 20, 30, 40, 50, 60};  // two blue, green, red entries
    ASSERT_EQ(decode(tgaBytes(1, 3, 1, 8, {1, 0, 1}, map), image), TgaStatus::ok);
    EXPECT_EQ(image.pixelDepth, 24);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{40, 50, 60, 10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(tgaToRgba(image), (std::vector<uint8_t>{60, 50, 40, 255, 30, 20, 10, 255, 60, 50, 40, 255}));

    ASSERT_EQ(decode(tgaBytes(9, 3, 1, 8, {0x82, 0}, map), image), TgaStatus::ok);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{10, 20, 30, 10, 20, 30, 10, 20, 30}));

    std::string reason;
    EXPECT_EQ(decode(tgaBytes(1, 2, 1, 8, {0, 2}, map), image, &reason), TgaStatus::failed);
    EXPECT_EQ(reason, "colour index outside the map");
    EXPECT_EQ(decode(tgaBytes(1, 2, 1, 8, {0, 1}), image, &reason), TgaStatus::failed);  // no map
    EXPECT_EQ(reason, "colour map missing or not 24-bit");

    // A map that true-colour pixels do not use is stepped over, not taken for pixels.
    ASSERT_EQ(decode(tgaBytes(2, 1, 1, 24, {7, 8, 9}, map), image), TgaStatus::ok);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{7, 8, 9}));
}

TEST(TgaDecoder, RefusesWhatItCannotDecode)
{
    TgaImage image;
    std::string reason;
    for (uint8_t depth : {0, 1, 7, 15, 31, 33, 64}) {
        EXPECT_EQ(decode(tgaBytes(2, 1, 1, depth, std::vector<uint8_t>(16)), image, &reason),
                  TgaStatus::unsupportedDepth)
            << int(depth);
        EXPECT_TRUE(image.pixels.empty());
    }
    EXPECT_EQ(decode(tgaBytes(4, 1, 1, 24, {1, 2, 3}), image, &reason), TgaStatus::failed);
    EXPECT_EQ(reason, "unsupported image type");
    EXPECT_EQ(decode(tgaBytes(2, 1, 1, 8, {1}), image, &reason), TgaStatus::failed);
    EXPECT_EQ(decode(tgaBytes(3, 1, 1, 24, {1, 2, 3}), image, &reason), TgaStatus::failed);
    EXPECT_EQ(decode(tgaBytes(2, 0, 5, 24, {}), image, &reason), TgaStatus::failed);
    EXPECT_EQ(reason, "empty image");
    EXPECT_EQ(decode(tgaBytes(2, 2, 2, 32, std::vector<uint8_t>(15)), image, &reason), TgaStatus::failed);
    EXPECT_EQ(reason, "truncated");
    // Huge dimensions over a few bytes fail before anything is allocated for them.
    EXPECT_EQ(decode(tgaBytes(10, 65535, 65535, 32, {0xFF, 1, 2, 3, 4}), image, &reason), TgaStatus::failed);
    auto header = tgaBytes(2, 1, 1, 24, {1, 2, 3});
    header.resize(17);
    EXPECT_EQ(decode(header, image, &reason), TgaStatus::failed);
    EXPECT_EQ(decode(tgaBytes(2, 1, 1, 24, {}, {}, 200), image, &reason), TgaStatus::failed);
}

TEST(JpegDecoder, StoresRowsBottomFirst)
{
    DecodedImage image;
    ASSERT_TRUE(decodeJpegBytes(jpegBytes(16, 16, 3, redOverBlue(16, 16)), image));
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(image.height, 16);
    EXPECT_EQ(image.rowBytes, 48);
    ASSERT_EQ(image.pixels.size(), 16u * 48);
    // First stored row is the image's bottom row (blue); the last is its top row (red).
    EXPECT_LT(image.pixels[0], 40);
    EXPECT_GT(image.pixels[2], 215);
    const uint8_t* top = &image.pixels[15 * 48];
    EXPECT_GT(top[0], 215);
    EXPECT_LT(top[2], 40);
}

TEST(JpegDecoder, GreyImagesAreWidenedToRgb)
{
    std::vector<uint8_t> rows(8 * 8);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i < 32 ? 255 : 0;
    DecodedImage image;
    ASSERT_TRUE(decodeJpegBytes(jpegBytes(8, 8, 1, rows), image));
    EXPECT_EQ(image.rowBytes, 24);
    ASSERT_EQ(image.pixels.size(), 8u * 24);
    EXPECT_EQ(image.pixels[0], image.pixels[1]);
    EXPECT_EQ(image.pixels[1], image.pixels[2]);
    EXPECT_LT(image.pixels[0], 30);          // bottom row: black
    EXPECT_GT(image.pixels[7 * 24 + 4], 225);  // top row: white
}

TEST(JpegDecoder, CorruptOrTruncatedDataFailsCleanly)
{
    const auto good = jpegBytes(32, 32, 3, redOverBlue(32, 32));
    DecodedImage image;
    std::string reason;
    for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(20), good.size() / 2, good.size() - 2}) {
        EXPECT_FALSE(decodeJpegBytes(std::span<const uint8_t>(good.data(), cut), image, &reason)) << cut;
        EXPECT_TRUE(image.pixels.empty());
        EXPECT_EQ(image.width, 0);
    }
    std::vector<uint8_t> garbage(500);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_FALSE(decodeJpegBytes(garbage, image, &reason));

    // An end-of-image marker in the middle of the scan data: the rest of the picture is missing.
    const auto noisy = jpegBytes(32, 32, 3, noise(32, 32));
    for (size_t cut : {noisy.size() / 2, noisy.size() - 3}) {
        EXPECT_FALSE(decodeJpegBytes(std::span<const uint8_t>(noisy.data(), cut), image, &reason));
        EXPECT_EQ(reason, "truncated");
    }
    auto damaged = noisy;
    damaged[noisy.size() / 2] = 0xFF;
    damaged[noisy.size() / 2 + 1] = 0xD9;
    EXPECT_FALSE(decodeJpegBytes(damaged, image, &reason));
    EXPECT_TRUE(image.pixels.empty());
    ASSERT_TRUE(decodeJpegBytes(noisy, image));

    // A marker segment claiming more bytes than the file holds.
    auto skipping = good;
    skipping.resize(4);
    skipping.insert(skipping.end(), {0xFF, 0xE1, 0xFF, 0xFF, 0x00});
    EXPECT_FALSE(decodeJpegBytes(skipping, image, &reason));
}

TEST(JpegDecoder, RestartMarkersAndProgressiveImages)
{
    const auto rows = noise(32, 32);
    DecodedImage plain, restarted, progressive;
    ASSERT_TRUE(decodeJpegBytes(jpegBytes(32, 32, 3, rows, 90), plain));
    ASSERT_TRUE(decodeJpegBytes(jpegBytes(32, 32, 3, rows, 90, 1), restarted));
    ASSERT_TRUE(decodeJpegBytes(jpegBytes(32, 32, 3, rows, 90, 0, true), progressive));
    EXPECT_EQ(restarted.pixels, plain.pixels);
    EXPECT_EQ(progressive.pixels.size(), plain.pixels.size());

    // A restart marker out of sequence makes the decoder resynchronise: it must finish, and the
    // damaged picture is refused.
    auto damaged = jpegBytes(32, 32, 3, rows, 90, 1);
    size_t markers = 0;
    for (size_t i = 0; i + 1 < damaged.size(); ++i) {
        if (damaged[i] == 0xFF && damaged[i + 1] >= 0xD0 && damaged[i + 1] <= 0xD7 && ++markers == 2) {
            damaged[i + 1] = 0xD6;
            break;
        }
    }
    ASSERT_EQ(markers, 2u);
    DecodedImage image;
    EXPECT_FALSE(decodeJpegBytes(damaged, image));
    EXPECT_TRUE(image.pixels.empty());
}

TEST(JpegDecoder, HugeProgressiveHeaderIsRefusedBeforeTheLibraryAllocates)
{
    // A progressive frame header claiming 30000 x 30000 pixels: refused from the header alone, before
    // the library would reserve gigabytes of coefficients for it.
    auto bytes = jpegBytes(32, 32, 3, noise(32, 32), 90, 0, true);
    size_t sof = 0;
    for (size_t i = 2; i + 8 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) {
            sof = i;
            break;
        }
    ASSERT_NE(sof, 0u);
    for (size_t field : {sof + 5, sof + 7}) {  // height, then width, big-endian
        bytes[field] = 30000 >> 8;
        bytes[field + 1] = 30000 & 0xFF;
    }
    DecodedImage image;
    std::string reason;
    EXPECT_FALSE(decodeJpegBytes(bytes, image, &reason));
    EXPECT_EQ(reason, "image too large");
    EXPECT_TRUE(image.pixels.empty());
}

TEST(ImageKind, TakenFromTheLastThreeCharactersExactly)
{
    EXPECT_EQ(imageKindOf("textures\\cell.jpg"), ImageKind::jpeg);
    EXPECT_EQ(imageKindOf("textures\\cell.JPG"), ImageKind::jpeg);
    EXPECT_EQ(imageKindOf("4loader_rd.tga"), ImageKind::tga);
    EXPECT_EQ(imageKindOf("A.TGA"), ImageKind::tga);
    EXPECT_EQ(imageKindOf("textures\\cell.Jpg"), ImageKind::none);
    EXPECT_EQ(imageKindOf("textures\\cell.png"), ImageKind::none);
    EXPECT_EQ(imageKindOf("pg"), ImageKind::none);
    EXPECT_EQ(imageKindOf("jpg"), ImageKind::jpeg);
}

class TextureGlTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        gMessages.clear();
        setMessageHandler(recordMessage);
    }
    void TearDown() override
    {
        setMessageHandler(nullptr);
        setDataArchiveOverride(nullptr, 0);
    }

    // A 2 x 2 TGA, rows bottom first as stored: bottom red, green; top blue, white with alpha 128.
    // Uploaded through Texture; its level 0 read back as RGBA.
    std::vector<uint8_t> uploadTwoByTwoTga()
    {
        const std::vector<uint8_t> bgra = {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 128};
        Texture texture;
        std::vector<uint8_t> level0(16);
        EXPECT_TRUE(texture.loadBytes("4loader_rd.tga", tgaBytes(2, 2, 2, 32, bgra)));
        texture.bind();
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
        return level0;
    }
    const std::vector<uint8_t> kTwoByTwoRgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};

    // The texture on a quad over the whole framebuffer, texture coordinate v = 1 at the top.
    std::vector<uint8_t> drawTextured(const Texture& texture)
    {
        glEnable(GL_TEXTURE_2D);
        texture.bind();
        glColor4f(1, 1, 1, 1);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
        return gl.readPixels();
    }
};

TEST_F(TextureGlTest, JpegTopRowEndsUpAtVOne)
{
    Texture texture;
    const size_t logStart = logText().size();
    ASSERT_TRUE(texture.loadBytes("textures\\test.jpg", jpegBytes(64, 64, 3, redOverBlue(64, 64))));
    EXPECT_EQ(logText().substr(logStart), "Load texture <textures\\test.jpg> ...done\n");
    ASSERT_NE(texture.id, 0u);
    GLint minFilter = 0, magFilter = 0;
    texture.bind();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(magFilter, GL_LINEAR);
    GLint level1 = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
    EXPECT_EQ(level1, 32);  // mipmapped

    const auto image = drawTextured(texture);
    const auto top = pixelAt(image, kWidth / 2, 4);  // image rows are top first
    const auto bottom = pixelAt(image, kWidth / 2, kHeight - 5);
    EXPECT_GT(top[0], 200);
    EXPECT_LT(top[2], 50);
    EXPECT_LT(bottom[0], 50);
    EXPECT_GT(bottom[2], 200);
}

TEST_F(TextureGlTest, OddSizedImagesAreScaledToPowersOfTwo)
{
    Texture texture;
    ASSERT_TRUE(texture.loadBytes("textures\\odd.jpg", jpegBytes(20, 12, 3, redOverBlue(20, 12))));
    texture.bind();
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_EQ(width & (width - 1), 0);
    EXPECT_EQ(height & (height - 1), 0);
    const auto image = drawTextured(texture);
    EXPECT_GT(pixelAt(image, kWidth / 2, 4)[0], 200);  // still upright
    EXPECT_GT(pixelAt(image, kWidth / 2, kHeight - 5)[2], 200);
}

TEST_F(TextureGlTest, TgaIsUploadedAsRgba)
{
    EXPECT_EQ(uploadTwoByTwoTga(), kTwoByTwoRgba);

    // A 24-bit image is widened rather than read as four bytes per pixel.
    Texture opaque;
    ASSERT_TRUE(opaque.loadBytes("x.TGA", tgaBytes(2, 2, 1, 24, {0, 0, 255, 255, 0, 0})));
    opaque.bind();
    std::vector<uint8_t> level0(16);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
    // Width 2 x height 1: GLU keeps it, so the two texels are red and blue.
    EXPECT_EQ(std::vector<uint8_t>(level0.begin(), level0.begin() + 8),
              (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
}

// Whatever unpack state the context was left with, the image is read as the tight block it is:
// a stray row length or skip would read past its end and shear the texture.
TEST_F(TextureGlTest, UploadReadsTheImageAsPackedWhateverTheUnpackState)
{
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 800);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 1);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 32);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_TRUE);
    EXPECT_EQ(uploadTwoByTwoTga(), kTwoByTwoRgba);
}

TEST_F(TextureGlTest, UnknownEndingsAndBrokenImagesCreateNothing)
{
    const auto jpeg = jpegBytes(16, 16, 3, noise(16, 16));
    const size_t logStart = logText().size();
    for (const char* path : {"textures\\a.png", "textures\\a.Jpg"}) {
        Texture texture;
        EXPECT_FALSE(texture.loadBytes(path, jpeg)) << path;
        EXPECT_EQ(texture.id, 0u);
    }
    Texture broken;
    EXPECT_FALSE(broken.loadBytes("textures\\cut.jpg", std::span<const uint8_t>(jpeg.data(), jpeg.size() / 2)));
    EXPECT_EQ(broken.id, 0u);
    Texture deep;
    EXPECT_FALSE(deep.loadBytes("deep.tga", tgaBytes(2, 1, 1, 48, std::vector<uint8_t>(6))));
    EXPECT_EQ(logText().substr(logStart), "Load texture <textures\\a.png> ...failed: not a jpg or tga path\n"
                                          "Load texture <textures\\a.Jpg> ...failed: not a jpg or tga path\n"
                                          "Load texture <textures\\cut.jpg> ...failed: truncated\n"
                                          "Load texture <deep.tga> ...failed: unsupported depth\n");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureGlTest, LoadsFromTheArchiveWithItsMessages)
{
    const auto archive = storedArchive({{"textures\\cell.JPG", jpegBytes(8, 8, 3, redOverBlue(8, 8))},
                                        {"textures\\deep.tga", tgaBytes(2, 1, 1, 15, {1, 2})},
                                        {"textures\\ok.tga", tgaBytes(2, 1, 1, 32, {1, 2, 3, 4})}});
    setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    Texture cell, missing, deep, ok, missingTga;
    EXPECT_TRUE(cell.load("textures\\cell.jpg"));
    EXPECT_NE(cell.id, 0u);
    EXPECT_TRUE(gMessages.empty());

    EXPECT_FALSE(missing.load("textures\\none.jpg"));
    ASSERT_EQ(gMessages.size(), 1u);
    EXPECT_EQ(gMessages[0], std::make_pair(std::string("ARCH:Can't load JPG file: textures\\none.jpg"),
                                           std::string("Error")));
    EXPECT_EQ(missing.id, 0u);

    EXPECT_FALSE(deep.load("textures\\deep.tga"));
    ASSERT_EQ(gMessages.size(), 2u);
    EXPECT_EQ(gMessages[1], std::make_pair(std::string("Unsupported image depth."), std::string("TGA")));

    EXPECT_FALSE(missingTga.load("textures\\none.tga"));
    EXPECT_EQ(gMessages.size(), 2u);  // a missing TGA is silent

    EXPECT_NE(Texture::createTgaTexture("textures\\ok.tga", false, 0), 0u);
    TgaImage image;
    EXPECT_TRUE(Texture::decodeTga("textures\\ok.tga", image, false, 0));
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 4}));
    DecodedImage decoded;
    EXPECT_TRUE(Texture::decodeJpeg("textures\\cell.jpg", decoded, false, 0));
    EXPECT_EQ(decoded.width, 8);
}
