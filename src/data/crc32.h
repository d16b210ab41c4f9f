#pragma once

#include <cstddef>
#include <cstdint>

// IEEE 802.3 CRC-32 (reflected polynomial 0xEDB88320), as the archive stores it for every entry.
// crc32Update works on the running (uncomplemented) value so a file can be checked in pieces:
//   crc32Final(crc32Update(kCrc32Initial, a, n)) == crc32(a, n)
constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;

uint32_t crc32Update(uint32_t running, const void* bytes, size_t count);
inline uint32_t crc32Final(uint32_t running) { return ~running; }
inline uint32_t crc32(const void* bytes, size_t count)
{
    return crc32Final(crc32Update(kCrc32Initial, bytes, count));
}
