#include "data/data_file.h"

#include "data/archive.h"
#include "data/resources.h"

#include <cstdlib>
#include <cstring>

namespace {

const uint8_t* gOverrideBase = nullptr;
uint32_t gOverrideSize = 0;

ArchiveSpan dataArchive()
{
    if (gOverrideBase != nullptr)
        return {gOverrideBase, gOverrideSize, 0};
    std::span<const uint8_t> bytes = findResource(kCustomData, kArchiveResourceId);
    if (bytes.empty() || bytes.size() > UINT32_MAX)
        return {};
    return {bytes.data(), uint32_t(bytes.size()), 0};
}

}  // namespace

void setDataArchiveOverride(const uint8_t* base, uint32_t size)
{
    gOverrideBase = size > 0 ? base : nullptr;
    gOverrideSize = size;
}

DataFile::DataFile() = default;

DataFile::~DataFile() { close(); }

bool DataFile::open(const char* path)
{
    close();
    owned = true;
    data = nullptr;  // a resource-bound handle kept its pointer through close
    uint8_t* bytes = nullptr;
    uint32_t count = 0;
    ArchiveStatus why = ArchiveStatus::NotFound;
    if (path == nullptr || !extractArchiveEntry(dataArchive(), path, &bytes, &count, &why)) {
        // No archive at all reads as a missing entry too: the file is not there to be had.
        failure_ = why == ArchiveStatus::NotFound || why == ArchiveStatus::BadMarker ? "missing"
                                                                                    : describeArchiveStatus(why);
        return false;
    }
    failure_ = "";
    data = bytes;
    size = count;
    return true;
}

bool DataFile::openResource(int id)
{
    close();
    owned = false;
    data = nullptr;
    failure_ = "";
    std::span<const uint8_t> bytes = findResource(kCustomData, id);
    if (!bytes.empty() && bytes.size() <= UINT32_MAX) {
        // Resource memory is read-only; the handle never writes through data.
        data = const_cast<uint8_t*>(bytes.data());
        size = uint32_t(bytes.size());
    }
    return true;
}

void DataFile::close()
{
    if (owned) {
        std::free(data);
        data = nullptr;
    }
    size = 0;
    position = 0;
}

uint32_t DataFile::read(void* dst, uint32_t count)
{
    if (count == 0)
        return 0;
    const uint32_t available = position < size ? size - position : 0;
    const uint32_t copied = count < available ? count : available;
    if (copied > 0)
        std::memcpy(dst, data + position, copied);
    if (copied < count)
        std::memset(static_cast<uint8_t*>(dst) + copied, 0, count - copied);
    const uint32_t after = position + copied;
    // Saturate rather than wrap, so a read far past the end still shows as pastEnd.
    position = count > UINT32_MAX - position ? UINT32_MAX : position + count;
    return after;
}

DataFile& DataFile::read(void* dst, uint32_t elementSize, uint32_t elementCount)
{
    const uint64_t total = uint64_t(elementSize) * elementCount;
    if (total > UINT32_MAX) {
        // More than any file can hold: nothing is copied, but the caller sees the overrun.
        position = UINT32_MAX;
        return *this;
    }
    read(dst, uint32_t(total));
    return *this;
}

bool DataFile::readLine(char* buf, size_t capacity)
{
    size_t length = 0;
    auto next = [this](uint8_t& c) {
        if (position >= size)
            return false;
        c = data[position++];
        return true;
    };
    uint8_t c = 0;
    bool have = next(c);
    while (have && c == ' ')
        have = next(c);
    while (have && c != '\n') {
        if (c != '\r' && length + 1 < capacity)
            buf[length++] = char(c);
        have = next(c);
    }
    if (capacity > 0)
        buf[length] = 0;
    return have;
}

void DataFile::seek(int offset, int origin)
{
    switch (origin) {
    case 0: position = uint32_t(offset); break;
    case 1: position = uint32_t(int64_t(position) + offset); break;
    case 2: position = uint32_t(int64_t(size) - offset); break;
    default: break;
    }
}
