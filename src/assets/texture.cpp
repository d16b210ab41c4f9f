#include "assets/texture.h"

#include "data/data_file.h"
#include "data/log.h"
#include "data/messages.h"
#include "render/gl.h"

ImageKind imageKindOf(const std::string& path)
{
    if (path.size() < 3)
        return ImageKind::none;
    const std::string ending = path.substr(path.size() - 3);
    if (ending == "jpg" || ending == "JPG")
        return ImageKind::jpeg;
    if (ending == "tga" || ending == "TGA")
        return ImageKind::tga;
    return ImageKind::none;
}

namespace {

// The image bytes from the archive, or from a CustomData resource; false when the archive lacks
// the path or the resource is missing.
bool openImage(DataFile& file, const std::string& path, bool fromResource, int resourceId)
{
    if (fromResource) {
        file.openResource(resourceId);
        return file.data != nullptr && file.size > 0;
    }
    return file.open(path.c_str());
}

// Why openImage failed, for the log.
std::string openFailure(const DataFile& file, bool fromResource)
{
    return fromResource || *file.failure() == 0 ? "missing" : file.failure();
}

bool readJpeg(const std::string& path, DecodedImage& image, bool fromResource, int resourceId, std::string& reason)
{
    DataFile file;
    if (!openImage(file, path, fromResource, resourceId)) {
        if (!fromResource)
            showMessage("ARCH:Can't load JPG file: " + path, "Error");
        reason = openFailure(file, fromResource);
        return false;
    }
    return decodeJpegBytes({file.data, file.size}, image, &reason);
}

TgaStatus readTga(const std::string& path, TgaImage& image, bool fromResource, int resourceId, std::string& reason)
{
    DataFile file;
    if (!openImage(file, path, fromResource, resourceId)) {
        reason = openFailure(file, fromResource);
        return TgaStatus::failed;
    }
    const TgaStatus status = decodeTgaBytes({file.data, file.size}, image, &reason);
    if (status == TgaStatus::unsupportedDepth)
        showMessage("Unsupported image depth.", "TGA");
    return status;
}

uint32_t uploadMipmaps(int width, int height, GLint components, GLenum format, const uint8_t* pixels)
{
    GLuint id = 0;
    glGenTextures(1, &id);
    if (id == 0)
        return 0;
    // Tightly packed rows from the first byte, whatever the context holds: GLU reads the unpack
    // state back and steps through the pixels by it. (A context left current by someone else once
    // held a row length of 800, and the upload read past the end of the image.)
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glBindTexture(GL_TEXTURE_2D, id);
    // GLU also scales the image to power-of-two sizes where the GL needs them.
    const GLint failed = gluBuild2DMipmaps(GL_TEXTURE_2D, components, width, height, format, GL_UNSIGNED_BYTE, pixels);
    if (failed) {
        glDeleteTextures(1, &id);
        return 0;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return id;
}

// Decoded pixels to a texture, or the reason there is none.
uint32_t textureFromBytes(ImageKind kind, std::span<const uint8_t> bytes, std::string& reason)
{
    if (kind == ImageKind::jpeg) {
        DecodedImage image;
        if (!decodeJpegBytes(bytes, image, &reason))
            return 0;
        const uint32_t id = Texture::uploadRgb(image);
        if (!id)
            reason = "upload refused";
        return id;
    }
    TgaImage image;
    if (decodeTgaBytes(bytes, image, &reason) != TgaStatus::ok)
        return 0;
    const uint32_t id = Texture::uploadRgba(image.width, image.height, tgaToRgba(image));
    if (!id)
        reason = "upload refused";
    return id;
}

}  // namespace

Texture::Texture() = default;

// The GL texture belongs to the context, not to this object.
Texture::~Texture() = default;

void Texture::bind() const { glBindTexture(GL_TEXTURE_2D, id); }

uint32_t Texture::uploadRgb(const DecodedImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != size_t(image.width) * size_t(image.height) * 3 || image.rowBytes != image.width * 3)
        return 0;
    return uploadMipmaps(image.width, image.height, 3, GL_RGB, image.pixels.data());
}

uint32_t Texture::uploadRgba(int width, int height, const std::vector<uint8_t>& rgba)
{
    if (width <= 0 || height <= 0 || rgba.size() != size_t(width) * size_t(height) * 4)
        return 0;
    return uploadMipmaps(width, height, 4, GL_RGBA, rgba.data());
}

bool Texture::decodeJpeg(const std::string& path, DecodedImage& image, bool fromResource, int resourceId)
{
    std::string reason;
    return readJpeg(path, image, fromResource, resourceId, reason);
}

bool Texture::decodeTga(const std::string& path, TgaImage& image, bool fromResource, int resourceId)
{
    std::string reason;
    return readTga(path, image, fromResource, resourceId, reason) == TgaStatus::ok;
}

uint32_t Texture::createTgaTexture(const std::string& path, bool fromResource, int resourceId)
{
    TgaImage image;
    if (!decodeTga(path, image, fromResource, resourceId))
        return 0;
    return uploadRgba(image.width, image.height, tgaToRgba(image));
}

bool Texture::load(const std::string& path, bool fromResource, int resourceId)
{
    Log& log = Log::instance();
    log.write("Load texture <" + path + "> ...");
    const ImageKind kind = imageKindOf(path);
    std::string reason = "not a jpg or tga path";
    uint32_t created = 0;
    if (kind == ImageKind::jpeg) {
        DecodedImage image;
        if (readJpeg(path, image, fromResource, resourceId, reason)) {
            created = uploadRgb(image);
            reason = "upload refused";
        }
    } else if (kind == ImageKind::tga) {
        TgaImage image;
        if (readTga(path, image, fromResource, resourceId, reason) == TgaStatus::ok) {
            created = uploadRgba(image.width, image.height, tgaToRgba(image));
            reason = "upload refused";
        }
    }
    if (!created) {
        log.write("failed: " + reason + "\n");
        return false;
    }
    id = created;
    log.done();
    return true;
}

bool Texture::loadBytes(const std::string& path, std::span<const uint8_t> bytes)
{
    Log& log = Log::instance();
    log.write("Load texture <" + path + "> ...");
    const ImageKind kind = imageKindOf(path);
    std::string reason = "not a jpg or tga path";
    const uint32_t created = kind == ImageKind::none ? 0 : textureFromBytes(kind, bytes, reason);
    if (!created) {
        log.write("failed: " + reason + "\n");
        return false;
    }
    id = created;
    log.done();
    return true;
}
