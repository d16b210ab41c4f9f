#include "data/crc32.h"

#include <array>

namespace {

// Slicing-by-8: eight bytes per step keeps the check far below the cost of decoding the entry.
struct Crc32Tables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    constexpr Crc32Tables()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

constexpr Crc32Tables kTables;

}  // namespace

uint32_t crc32Update(uint32_t crc, const void* bytes, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    const auto& t = kTables.t;
    while (count >= 8) {
        uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        count -= 8;
    }
    while (count--)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}
