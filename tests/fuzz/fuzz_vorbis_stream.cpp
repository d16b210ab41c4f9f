// The audio library's stream over arbitrary bytes: open, play looping, rewind, play once.
#include <cstddef>
#include <cstdint>

#include "audio/engine/vorbis_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VorbisStream stream;
    uint32_t error = 0;
    if (!stream.open(data, size, 44100, error))
        return 0;
    static int16_t out[1500 * 2];
    for (int pass = 0; pass < 40; ++pass) {
        const int got = stream.render(out, 1500, true);
        if (got < 0 || got > 1500)
            __builtin_trap();
    }
    if (stream.rewind()) {
        for (int pass = 0; pass < 200 && !stream.ended(); ++pass)
            if (stream.render(out, 1500, false) > 1500)
                __builtin_trap();
    }
    return 0;
}
