#include "ogg_samples.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

std::vector<float> testChord(int channels, int rate, double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<float> samples(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double v = 0.3 * std::cos(2 * M_PI * (220.0 + 55.0 * c) * t) +
                             0.2 * std::cos(2 * M_PI * 330.0 * t + 0.5 * c) + 0.1 * std::sin(2 * M_PI * 3.0 * t);
            samples[i * channels + c] = static_cast<float>(v);
        }
    }
    return samples;
}

std::vector<uint8_t> encodeOgg(const std::vector<float>& interleaved, int channels, int rate)
{
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);

    auto writePage = [&out](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0)
        writePage(page);

    const size_t frames = interleaved.size() / static_cast<size_t>(channels);
    size_t done = 0;
    bool finished = false;
    while (!finished) {
        const size_t count = std::min<size_t>(1024, frames - done);
        if (count == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            for (size_t i = 0; i < count; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = interleaved[(done + i) * channels + c];
            vorbis_analysis_wrote(&dsp, static_cast<int>(count));
            done += count;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    writePage(page);
                    if (ogg_page_eos(&page))
                        finished = true;
                }
            }
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

namespace {

struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t position;
};

size_t readBytes(void* dst, size_t size, size_t count, void* source)
{
    Reader& reader = *static_cast<Reader*>(source);
    const size_t left = reader.bytes->size() - reader.position;
    const size_t items = size ? std::min(count, left / size) : 0;
    std::memcpy(dst, reader.bytes->data() + reader.position, items * size);
    reader.position += items * size;
    return items;
}

int seekBytes(void* source, ogg_int64_t offset, int whence)
{
    Reader& reader = *static_cast<Reader*>(source);
    const ogg_int64_t base = whence == SEEK_SET ? 0
                             : whence == SEEK_CUR ? static_cast<ogg_int64_t>(reader.position)
                                                  : static_cast<ogg_int64_t>(reader.bytes->size());
    if (base + offset < 0 || base + offset > static_cast<ogg_int64_t>(reader.bytes->size()))
        return -1;
    reader.position = static_cast<size_t>(base + offset);
    return 0;
}

long tellBytes(void* source) { return static_cast<long>(static_cast<Reader*>(source)->position); }

}  // namespace

std::vector<int16_t> decodeOgg(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> samples;
    Reader reader{&bytes, 0};
    OggVorbis_File file;
    if (ov_open_callbacks(&reader, &file, nullptr, 0, {readBytes, seekBytes, nullptr, tellBytes}) != 0)
        return samples;
    char buffer[8192];
    int link = 0;
    for (;;) {
        const long got = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &link);
        if (got == OV_HOLE)
            continue;
        if (got <= 0)
            break;
        const int16_t* pcm = reinterpret_cast<const int16_t*>(buffer);
        samples.insert(samples.end(), pcm, pcm + got / 2);
    }
    ov_clear(&file);
    return samples;
}
