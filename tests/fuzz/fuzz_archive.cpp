// Arbitrary bytes as an archive: every entry is extracted in a walk (solid chains included), then
// one entry by name as DataFile::open would, under AddressSanitizer and UBSan.
#include "data/archive.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size > (8u << 20))
        return 0;
    const ArchiveSpan span{bytes, uint32_t(size), 0};

    char firstName[260] = "music.ogg";
    {
        // Its own scope: the walk's decoder state is handed on to the extraction below.
        ArchiveReader reader;
        if (reader.begin(span)) {
            ArchiveEntry entry;
            int entries = 0;
            while (reader.next(entry) && entries++ < 64) {
                if (entries == 1)
                    for (int i = 0; i < 260; ++i)
                        firstName[i] = entry.name[i];
                uint8_t* data = nullptr;
                uint32_t count = 0;
                if (reader.extract(entry, true, &data, &count) == ArchiveStatus::Ok && count != entry.unpackedSize)
                    std::abort();  // success always delivers the whole entry
                std::free(data);
            }
        }
    }

    uint8_t* data = nullptr;
    uint32_t count = 0;
    if (extractArchiveEntry(span, firstName, &data, &count)) {
        if (data == nullptr)
            std::abort();
        std::free(data);
    } else if (data != nullptr || count != 0) {
        std::abort();  // failure hands back nothing
    }
    return 0;
}
