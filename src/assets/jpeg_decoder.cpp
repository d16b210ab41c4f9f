// JPEG decoding straight from memory with libjpeg. The decoder never sees more than the bytes it
// was given: input past the end is answered with an end-of-image marker, and a fatal error jumps
// back out of the library instead of returning into it.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "assets/texture.h"

namespace {

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

struct MemorySource {
    jpeg_source_mgr manager;
    bool ranDry;  // the decoder asked for bytes past the end: the image is truncated
};

void initSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<MemorySource*>(info->src);
    source->ranDry = true;
    source->manager.next_input_byte = kEndOfImage;
    source->manager.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

// Marker segments the decoder does not examine are skipped within the buffer; a skip past its
// end empties it, so the next read gets the end-of-image marker.
void skipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* source = info->src;
    if (static_cast<unsigned long>(count) >= source->bytes_in_buffer) {
        if (static_cast<unsigned long>(count) > source->bytes_in_buffer)
            reinterpret_cast<MemorySource*>(source)->ranDry = true;
        source->next_input_byte += source->bytes_in_buffer;
        source->bytes_in_buffer = 0;
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

struct ErrorManager {
    jpeg_error_mgr manager;
    jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->escape, 1);
}

// Warnings (corrupt data the library would paper over) are counted, never printed.
void emitMessage(j_common_ptr info, int level)
{
    if (level < 0)
        ++info->err->num_warnings;
}

void outputMessage(j_common_ptr) {}

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager errors;
    MemorySource source;
};

// Only plain data lives in this frame, so the jump back from the library skips no destructor.
bool decode(Decoder& d, std::span<const uint8_t> bytes, DecodedImage& image, std::vector<uint8_t>& row,
            const char*& reason)
{
    if (setjmp(d.errors.escape)) {
        reason = "corrupt";
        return false;
    }
    jpeg_create_decompress(&d.info);
    d.source.manager.init_source = initSource;
    d.source.manager.fill_input_buffer = fillInputBuffer;
    d.source.manager.skip_input_data = skipInputData;
    d.source.manager.resync_to_restart = jpeg_resync_to_restart;
    d.source.manager.term_source = termSource;
    d.source.manager.next_input_byte = bytes.data();
    d.source.manager.bytes_in_buffer = bytes.size();
    d.source.ranDry = false;
    d.info.src = &d.source.manager;

    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) {
        reason = "no image";
        return false;
    }
    // Before start_decompress: a progressive image makes the library allocate its whole coefficient
    // buffer there, so a forged header would cost gigabytes before any check after it could refuse.
    if (static_cast<uint64_t>(d.info.image_width) * d.info.image_height > kMaxImagePixels) {
        reason = "image too large";
        return false;
    }
    // Colour images come out as RGB; grey ones are widened to RGB below.
    if (d.info.jpeg_color_space == JCS_GRAYSCALE)
        d.info.out_color_space = JCS_GRAYSCALE;
    else if (d.info.jpeg_color_space == JCS_YCbCr || d.info.jpeg_color_space == JCS_RGB)
        d.info.out_color_space = JCS_RGB;
    else {
        reason = "unsupported colour space";
        return false;
    }
    jpeg_start_decompress(&d.info);
    const uint64_t width = d.info.output_width, height = d.info.output_height;
    const int components = d.info.output_components;
    if (width == 0 || height == 0 || width * height > kMaxImagePixels) {
        reason = "image too large";
        return false;
    }
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rowBytes = image.width * 3;
    image.pixels.assign(static_cast<size_t>(image.rowBytes) * height, 0);
    row.resize(width * static_cast<size_t>(components));

    while (d.info.output_scanline < d.info.output_height) {
        const JDIMENSION from = d.info.output_scanline;
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1 || d.source.ranDry || d.errors.manager.num_warnings) {
            reason = d.source.ranDry ? "truncated" : "corrupt";
            return false;
        }
        // Row i from the top is stored at height - 1 - i: bottom row first, as OpenGL wants.
        uint8_t* out = image.pixels.data() + (height - 1 - from) * static_cast<size_t>(image.rowBytes);
        if (components == 3)
            std::memcpy(out, row.data(), static_cast<size_t>(image.rowBytes));
        else
            for (uint64_t x = 0; x < width; ++x)
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = row[x];
    }
    return true;
}

}  // namespace

bool decodeJpegBytes(std::span<const uint8_t> bytes, DecodedImage& image, std::string* reason)
{
    image = DecodedImage{};
    std::vector<uint8_t> row;
    const char* why = "";
    Decoder d;
    std::memset(&d, 0, sizeof d);
    d.info.err = jpeg_std_error(&d.errors.manager);
    d.errors.manager.error_exit = errorExit;
    d.errors.manager.emit_message = emitMessage;
    d.errors.manager.output_message = outputMessage;
    const bool ok = !bytes.empty() && decode(d, bytes, image, row, why);
    if (bytes.empty())
        why = "empty";
    jpeg_destroy_decompress(&d.info);
    if (!ok) {
        image = DecodedImage{};
        if (reason)
            *reason = why;
    }
    return ok;
}
