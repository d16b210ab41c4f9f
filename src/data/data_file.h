#pragma once

#include <cstddef>
#include <cstdint>

// The memory-backed file handle every loader reads through: one archive entry (open) or one
// embedded resource (openResource) as a single block of bytes.
class DataFile {
public:
    DataFile();
    virtual ~DataFile();

    // Extracts the archive entry named path ("meshes\\sphere.dat"; case and separators as in
    // namesEqual) from the embedded archive, resource CustomData 129.
    bool open(const char* path);
    // Why the last open failed, for a log line: "missing" when the archive has no such entry,
    // else what is wrong with it ("CRC mismatch", "corrupt", ...). Empty after a success.
    const char* failure() const { return failure_; }
    // Binds to resource CustomData id in place (not owned). Always true; a missing one is empty.
    bool openResource(int id);
    void close();

    // Copies count bytes at the position, advances the position by count and yields the new
    // position. Never copies beyond size: a read that runs past the end copies what is there,
    // zero-fills the rest of dst, yields the position after what it copied, and pastEnd() turns
    // true. Count 0 does nothing and yields 0.
    uint32_t read(void* dst, uint32_t count);
    // The same for elementCount elements of elementSize bytes, chainable; check pastEnd() after.
    DataFile& read(void* dst, uint32_t elementSize, uint32_t elementCount);

    // One text line without leading spaces, carriage returns or its line feed, NUL-terminated in
    // buf. True when the line ended with a line feed, false when the data ran out (a last line
    // without one is still delivered). A line longer than capacity - 1 is cut, the rest skipped.
    bool readLine(char* buf, size_t capacity);
    template <size_t N>
    bool readLine(char (&buf)[N])
    {
        return readLine(buf, N);
    }

    // origin 0: from the start, 1: from the position, 2: back from the end (size - offset).
    void seek(int offset, int origin);
    bool pastEnd() const { return position > size; }

    uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t position = 0;
    bool owned = true;  // data came from the extraction and is freed by close

private:
    const char* failure_ = "";

    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
};

// The archive id and the span open() extracts from. Tests and tools may point open() at another
// archive; an empty span restores the embedded one.
constexpr int kArchiveResourceId = 129;
void setDataArchiveOverride(const uint8_t* base, uint32_t size);
