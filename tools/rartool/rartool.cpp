// rartool: packs, lists, tests and extracts RAR 2.0 archives with the project's own reader and writer.
#include "archive_writer.h"
#include "whole_file.h"

#include "data/archive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: rartool pack OUT.rar DIR [--compress] [--solid]\n"
                 "       rartool list ARCHIVE\n"
                 "       rartool extract ARCHIVE NAME [OUT]\n"
                 "       rartool test ARCHIVE\n");
    return 2;
}

bool writeWholeFile(const std::string& path, const uint8_t* bytes, size_t count)
{
    FILE* f = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = count == 0 || std::fwrite(bytes, 1, count, f) == count;
    if (f != stdout)
        ok = std::fclose(f) == 0 && ok;
    else
        ok = std::fflush(f) == 0 && ok;
    return ok;
}

int pack(int argc, char** argv)
{
    if (argc < 4)
        return usage();
    PackOptions options;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--compress") == 0)
            options.compress = true;
        else if (std::strcmp(argv[i], "--solid") == 0)
            options.solid = true;
        else
            return usage();
    }
    std::vector<PackItem> items;
    std::string error;
    if (!collectPackItems(argv[3], items, error)) {
        std::fprintf(stderr, "rartool: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> archive = writeArchive(items, options);
    if (!writeWholeFile(argv[2], archive.data(), archive.size())) {
        std::fprintf(stderr, "rartool: %s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}

bool loadArchive(const char* path, std::vector<uint8_t>& bytes, ArchiveSpan& span)
{
    std::string why;
    if (!readWholeFile(path, bytes, why)) {
        std::fprintf(stderr, "rartool: %s: %s\n", path, why.c_str());
        return false;
    }
    span = {bytes.data(), uint32_t(bytes.size()), 0};
    return true;
}

// Why an entry is refused, in words that name what the archive asks for.
std::string refusal(const ArchiveEntry& entry, ArchiveStatus status)
{
    char text[160];
    if (status == ArchiveStatus::UnsupportedVersion) {
        std::snprintf(text, sizeof text, "needs unpack version %u.%u; only 2.0 is supported", entry.versionNeeded / 10u,
                      entry.versionNeeded % 10u);
        return text;
    }
    if (status == ArchiveStatus::SplitAcrossVolumes)
        return entry.flags & kEntrySplitBefore ? "split across volumes: begins in an earlier volume"
                                               : "split across volumes: goes on in the next volume";
    return describeArchiveStatus(status);
}

// The walk also ends at a sub-block or at a header it cannot read, and whatever follows is never
// seen: empty when it ran to the archive's end, else what stopped it.
std::string earlyStop(const ArchiveSpan& span, const ArchiveReader& reader)
{
    const uint32_t at = reader.blockOffset();
    if (at >= span.size)
        return {};
    // An end-of-archive block (other archivers write one) is shorter than a file header: when it
    // is what is left, the walk ended where the archive does.
    constexpr uint8_t kBlockEnd = 0x7B;
    const uint32_t left = span.size - at;
    if (left >= 7 && span.base[at + 2] == kBlockEnd) {
        const uint32_t headerSize = uint32_t(span.base[at + 5] | span.base[at + 6] << 8);
        if (headerSize >= 7 && headerSize <= left)
            return {};
    }
    char text[160];
    if (span.size - at < kFileHeaderSize)
        std::snprintf(text, sizeof text, "cut short: the %u bytes at offset %u are not a whole block header",
                      span.size - at, at);
    else if (span.base[at + 2] == kBlockSub)
        std::snprintf(text, sizeof text, "a sub-block at offset %u: the entries after it are not read", at);
    else
        std::snprintf(text, sizeof text, "a damaged block header at offset %u: the entries after it are not read", at);
    return text;
}

int list(int argc, char** argv)
{
    if (argc != 3)
        return usage();
    std::vector<uint8_t> bytes;
    ArchiveSpan span;
    if (!loadArchive(argv[2], bytes, span))
        return 1;
    ArchiveReader reader;
    if (!reader.begin(span)) {
        std::fprintf(stderr, "rartool: %s: %s\n", argv[2], describeArchiveStatus(reader.status()));
        return 1;
    }
    ArchiveEntry entry;
    while (reader.next(entry))
        std::printf("%s %u 0x%02X 0x%04X %u %u %08X\n", entryDisplayName(span, entry).c_str(), entry.versionNeeded,
                    entry.method, entry.flags, entry.packedSize, entry.unpackedSize, entry.fileCrc);
    if (const std::string stop = earlyStop(span, reader); !stop.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "rartool: %s: %s\n", argv[2], stop.c_str());
        return 1;
    }
    return 0;
}

int extract(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return usage();
    std::vector<uint8_t> bytes;
    ArchiveSpan span;
    if (!loadArchive(argv[2], bytes, span))
        return 1;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ArchiveStatus why = ArchiveStatus::Ok;
    ArchiveEntry entry;
    if (!extractArchiveEntry(span, argv[3], &data, &size, &why, &entry)) {
        if (why != ArchiveStatus::NotFound && !namesEqual(argv[3], entry.name))
            std::fprintf(stderr, "%s: not reached: %s, before it in the solid stream: %s\n", argv[3],
                         entryDisplayName(span, entry).c_str(), refusal(entry, why).c_str());
        else
            std::fprintf(stderr, "%s: %s\n", argv[3], refusal(entry, why).c_str());
        return 1;
    }
    std::string out;
    if (argc == 5) {
        out = argv[4];
    } else {
        out = entryDisplayName(span, entry);
        const size_t cut = out.find_last_of("\\/");
        if (cut != std::string::npos)
            out = out.substr(cut + 1);
    }
    const bool written = writeWholeFile(out, data, size);
    std::free(data);
    if (!written) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    return 0;
}

int test(int argc, char** argv)
{
    if (argc != 3)
        return usage();
    std::vector<uint8_t> bytes;
    ArchiveSpan span;
    if (!loadArchive(argv[2], bytes, span))
        return 1;
    ArchiveReader reader;
    if (!reader.begin(span)) {
        std::printf("%s: %s\n", argv[2], describeArchiveStatus(reader.status()));
        std::printf("0 passed, 1 failed\n");
        return 1;
    }
    unsigned passed = 0;
    unsigned failed = 0;
    // A compressed entry left undecoded takes the solid stream's state with it: the entries that
    // continue the stream cannot be decoded, whatever their own bytes hold.
    std::string notReached;
    ArchiveEntry entry;
    while (reader.next(entry)) {
        const bool compressed = !entry.isDirectory() && entry.method != kMethodStored;
        if (!notReached.empty() && compressed && (entry.flags & kEntrySolid) != 0) {
            ++failed;
            std::printf("%s: %s\n", entryDisplayName(span, entry).c_str(), notReached.c_str());
            continue;
        }
        uint8_t* data = nullptr;
        uint32_t size = 0;
        const ArchiveStatus status = reader.extract(entry, true, &data, &size);
        std::free(data);
        if (entry.isDirectory() && status == ArchiveStatus::Ok)
            continue;
        if (status == ArchiveStatus::Ok) {
            ++passed;
        } else {
            ++failed;
            std::printf("%s: %s\n", entryDisplayName(span, entry).c_str(), refusal(entry, status).c_str());
        }
        // A CRC mismatch was decoded to its end; anything else left the stream behind.
        if (reader.solid() && compressed)
            notReached = status == ArchiveStatus::Ok || status == ArchiveStatus::CrcMismatch
                             ? std::string()
                             : "not reached: " + entryDisplayName(span, entry) + ", before it in the solid stream: " +
                                   refusal(entry, status);
    }
    if (const std::string stop = earlyStop(span, reader); !stop.empty()) {
        ++failed;
        std::printf("%s: %s\n", argv[2], stop.c_str());
    }
    std::printf("%u passed, %u failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "pack")
        return pack(argc, argv);
    if (command == "list")
        return list(argc, argv);
    if (command == "extract")
        return extract(argc, argv);
    if (command == "test")
        return test(argc, argv);
    return usage();
}
