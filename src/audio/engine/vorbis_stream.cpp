#include "audio/engine/vorbis_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "audio/engine/audio_engine.h"

namespace {

constexpr size_t kBufferFrames = 16384;
constexpr size_t kAheadFrames = 2048;  // kept decoded beyond each request
constexpr int kChunkFrames = 4096;     // most one read may add
constexpr int kMaxChannels = 8;
constexpr int kEnd = -1;
constexpr int kBigEndian = std::endian::native == std::endian::big ? 1 : 0;

}  // namespace

VorbisStream::VorbisStream() = default;

VorbisStream::~VorbisStream() { close(); }

size_t VorbisStream::readBytes(void* dst, size_t size, size_t count, void* source)
{
    Memory& memory = *static_cast<Memory*>(source);
    if (size == 0 || memory.position >= memory.size)
        return 0;
    const size_t items = std::min(count, (memory.size - memory.position) / size);
    std::memcpy(dst, memory.data + memory.position, items * size);
    memory.position += items * size;
    return items;
}

int VorbisStream::seekBytes(void* source, ogg_int64_t offset, int whence)
{
    Memory& memory = *static_cast<Memory*>(source);
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<ogg_int64_t>(memory.position);
    else if (whence == SEEK_END)
        base = static_cast<ogg_int64_t>(memory.size);
    else if (whence != SEEK_SET)
        return -1;
    const ogg_int64_t target = base + offset;
    if (target < 0 || target > static_cast<ogg_int64_t>(memory.size))
        return -1;
    memory.position = static_cast<size_t>(target);
    return 0;
}

long VorbisStream::tellBytes(void* source) { return static_cast<long>(static_cast<Memory*>(source)->position); }

bool VorbisStream::open(const uint8_t* data, size_t size, int outputRate, uint32_t& error)
{
    close();
    memory_ = {data, size, 0};
    const ov_callbacks callbacks{readBytes, seekBytes, nullptr, tellBytes};
    // On failure the library clears the handle itself.
    if (ov_open_callbacks(&memory_, &file_, nullptr, 0, callbacks) != 0) {
        error = kAudioErrorFormat;
        return false;
    }
    isOpen_ = true;
    const vorbis_info* first = ov_info(&file_, 0);
    if (!first || first->channels < 1 || first->channels > kMaxChannels || first->rate <= 0) {
        close();
        error = kAudioErrorFormat;
        return false;
    }
    // A chain whose links change layout would need a new converter mid-play; refuse it up front.
    for (long link = 1; link < ov_streams(&file_); ++link) {
        const vorbis_info* info = ov_info(&file_, static_cast<int>(link));
        if (!info || info->channels != first->channels || info->rate != first->rate) {
            close();
            error = kAudioErrorFormat;
            return false;
        }
    }
    channels_ = first->channels;
    rate_ = first->rate;
    converting_ = channels_ != 2 || rate_ != outputRate;
    // A stream with no samples at all cannot loop.
    canLoop_ = ov_pcm_total(&file_, -1) > 0;
    if (converting_) {
        if (!converter_.setup(channels_, static_cast<int>(rate_), outputRate)) {
            close();
            error = kAudioErrorFormat;
            return false;
        }
        scratch_.assign(static_cast<size_t>(kChunkFrames) * static_cast<size_t>(channels_), 0);
    }
    buffer_.assign(kBufferFrames * 2, 0);
    begin_ = end_ = 0;
    ended_ = false;
    error = kAudioOk;
    return true;
}

void VorbisStream::close()
{
    if (isOpen_)
        ov_clear(&file_);
    isOpen_ = false;
    converting_ = false;
    canLoop_ = false;
    converter_.clear();
    begin_ = end_ = 0;
    ended_ = true;
}

// Frames written to `out`; 0 when the decoder made progress without output (a hole in the data,
// or the converter still filling its filter); kEnd at the end of the data or on a broken stream.
// `loopFollows`: the first sample comes next, so the converter's last frames wait for it.
int VorbisStream::decodeChunk(int16_t* out, int maxFrames, bool loopFollows)
{
    int link = 0;
    if (!converting_) {
        const long bytes = ov_read(&file_, reinterpret_cast<char*>(out), maxFrames * 4, kBigEndian, 2, 1, &link);
        if (bytes > 0)
            return static_cast<int>(bytes / 4);
        return bytes == OV_HOLE ? 0 : kEnd;
    }
    int got = converter_.get(out, maxFrames);
    if (got > 0)
        return got;
    const int inFrames = std::min(kChunkFrames, maxFrames);
    const long bytes = ov_read(&file_, reinterpret_cast<char*>(scratch_.data()), inFrames * channels_ * 2,
                               kBigEndian, 2, 1, &link);
    if (bytes == OV_HOLE)
        return 0;
    if (bytes <= 0) {
        if (loopFollows)
            return kEnd;
        // The last frames wait for successors that will not come: let them out before the end.
        converter_.flush();
        got = converter_.get(out, maxFrames);
        return got > 0 ? got : kEnd;
    }
    converter_.put(scratch_.data(), static_cast<int>(bytes / (channels_ * 2)));
    return converter_.get(out, maxFrames);
}

bool VorbisStream::decodeMore(bool looping)
{
    if (ended_)
        return false;
    if (begin_ > 0 && buffer_.size() - end_ < static_cast<size_t>(kChunkFrames) * 2) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, (end_ - begin_) * sizeof(int16_t));
        end_ -= begin_;
        begin_ = 0;
    }
    const int room = static_cast<int>(std::min<size_t>((buffer_.size() - end_) / 2, kChunkFrames));
    if (room <= 0)
        return false;
    const bool loops = looping && canLoop_;
    const int got = decodeChunk(buffer_.data() + end_, room, loops);
    if (got > 0) {
        end_ += static_cast<size_t>(got) * 2;
        return true;
    }
    if (got == 0)
        return true;
    // End of the data: a looping stream carries on from its first sample in the same buffer, so
    // the seam has no gap.
    if (loops && ov_pcm_seek(&file_, 0) == 0)
        return true;
    ended_ = true;
    return false;
}

int VorbisStream::render(int16_t* out, int frames, bool looping)
{
    if (!isOpen_)
        return 0;
    int produced = 0;
    int idle = 0;  // reads that brought nothing; bounds the work on broken data
    while (produced < frames) {
        if (begin_ == end_) {
            const size_t before = end_;
            if (!decodeMore(looping))
                break;
            if (end_ == before && ++idle > 64)
                break;
            continue;
        }
        const size_t count = std::min((end_ - begin_) / 2, static_cast<size_t>(frames - produced));
        std::memcpy(out + produced * 2, buffer_.data() + begin_, count * 2 * sizeof(int16_t));
        begin_ += count * 2;
        produced += static_cast<int>(count);
    }
    idle = 0;
    while ((end_ - begin_) / 2 < kAheadFrames && !ended_ && idle < 64) {
        const size_t before = end_;
        if (!decodeMore(looping))
            break;
        if (end_ == before)
            ++idle;
    }
    return produced;
}

bool VorbisStream::rewind()
{
    if (!isOpen_ || ov_pcm_seek(&file_, 0) != 0)
        return false;
    converter_.clear();
    begin_ = end_ = 0;
    ended_ = false;
    return true;
}
