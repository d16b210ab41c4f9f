// A stand-in for the carried audio library that writes every call it gets to the file named by
// FAKE_AUDIO_TRACE, so the music player's sequence can be read back. FAKE_AUDIO_INIT_FAILS makes
// BASS_Init fail; FAKE_AUDIO_VOLUME is what BASS_GetVolume reports. Built once complete and once
// without BASS_StreamPlay (FAKE_WITHOUT_STREAM_PLAY).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool initialised = false;

void trace(const char* format, unsigned a = 0, unsigned b = 0, unsigned c = 0, unsigned d = 0)
{
    const char* path = std::getenv("FAKE_AUDIO_TRACE");
    if (!path)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, format, a, b, c, d);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

}  // namespace

FAKE_EXPORT uint32_t BASS_ErrorGetCode() { return initialised ? 0u : 4242u; }

FAKE_EXPORT uint32_t BASS_Init(int32_t device, uint32_t frequency, uint32_t flags, void* window, const void* classId)
{
    trace("Init %u %u %u %u", static_cast<unsigned>(device), frequency, flags,
          static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)) + (classId ? 1000000u : 0u));
    initialised = std::getenv("FAKE_AUDIO_INIT_FAILS") == nullptr;
    return initialised;
}

FAKE_EXPORT uint32_t BASS_Free()
{
    trace("Free");
    initialised = false;
    return 1;
}

FAKE_EXPORT uint32_t BASS_StreamCreateFile(uint32_t fromMemory, const void* address, uint32_t offset, uint32_t length,
                                           uint32_t flags)
{
    // The first four bytes show the address really is the music.
    const unsigned char* bytes = static_cast<const unsigned char*>(address);
    trace("StreamCreateFile %u %u %u %u", fromMemory, offset, length, flags);
    trace("  starts with %c%c%c%c", bytes[0], bytes[1], bytes[2], bytes[3]);
    return initialised ? 77u : 0u;
}

#ifndef FAKE_WITHOUT_STREAM_PLAY
FAKE_EXPORT uint32_t BASS_StreamPlay(uint32_t stream, uint32_t flush, uint32_t flags)
{
    trace("StreamPlay %u %u %u", stream, flush, flags);
    return initialised;
}
#endif

FAKE_EXPORT uint32_t BASS_SetVolume(uint32_t volume)
{
    trace("SetVolume %u", volume);
    return 1;
}

FAKE_EXPORT uint32_t BASS_Start()
{
    trace("Start");
    return 1;
}

FAKE_EXPORT uint32_t BASS_Stop()
{
    trace("Stop");
    return 1;
}

FAKE_EXPORT uint32_t BASS_GetVolume()
{
    trace("GetVolume");
    const char* volume = std::getenv("FAKE_AUDIO_VOLUME");
    return volume ? static_cast<uint32_t>(std::atoi(volume)) : 100u;
}
