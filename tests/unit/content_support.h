#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/data_file.h"

// Reads one entry of the embedded archive through the project's own reader.
inline std::vector<uint8_t> archiveEntry(const std::string& path)
{
    DataFile file;
    if (!file.open(path.c_str())) return {};
    return {file.data, file.data + file.size};
}

// Little-endian reader over a byte vector that records whether it ran short.
class Cursor {
public:
    explicit Cursor(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint32_t u32()
    {
        uint32_t v = 0;
        take(&v, 4);
        return v;
    }
    uint16_t u16()
    {
        uint16_t v = 0;
        take(&v, 2);
        return v;
    }
    uint8_t u8()
    {
        uint8_t v = 0;
        take(&v, 1);
        return v;
    }
    float f32()
    {
        float v = 0;
        take(&v, 4);
        return v;
    }
    void skip(size_t n) { pos_ += n; }
    size_t position() const { return pos_; }
    bool overran() const { return pos_ > bytes_.size(); }
    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    void take(void* dst, size_t n)
    {
        if (pos_ + n <= bytes_.size()) std::memcpy(dst, bytes_.data() + pos_, n);
        pos_ += n;
    }
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};
