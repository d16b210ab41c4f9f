#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

// Little-endian reads from a byte span that never run past its end: a short read fails and leaves
// the reader where it was, so loaders check sizes once and then read without fear.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t remaining() const { return bytes_.size() - at_; }
    size_t position() const { return at_; }
    bool skip(size_t n)
    {
        if (n > remaining())
            return false;
        at_ += n;
        return true;
    }

    bool u8(uint8_t& v)
    {
        if (remaining() < 1)
            return false;
        v = bytes_[at_++];
        return true;
    }
    bool u16(uint16_t& v)
    {
        if (remaining() < 2)
            return false;
        v = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }
    bool u32(uint32_t& v)
    {
        if (remaining() < 4)
            return false;
        v = static_cast<uint32_t>(bytes_[at_]) | static_cast<uint32_t>(bytes_[at_ + 1]) << 8 |
            static_cast<uint32_t>(bytes_[at_ + 2]) << 16 | static_cast<uint32_t>(bytes_[at_ + 3]) << 24;
        at_ += 4;
        return true;
    }
    bool bytes(uint8_t* out, size_t n)
    {
        if (n > remaining())
            return false;
        if (n)
            std::memcpy(out, bytes_.data() + at_, n);
        at_ += n;
        return true;
    }
    // n little-endian 32-bit words (floats or unsigned) in one copy.
    template <typename T>
    bool words(T* out, size_t n)
    {
        static_assert(sizeof(T) == 4);
        if (n > remaining() / 4)
            return false;
        if constexpr (std::endian::native == std::endian::little) {
            if (n)
                std::memcpy(out, bytes_.data() + at_, n * 4);
            at_ += n * 4;
        } else {
            for (size_t i = 0; i < n; ++i) {
                uint32_t w = 0;
                u32(w);
                std::memcpy(out + i, &w, 4);
            }
        }
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};
