#include "data/archive.h"

#include "data/crc32.h"
#include "data/rar_unpack.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kMarkerRar[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint8_t kMarkerUnique[7] = {'U', 'n', 'i', 'q', 'u', 'E', '!'};
constexpr uint32_t kArchiveHeaderSize = 13;
constexpr uint32_t kFileHeaderSize = 32;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Moves the span to an absolute position; past the end it parks at the end so every later read fails.
void seekSpan(ArchiveSpan& span, uint64_t to) { span.offset = to > span.size ? span.size : uint32_t(to); }

uint8_t foldNameChar(uint8_t c)
{
    if (c == '\\' || c == '/')
        return '_';
    if (c >= 'a' && c <= 'z')
        return uint8_t(c - 'a' + 'A');
    return c;
}

}  // namespace

uint32_t ArchiveSpan::read(void* dst, uint32_t n)
{
    if (n == 0 || base == nullptr || offset > size || n > size - offset)
        return 0;
    std::memcpy(dst, base + offset, n);
    offset += n;
    return n;
}

const char* describeArchiveStatus(ArchiveStatus status)
{
    switch (status) {
    case ArchiveStatus::Ok: return "ok";
    case ArchiveStatus::BadMarker: return "not a RAR 2.0 archive (unknown marker)";
    case ArchiveStatus::ShortHeader: return "corrupt archive header";
    case ArchiveStatus::NotFound: return "not found";
    case ArchiveStatus::UnsupportedVersion: return "unsupported version";
    case ArchiveStatus::UnsupportedMethod: return "unsupported method";
    case ArchiveStatus::Encrypted: return "encrypted";
    case ArchiveStatus::TooLarge: return "unpacked size beyond the 256 MiB limit";
    case ArchiveStatus::Corrupt: return "corrupt";
    case ArchiveStatus::CrcMismatch: return "CRC mismatch";
    case ArchiveStatus::OutOfMemory: return "out of memory";
    }
    return "unknown";
}

bool namesEqual(const char* a, const char* b)
{
    const auto* x = reinterpret_cast<const uint8_t*>(a);
    const auto* y = reinterpret_cast<const uint8_t*>(b);
    for (;; ++x, ++y) {
        if (foldNameChar(*x) != foldNameChar(*y))
            return false;
        if (*x == 0)
            return true;
    }
}

ArchiveReader::ArchiveReader() = default;
ArchiveReader::~ArchiveReader() = default;

const UnpackCounters* ArchiveReader::counters() const { return unpack_ ? &unpackCounters(*unpack_) : nullptr; }

bool ArchiveReader::begin(const ArchiveSpan& archive)
{
    span_ = archive;
    archiveFlags_ = 0;
    uint8_t marker[7];
    if (span_.read(marker, 7) != 7 ||
        (std::memcmp(marker, kMarkerRar, 7) != 0 && std::memcmp(marker, kMarkerUnique, 7) != 0)) {
        status_ = ArchiveStatus::BadMarker;
        return false;
    }
    const uint32_t headerStart = span_.offset;
    uint8_t header[kArchiveHeaderSize];
    if (span_.read(header, kArchiveHeaderSize) != kArchiveHeaderSize) {
        status_ = ArchiveStatus::ShortHeader;
        return false;
    }
    archiveFlags_ = le16(header + 3);
    const uint16_t headerSize = le16(header + 5);
    // A size below the fixed part would move the walk backwards into the header just read.
    if (headerSize < kArchiveHeaderSize) {
        status_ = ArchiveStatus::ShortHeader;
        return false;
    }
    seekSpan(span_, uint64_t(headerStart) + headerSize);
    status_ = ArchiveStatus::Ok;
    return true;
}

bool ArchiveReader::next(ArchiveEntry& entry)
{
    for (;;) {
        const uint32_t blockStart = span_.offset;
        uint8_t h[kFileHeaderSize];
        if (span_.read(h, kFileHeaderSize) != kFileHeaderSize)
            return false;
        entry = ArchiveEntry{};
        entry.headerCrc = le16(h + 0);
        entry.type = h[2];
        entry.flags = le16(h + 3);
        entry.headerSize = le16(h + 5);
        entry.packedSize = le32(h + 7);
        entry.unpackedSize = le32(h + 11);
        entry.hostSystem = h[15];
        entry.fileCrc = le32(h + 16);
        entry.fileTime = le32(h + 20);
        entry.versionNeeded = h[24];
        entry.method = h[25];
        entry.nameSize = le16(h + 26);
        entry.attributes = le32(h + 28);
        entry.blockStart = blockStart;
        if (entry.headerSize < 7)
            return false;
        entry.nextBlock = uint64_t(blockStart) + entry.headerSize + (entry.hasData() ? entry.packedSize : 0);
        if (entry.nextBlock <= blockStart)
            return false;
        if (entry.type == kBlockSub)
            return false;
        if (entry.type != kBlockFile) {
            seekSpan(span_, entry.nextBlock);
            continue;
        }
        // The name lies inside the header; one that runs past the header's own size is not read.
        uint32_t nameBytes = entry.nameSize < 259 ? entry.nameSize : 259;
        if (kFileHeaderSize + nameBytes > entry.headerSize)
            nameBytes = entry.headerSize > kFileHeaderSize ? entry.headerSize - kFileHeaderSize : 0;
        if (nameBytes > 0 && span_.read(entry.name, nameBytes) != nameBytes)
            nameBytes = 0;
        entry.name[nameBytes] = 0;
        seekSpan(span_, entry.nextBlock);
        return true;
    }
}

ArchiveStatus ArchiveReader::extract(const ArchiveEntry& entry, bool wantOutput, uint8_t** outData, uint32_t* outSize)
{
    *outData = nullptr;
    *outSize = 0;
    if (entry.versionNeeded < 13 || entry.versionNeeded > 20)
        return ArchiveStatus::UnsupportedVersion;
    if (entry.flags & kEntryEncrypted)
        return ArchiveStatus::Encrypted;
    if (entry.method < kMethodStored || entry.method > 0x35)
        return ArchiveStatus::UnsupportedMethod;
    if (entry.unpackedSize > kMaxEntrySize)
        return ArchiveStatus::TooLarge;
    const uint32_t packed = entry.hasData() ? entry.packedSize : 0;
    if (entry.method == kMethodStored && !wantOutput)
        return ArchiveStatus::Ok;  // nothing to keep: stored bytes never touch the decoder's state
    if (uint64_t(entry.dataStart()) + packed > span_.size)
        return ArchiveStatus::Corrupt;

    uint8_t* out = nullptr;
    if (wantOutput) {
        // One spare byte so an empty entry still has a buffer to hand over.
        out = static_cast<uint8_t*>(std::malloc(size_t(entry.unpackedSize) + 1));
        if (out == nullptr)
            return ArchiveStatus::OutOfMemory;
    }

    ArchiveStatus result = ArchiveStatus::Ok;
    uint32_t delivered = 0;
    if (entry.method == kMethodStored) {
        // A stored entry is its own bytes; fewer packed than unpacked bytes means it was cut short.
        if (packed < entry.unpackedSize)
            result = ArchiveStatus::Corrupt;
        else if (out != nullptr && entry.unpackedSize > 0) {
            std::memcpy(out, span_.base + entry.dataStart(), entry.unpackedSize);
            delivered = entry.unpackedSize;
        }
    } else {
        if (!unpack_) {
            unpack_ = createUnpackState();
            if (!unpack_)
                result = ArchiveStatus::OutOfMemory;
        }
        if (result == ArchiveStatus::Ok) {
            ArchiveSpan data{span_.base, entry.dataStart() + packed, entry.dataStart()};
            const bool solidEntry = (entry.flags & kEntrySolid) != 0;
            if (!unpackEntry(*unpack_, data, packed, entry.unpackedSize, solidEntry, out, &delivered))
                result = ArchiveStatus::Corrupt;
        }
    }

    if (result == ArchiveStatus::Ok && out != nullptr) {
        if (delivered != entry.unpackedSize)
            result = ArchiveStatus::Corrupt;
        else if (crc32(out, entry.unpackedSize) != entry.fileCrc)
            result = ArchiveStatus::CrcMismatch;
    }
    if (result != ArchiveStatus::Ok) {
        std::free(out);
        return result;
    }
    *outData = out;
    *outSize = delivered;
    return ArchiveStatus::Ok;
}

bool extractArchiveEntry(ArchiveSpan archive, const char* path, uint8_t** outData, uint32_t* outSize,
                         ArchiveStatus* why)
{
    *outData = nullptr;
    *outSize = 0;
    ArchiveStatus status = ArchiveStatus::NotFound;
    ArchiveReader reader;
    if (!reader.begin(archive)) {
        status = reader.status();
    } else {
        ArchiveEntry entry;
        while (reader.next(entry)) {
            const bool match = namesEqual(path, entry.name);
            if (!match && !reader.solid())
                continue;
            uint8_t* data = nullptr;
            uint32_t size = 0;
            status = reader.extract(entry, match, &data, &size);
            if (match) {
                if (status == ArchiveStatus::Ok) {
                    *outData = data;
                    *outSize = size;
                }
                break;
            }
            if (status != ArchiveStatus::Ok)
                break;  // a solid chain broken before the wanted entry cannot be decoded past
            status = ArchiveStatus::NotFound;
        }
    }
    if (why != nullptr)
        *why = status;
    return status == ArchiveStatus::Ok;
}
