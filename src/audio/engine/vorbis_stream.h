#pragma once

#include <vorbis/vorbisfile.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/engine/sample_converter.h"

// One Ogg Vorbis stream decoded straight from the caller's bytes (never copied), delivered as
// interleaved 16-bit stereo at the output rate. After `open` only the audio thread touches it.
class VorbisStream {
public:
    VorbisStream();
    virtual ~VorbisStream();
    VorbisStream(const VorbisStream&) = delete;
    VorbisStream& operator=(const VorbisStream&) = delete;

    // False (with the reason in `error`, an AudioError) when the bytes are not a playable stream.
    bool open(const uint8_t* data, size_t size, int outputRate, uint32_t& error);
    void close();

    // Writes up to `frames` stereo frames; fewer only when the stream has ended (not looping).
    // Decodes ahead of the request so the next call usually finds its data ready.
    int render(int16_t* out, int frames, bool looping);
    // Back to the first sample.
    bool rewind();
    bool ended() const { return ended_; }
    int channels() const { return channels_; }
    long rate() const { return rate_; }

private:
    struct Memory {
        const uint8_t* data = nullptr;
        size_t size = 0;
        size_t position = 0;
    };
    static size_t readBytes(void* dst, size_t size, size_t count, void* source);
    static int seekBytes(void* source, ogg_int64_t offset, int whence);
    static long tellBytes(void* source);

    // Appends decoded frames to the buffer; false at the end of the stream.
    bool decodeMore(bool looping);
    int decodeChunk(int16_t* out, int maxFrames, bool loopFollows);

    Memory memory_;
    OggVorbis_File file_{};
    bool isOpen_ = false;
    bool ended_ = false;
    int channels_ = 0;
    long rate_ = 0;
    bool converting_ = false;               // the file is not already stereo at the output rate
    bool canLoop_ = false;                  // the file has samples to start again from
    SampleConverter converter_;
    std::vector<int16_t> buffer_;           // decoded stereo frames waiting to be played
    size_t begin_ = 0, end_ = 0;            // in samples
    std::vector<int16_t> scratch_;          // the file's own layout before conversion
};
