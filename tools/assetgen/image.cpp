#include "image.h"

#include <algorithm>
#include <cstdio>
#include <csetjmp>

#include <jpeglib.h>
#include <png.h>

namespace assetgen {

uint8_t toByte(float v)
{
    float s = v * 255.0f + 0.5f;
    if (!(s > 0.0f)) return 0;
    if (s >= 255.0f) return 255;
    return static_cast<uint8_t>(s);
}

Rgb Image::sample(double x, double y) const
{
    x = std::clamp(x, 0.0, static_cast<double>(width - 1));
    y = std::clamp(y, 0.0, static_cast<double>(height - 1));
    int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    Rgb top = mix(rgb(x0, y0), rgb(x1, y0), fx);
    Rgb bottom = mix(rgb(x0, y1), rgb(x1, y1), fx);
    return mix(top, bottom, fy);
}

namespace {

struct JpegSink {
    jpeg_destination_mgr mgr;
    Bytes* out;
    uint8_t buffer[16384];
};

void sinkInit(j_compress_ptr cinfo)
{
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    sink->mgr.next_output_byte = sink->buffer;
    sink->mgr.free_in_buffer = sizeof sink->buffer;
}

boolean sinkEmpty(j_compress_ptr cinfo)
{
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    sink->out->insert(sink->out->end(), sink->buffer, sink->buffer + sizeof sink->buffer);
    sink->mgr.next_output_byte = sink->buffer;
    sink->mgr.free_in_buffer = sizeof sink->buffer;
    return TRUE;
}

void sinkTerm(j_compress_ptr cinfo)
{
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    size_t used = sizeof sink->buffer - sink->mgr.free_in_buffer;
    sink->out->insert(sink->out->end(), sink->buffer, sink->buffer + used);
}

}  // namespace

Bytes encodeJpeg(const Image& image, int quality, bool fullChroma)
{
    Bytes out;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    JpegSink sink;
    sink.out = &out;
    sink.mgr.init_destination = sinkInit;
    sink.mgr.empty_output_buffer = sinkEmpty;
    sink.mgr.term_destination = sinkTerm;
    cinfo.dest = &sink.mgr;
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    if (fullChroma) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < image.width; ++x) {
            const float* p = image.at(x, y);
            row[x * 3 + 0] = toByte(p[0]);
            row[x * 3 + 1] = toByte(p[1]);
            row[x * 3 + 2] = toByte(p[2]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return out;
}

Bytes encodeTga32(const Image& image)
{
    ByteWriter w;
    w.u8(0);   // ID length
    w.u8(0);   // no colour map
    w.u8(2);   // true colour, uncompressed
    w.u16(0);
    w.u16(0);
    w.u8(0);
    w.u16(0);  // x origin
    w.u16(0);  // y origin
    w.u16(static_cast<uint16_t>(image.width));
    w.u16(static_cast<uint16_t>(image.height));
    w.u8(32);
    w.u8(0x08);  // 8 alpha bits, bottom-left origin
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x) {
            const float* p = image.at(x, y);
            w.u8(toByte(p[2]));
            w.u8(toByte(p[1]));
            w.u8(toByte(p[0]));
            w.u8(toByte(p[3]));
        }
    return std::move(w.bytes());
}

Bytes encodeBmp24(const Image& image)
{
    uint32_t rowBytes = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(image.height);
    ByteWriter w;
    w.u8('B');
    w.u8('M');
    w.u32(14 + 40 + pixelBytes);
    w.u32(0);
    w.u32(14 + 40);
    w.u32(40);
    w.i32(image.width);
    w.i32(image.height);
    w.u16(1);
    w.u16(24);
    w.u32(0);  // BI_RGB
    w.u32(pixelBytes);
    w.i32(2835);  // 72 dpi
    w.i32(2835);
    w.u32(0);
    w.u32(0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const float* p = image.at(x, y);
            w.u8(toByte(p[2]));
            w.u8(toByte(p[1]));
            w.u8(toByte(p[0]));
        }
        for (uint32_t pad = static_cast<uint32_t>(image.width) * 3; pad < rowBytes; ++pad) w.u8(0);
    }
    return std::move(w.bytes());
}

Bytes encodeIco(const std::vector<Image>& images)
{
    std::vector<Bytes> dibs;
    for (const Image& im : images) {
        ByteWriter d;
        uint32_t maskRow = ((static_cast<uint32_t>(im.width) + 31) / 32) * 4;
        d.u32(40);
        d.i32(im.width);
        d.i32(im.height * 2);  // colour plus mask
        d.u16(1);
        d.u16(32);
        d.u32(0);
        d.u32(static_cast<uint32_t>(im.width * im.height * 4) + maskRow * im.height);
        d.u32(0);
        d.u32(0);
        d.u32(0);
        d.u32(0);
        for (int y = im.height - 1; y >= 0; --y)
            for (int x = 0; x < im.width; ++x) {
                const float* p = im.at(x, y);
                d.u8(toByte(p[2]));
                d.u8(toByte(p[1]));
                d.u8(toByte(p[0]));
                d.u8(toByte(p[3]));
            }
        for (int y = im.height - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskRow, 0);
            for (int x = 0; x < im.width; ++x)
                if (toByte(im.at(x, y)[3]) == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            d.raw(row.data(), row.size());
        }
        dibs.push_back(std::move(d.bytes()));
    }
    ByteWriter w;
    w.u16(0);
    w.u16(1);  // icon
    w.u16(static_cast<uint16_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        w.u8(static_cast<uint8_t>(images[i].width >= 256 ? 0 : images[i].width));
        w.u8(static_cast<uint8_t>(images[i].height >= 256 ? 0 : images[i].height));
        w.u8(0);
        w.u8(0);
        w.u16(1);
        w.u16(32);
        w.u32(static_cast<uint32_t>(dibs[i].size()));
        w.u32(offset);
        offset += static_cast<uint32_t>(dibs[i].size());
    }
    for (const Bytes& d : dibs) w.raw(d.data(), d.size());
    return std::move(w.bytes());
}

namespace {
void pngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}
}  // namespace

Bytes encodePng(const Image& image, bool alpha)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    int channels = alpha ? 4 : 3;
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * channels);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < channels; ++c) row[x * channels + c] = toByte(image.at(x, y)[c]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Image resized(const Image& image, int width, int height)
{
    Image out(width, height);
    double sx = static_cast<double>(image.width) / width, sy = static_cast<double>(image.height) / height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int x0 = static_cast<int>(x * sx), x1 = std::max(x0 + 1, static_cast<int>((x + 1) * sx));
            int y0 = static_cast<int>(y * sy), y1 = std::max(y0 + 1, static_cast<int>((y + 1) * sy));
            float acc[4] = {0, 0, 0, 0};
            float weight = 0;
            for (int yy = y0; yy < std::min(y1, image.height); ++yy)
                for (int xx = x0; xx < std::min(x1, image.width); ++xx) {
                    const float* p = image.at(xx, yy);
                    // Premultiplied, so transparent pixels do not bleed their colour.
                    acc[0] += p[0] * p[3];
                    acc[1] += p[1] * p[3];
                    acc[2] += p[2] * p[3];
                    acc[3] += p[3];
                    weight += 1;
                }
            float* q = out.at(x, y);
            if (acc[3] > 0) {
                q[0] = acc[0] / acc[3];
                q[1] = acc[1] / acc[3];
                q[2] = acc[2] / acc[3];
            }
            q[3] = weight > 0 ? acc[3] / weight : 0;
        }
    return out;
}

void blit(Image& dst, const Image& src, int x, int y)
{
    for (int sy = 0; sy < src.height; ++sy)
        for (int sx = 0; sx < src.width; ++sx) {
            int dx = x + sx, dy = y + sy;
            if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
            const float* s = src.at(sx, sy);
            float* d = dst.at(dx, dy);
            float a = s[3];
            for (int c = 0; c < 3; ++c) d[c] = d[c] * (1 - a) + s[c] * a;
            d[3] = a + d[3] * (1 - a);
        }
}

}  // namespace assetgen
