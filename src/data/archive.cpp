#include "data/archive.h"

#include "data/crc32.h"
#include "data/rar_format.h"
#include "data/rar_unpack.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kMarkerRar[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint8_t kMarkerUnique[7] = {'U', 'n', 'i', 'q', 'u', 'E', '!'};
constexpr uint32_t kArchiveHeaderSize = 13;

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
    case ArchiveStatus::SplitAcrossVolumes: return "split across volumes";
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

namespace {

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The Unicode form behind the first name: a high byte shared by many characters, then groups of
// four two-bit operations, each opened by a flags byte: 0 low byte alone, 1 low byte with the
// shared high byte, 2 a whole 16-bit unit, 3 a run taken from the first name at the same
// positions, either as it is or shifted by a correction into the shared high byte's page.
std::u16string decodeUnicodeName(const uint8_t* first, size_t firstSize, const uint8_t* coded, size_t codedSize)
{
    constexpr size_t kMaxUnits = 1024;
    std::u16string units;
    size_t at = 0;
    auto take = [&](uint8_t& b) {
        if (at >= codedSize)
            return false;
        b = coded[at++];
        return true;
    };
    uint8_t high = 0;
    if (!take(high))
        return units;
    uint8_t flags = 0;
    int flagBits = 0;
    while (at < codedSize && units.size() < kMaxUnits) {
        if (flagBits == 0) {
            if (!take(flags))
                break;
            flagBits = 8;
        }
        const int op = flags >> 6;
        flags = uint8_t(flags << 2);
        flagBits -= 2;
        uint8_t a = 0;
        uint8_t b = 0;
        if (op == 0 || op == 1) {
            if (!take(a))
                break;
            units += char16_t(op == 0 ? a : a | high << 8);
        } else if (op == 2) {
            if (!take(a) || !take(b))
                break;
            units += char16_t(a | b << 8);
        } else {
            if (!take(a))
                break;
            const bool corrected = (a & 0x80) != 0;
            if (corrected && !take(b))
                break;
            for (size_t n = size_t(a & 0x7F) + 2; n > 0 && units.size() < kMaxUnits; --n) {
                const size_t pos = units.size();
                const uint8_t c = pos < firstSize ? first[pos] : 0;
                units += corrected ? char16_t(uint8_t(c + b) | high << 8) : char16_t(c);
            }
        }
    }
    const size_t end = units.find(u'\0');
    if (end != std::u16string::npos)
        units.resize(end);
    return units;
}

}  // namespace

std::string entryDisplayName(const ArchiveSpan& archive, const ArchiveEntry& entry)
{
    if (!(entry.flags & kEntryUnicodeName))
        return entry.name;
    // The whole name field, as far as the header and the archive hold it.
    const uint64_t from = uint64_t(entry.blockStart) + kFileHeaderSize;
    uint64_t size = entry.nameSize;
    if (kFileHeaderSize + size > entry.headerSize)
        size = entry.headerSize > kFileHeaderSize ? entry.headerSize - kFileHeaderSize : 0;
    if (archive.base == nullptr || from > archive.size || size > archive.size - from)
        return entry.name;
    const uint8_t* field = archive.base + from;
    const auto* zero = static_cast<const uint8_t*>(std::memchr(field, 0, size_t(size)));
    if (zero == nullptr)
        return std::string(reinterpret_cast<const char*>(field), size_t(size));  // already UTF-8
    const size_t firstSize = size_t(zero - field);
    const std::u16string units = decodeUnicodeName(field, firstSize, zero + 1, size_t(size) - firstSize - 1);
    if (units.empty())
        return entry.name;
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;  // half of a pair
        appendUtf8(out, c);
    }
    return out;
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
        blockOffset_ = blockStart;
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
    // A directory holds nothing, whatever its method byte says; archivers write them with their
    // compression method and zero sizes, and they never touch the decoder's state.
    const bool directory = entry.isDirectory();
    // Stored bytes never touch the decoder's state either: passing over one costs nothing.
    if (!wantOutput && (directory || entry.method == kMethodStored))
        return ArchiveStatus::Ok;
    if (entry.versionNeeded < 13 || entry.versionNeeded > kUnpackVersion)
        return ArchiveStatus::UnsupportedVersion;
    if (directory && entry.unpackedSize != 0)
        return ArchiveStatus::Corrupt;
    if (entry.isSplit())
        return ArchiveStatus::SplitAcrossVolumes;
    if (!directory && (entry.flags & kEntryEncrypted))
        return ArchiveStatus::Encrypted;
    if (!directory && (entry.method < kMethodStored || entry.method > 0x35))
        return ArchiveStatus::UnsupportedMethod;
    const bool stored = directory || entry.method == kMethodStored;
    if (!stored && entry.versionNeeded != kUnpackVersion)
        return ArchiveStatus::UnsupportedVersion;
    if (entry.unpackedSize > kMaxEntrySize)
        return ArchiveStatus::TooLarge;
    const uint32_t packed = entry.hasData() && !directory ? entry.packedSize : 0;
    if (uint64_t(entry.dataStart()) + packed > span_.size)
        return ArchiveStatus::Corrupt;
    // Sizes the packed bytes cannot hold are refused before the output is allocated for them.
    if (stored ? packed < entry.unpackedSize : entry.unpackedSize > rar20::maxCodedBytes(packed))
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
    if (stored) {
        // A stored entry is its own bytes (a cut-short one was refused above).
        if (out != nullptr && entry.unpackedSize > 0) {
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
        else if (!directory && crc32(out, entry.unpackedSize) != entry.fileCrc)
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
                         ArchiveStatus* why, ArchiveEntry* found)
{
    *outData = nullptr;
    *outSize = 0;
    ArchiveStatus status = ArchiveStatus::NotFound;
    ArchiveReader reader;
    if (!reader.begin(archive)) {
        status = reader.status();
    } else {
        // A compressed entry that could not be decoded breaks the solid stream for every entry
        // that continues it; stored entries and the start of a new stream are still reached.
        ArchiveStatus broken = ArchiveStatus::Ok;
        ArchiveEntry brokenAt;
        ArchiveEntry entry;
        while (reader.next(entry)) {
            const bool match = namesEqual(path, entry.name);
            if (!match && !reader.solid())
                continue;
            const bool continuesStream = (entry.flags & kEntrySolid) != 0 && !entry.isDirectory() &&
                                         entry.method != kMethodStored;
            if (broken != ArchiveStatus::Ok && continuesStream) {
                if (!match)
                    continue;
                status = broken;
                if (found != nullptr)
                    *found = brokenAt;
                break;
            }
            uint8_t* data = nullptr;
            uint32_t size = 0;
            status = reader.extract(entry, match, &data, &size);
            if (found != nullptr && match)
                *found = entry;
            if (match) {
                if (status == ArchiveStatus::Ok) {
                    *outData = data;
                    *outSize = size;
                }
                break;
            }
            if (status != ArchiveStatus::Ok) {
                broken = status;
                brokenAt = entry;
            } else if (entry.method != kMethodStored && !entry.isDirectory()) {
                broken = ArchiveStatus::Ok;  // a whole entry: the stream is in step again
            }
            status = ArchiveStatus::NotFound;
        }
    }
    if (why != nullptr)
        *why = status;
    return status == ArchiveStatus::Ok;
}
