#include "archive_writer.h"

#include "rar_encoder.h"
#include "whole_file.h"

#include "data/archive.h"
#include "data/crc32.h"

#include <algorithm>
#include <filesystem>

namespace {

// A fixed DOS time (2007-01-01 00:00) keeps archives byte-identical from build to build.
constexpr uint32_t kFixedDosTime = (27u << 25) | (1u << 21) | (1u << 16);
constexpr uint8_t kHostSystem = 2;
constexpr uint8_t kVersion = 20;
constexpr uint8_t kMethodCompressed = 0x33;

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// Header CRCs are the low half of the CRC-32 of the header from its type byte on.
void sealHeader(std::vector<uint8_t>& out, size_t start)
{
    const uint32_t crc = crc32(out.data() + start + 2, out.size() - start - 2);
    out[start] = uint8_t(crc);
    out[start + 1] = uint8_t(crc >> 8);
}

void putEntry(std::vector<uint8_t>& out, const std::string& name, uint16_t flags, uint32_t packed,
              uint32_t unpacked, uint32_t crc, uint8_t method, uint32_t attributes)
{
    const size_t start = out.size();
    put16(out, 0);
    out.push_back(kBlockFile);
    put16(out, flags);
    put16(out, uint32_t(32 + name.size()));
    put32(out, packed);
    put32(out, unpacked);
    out.push_back(kHostSystem);
    put32(out, crc);
    put32(out, kFixedDosTime);
    out.push_back(kVersion);
    out.push_back(method);
    put16(out, uint32_t(name.size()));
    put32(out, attributes);
    out.insert(out.end(), name.begin(), name.end());
    sealHeader(out, start);
}

}  // namespace

std::vector<uint8_t> writeArchive(const std::vector<PackItem>& items, const PackOptions& options, RarEncodeStats* stats)
{
    std::vector<uint8_t> out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    const size_t header = out.size();
    put16(out, 0);
    out.push_back(0x73);
    put16(out, options.solid ? kArchiveSolid : 0);
    put16(out, 13);
    put16(out, 0);
    put32(out, 0);
    sealHeader(out, header);

    // Compress first: in a solid stream an entry's tables may travel at the end of the one before.
    std::vector<std::vector<uint8_t>> packed(items.size());
    std::vector<bool> compressed(items.size(), false);
    RarEncoder encoder;
    if (options.compress && options.solid) {
        // Every non-empty file joins the stream; a stored one would leave a gap in the window.
        std::vector<size_t> members;
        encoder.beginStream();
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].directory || items[i].bytes.empty())
                continue;
            encoder.encodeEntry(items[i].bytes.data(), items[i].bytes.size());
            members.push_back(i);
        }
        std::vector<std::vector<uint8_t>> streams = encoder.finishStream();
        for (size_t k = 0; k < members.size(); ++k) {
            packed[members[k]] = std::move(streams[k]);
            compressed[members[k]] = true;
        }
    } else if (options.compress) {
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].directory || items[i].bytes.empty())
                continue;
            encoder.beginStream();
            encoder.encodeEntry(items[i].bytes.data(), items[i].bytes.size());
            std::vector<uint8_t> bytes = std::move(encoder.finishStream()[0]);
            if (bytes.size() < items[i].bytes.size()) {
                packed[i] = std::move(bytes);
                compressed[i] = true;
            }
        }
    }

    bool streamStarted = false;
    for (size_t i = 0; i < items.size(); ++i) {
        const PackItem& item = items[i];
        if (item.directory) {
            putEntry(out, item.name, kEntryHasData | kEntryDirectoryMask, 0, 0, 0, kMethodStored, 0x10);
            continue;
        }
        const uint32_t size = uint32_t(item.bytes.size());
        const uint32_t crc = crc32(item.bytes.data(), item.bytes.size());
        if (compressed[i]) {
            const uint16_t flags = kEntryHasData | (streamStarted ? kEntrySolid : 0);
            putEntry(out, item.name, flags, uint32_t(packed[i].size()), size, crc, kMethodCompressed, 0x20);
            out.insert(out.end(), packed[i].begin(), packed[i].end());
            streamStarted = options.solid;
        } else {
            putEntry(out, item.name, kEntryHasData, size, size, crc, kMethodStored, 0x20);
            out.insert(out.end(), item.bytes.begin(), item.bytes.end());
        }
    }
    if (stats != nullptr)
        *stats = encoder.stats();
    return out;
}

bool collectPackItems(const std::string& dir, std::vector<PackItem>& items, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = dir + ": not a directory";
        return false;
    }
    std::vector<fs::path> paths;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        paths.push_back(it->path());
    if (ec) {
        error = dir + ": " + ec.message();
        return false;
    }
    std::vector<std::pair<std::string, fs::path>> named;
    for (const fs::path& p : paths) {
        std::string name = fs::relative(p, dir, ec).generic_string();
        std::replace(name.begin(), name.end(), '/', '\\');
        named.emplace_back(name, p);
    }
    std::sort(named.begin(), named.end());
    for (const auto& [name, path] : named) {
        PackItem item;
        item.name = name;
        if (name.size() > 259) {
            error = name + ": name too long";
            return false;
        }
        if (fs::is_directory(path, ec)) {
            item.directory = true;
        } else {
            std::string why;
            if (!readWholeFile(path.string(), item.bytes, why)) {
                error = path.string() + ": " + why;
                return false;
            }
            if (item.bytes.size() > kMaxEntrySize) {
                error = path.string() + ": too large";
                return false;
            }
        }
        items.push_back(std::move(item));
    }
    return true;
}
