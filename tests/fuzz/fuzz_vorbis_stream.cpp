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
    // A few loops' worth of output: the inputs are a few KB, so this wraps most streams at least
    // once, and every further frame would mostly re-run the rate converter on data it has seen.
    static int16_t out[1500 * 2];
    for (int pass = 0; pass < 12; ++pass) {
        const int got = stream.render(out, 1500, true);
        if (got < 0 || got > 1500)
            __builtin_trap();
    }
    if (stream.rewind()) {
        for (int pass = 0; pass < 40 && !stream.ended(); ++pass)
            if (stream.render(out, 1500, false) > 1500)
                __builtin_trap();
    }
    return 0;
}
