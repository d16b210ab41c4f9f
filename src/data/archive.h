#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Reading the RAR 2.0 archive the data files live in. Every multi-byte number is little-endian.

// The archive as the extraction sees it: read-only bytes and a read offset.
struct ArchiveSpan {
    const uint8_t* base = nullptr;
    uint32_t size = 0;
    uint32_t offset = 0;

    // Copies n bytes at the offset and advances past them. Succeeds (yielding n) only when n > 0 and
    // offset + n <= size; otherwise yields 0 and moves nothing.
    uint32_t read(void* dst, uint32_t n);
    uint32_t remaining() const { return offset < size ? size - offset : 0; }
};

// Why an extraction failed; rartool prints these, DataFile::open only looks at success.
enum class ArchiveStatus {
    Ok,
    BadMarker,           // not an archive, or an old-format or unknown marker
    ShortHeader,         // the archive header is cut short or declares a size below 13
    NotFound,            // no entry of that name before the end (or before a sub-block)
    UnsupportedVersion,  // versionNeeded outside 13..20, or a compressed entry not of version 20
    UnsupportedMethod,   // method byte outside 0x30..0x35
    Encrypted,
    SplitAcrossVolumes,  // the entry starts in an earlier volume or goes on in a later one
    TooLarge,            // unpacked size beyond kMaxEntrySize
    Corrupt,             // data area past the archive's end, or a stream that does not decode
    CrcMismatch,
    OutOfMemory,
};
const char* describeArchiveStatus(ArchiveStatus status);

// Entries are extracted whole into memory; nothing the screensaver carries comes near this, and it
// keeps a forged size field from asking for gigabytes.
constexpr uint32_t kMaxEntrySize = 256u << 20;

constexpr uint8_t kBlockFile = 0x74;
constexpr uint8_t kBlockSub = 0x77;
// The fixed part every block header is read with.
constexpr uint32_t kFileHeaderSize = 32;
constexpr uint16_t kArchiveSolid = 0x0008;
constexpr uint16_t kEntryHasData = 0x8000;
constexpr uint16_t kEntrySplitBefore = 0x0001;
constexpr uint16_t kEntrySplitAfter = 0x0002;
constexpr uint16_t kEntryEncrypted = 0x0004;
constexpr uint16_t kEntrySolid = 0x0010;
constexpr uint16_t kEntryDirectoryMask = 0x00E0;
constexpr uint16_t kEntryUnicodeName = 0x0200;
constexpr uint8_t kMethodStored = 0x30;
// The one compressed format the decoder knows; 1.5's and 2.9's are other algorithms.
constexpr uint8_t kUnpackVersion = 20;

// One block read with the file-header layout, plus where it sits in the archive.
struct ArchiveEntry {
    uint16_t headerCrc = 0;
    uint8_t type = 0;
    uint16_t flags = 0;
    uint16_t headerSize = 0;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint8_t hostSystem = 0;
    uint32_t fileCrc = 0;
    uint32_t fileTime = 0;
    uint8_t versionNeeded = 0;
    uint8_t method = 0;
    uint16_t nameSize = 0;
    uint32_t attributes = 0;
    char name[260] = {};  // clipped to 259 bytes; a Unicode name ends at its NUL, leaving the ASCII form

    uint32_t blockStart = 0;
    uint64_t nextBlock = 0;  // may lie past the archive's end; the walk then stops there

    bool isDirectory() const { return (flags & kEntryDirectoryMask) == kEntryDirectoryMask; }
    bool isSplit() const { return (flags & (kEntrySplitBefore | kEntrySplitAfter)) != 0; }
    bool hasData() const { return (flags & kEntryHasData) != 0; }
    uint32_t dataStart() const { return blockStart + headerSize; }
};

struct UnpackState;
struct UnpackCounters;
struct UnpackStateDeleter {
    void operator()(UnpackState* state) const;
};
using UnpackStatePtr = std::unique_ptr<UnpackState, UnpackStateDeleter>;

// Walks an archive entry by entry and extracts the entries asked for. In a solid archive every
// compressed entry has to be decoded in order, so extract() must be called for each entry before
// the wanted one (with output off); extractArchiveEntry does exactly that.
class ArchiveReader {
public:
    ArchiveReader();
    virtual ~ArchiveReader();

    // Reads the marker and the archive header. On failure status() says why.
    bool begin(const ArchiveSpan& archive);
    bool solid() const { return (archiveFlags_ & kArchiveSolid) != 0; }

    // The next file entry (blocks of other types are skipped); false at the end, at a sub-block or
    // at a header that cannot be right (too short, or pointing backwards).
    bool next(ArchiveEntry& entry);

    // Extracts the entry next() just gave. With output, delivers a malloc'ed buffer of exactly
    // unpackedSize bytes whose CRC-32 matched (free() it); without, only decodes to keep a solid
    // archive's state. Reads the entry's data at its own offset; the walk is not disturbed.
    ArchiveStatus extract(const ArchiveEntry& entry, bool wantOutput, uint8_t** outData, uint32_t* outSize);

    ArchiveStatus status() const { return status_; }
    // Where the block the last next() looked at begins. After next() returned false: the archive's
    // size when the walk ran to its end, else the sub-block or unreadable header it stopped at.
    uint32_t blockOffset() const { return blockOffset_; }
    // What the decoder met so far in this walk; null before the first compressed entry.
    const UnpackCounters* counters() const;

private:
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    ArchiveSpan span_;
    uint16_t archiveFlags_ = 0;
    ArchiveStatus status_ = ArchiveStatus::Ok;
    uint32_t blockOffset_ = 0;
    UnpackStatePtr unpack_;
};

// Extracts the entry whose name matches path (namesEqual) into a malloc'ed buffer of its unpacked
// size, checked against its CRC-32. On failure *outData is null and *outSize 0; *why (optional)
// tells the reason and *found (optional) holds the entry it concerns, when there is one.
bool extractArchiveEntry(ArchiveSpan archive, const char* path, uint8_t** outData, uint32_t* outSize,
                         ArchiveStatus* why = nullptr, ArchiveEntry* found = nullptr);

// The entry's name in UTF-8 for people to read: the Unicode form an archiver stores behind the
// first name (flag 0x0200), else the first name itself. Lookups keep to the first name.
std::string entryDisplayName(const ArchiveSpan& archive, const ArchiveEntry& entry);

// Archive names compare without regard to ASCII case, and '\\', '/' and '_' all count as the same
// character, so "textures/CELL.jpg" finds "textures\\cell.JPG".
bool namesEqual(const char* a, const char* b);
