#pragma once

// The carried audio library's nine entry points. Every number is 32 bits; a zero result means
// failure and BASS_ErrorGetCode tells why. The music player resolves them by name at run time, so
// the names, argument order and widths here are the whole contract between the two sides.

#include <cstdint>

#if defined(_WIN32)
#define VESICLAR_AUDIO_CALL __stdcall
#else
#define VESICLAR_AUDIO_CALL
#endif

// Codes reported by BASS_ErrorGetCode.
enum AudioError : uint32_t {
    kAudioOk = 0,
    kAudioErrorMemory = 1,          // out of memory
    kAudioErrorNoOutput = 2,        // the output device could not be opened or started
    kAudioErrorAlreadyInit = 3,     // BASS_Init called twice without BASS_Free
    kAudioErrorNotInit = 4,         // BASS_Init has not succeeded
    kAudioErrorHandle = 5,          // not a stream handle of this library
    kAudioErrorFormat = 6,          // not an Ogg Vorbis stream this library can play
    kAudioErrorParameter = 7,       // an argument out of range (null address, zero length, ...)
    kAudioErrorNoFreeStream = 8,    // every stream slot is taken
    kAudioErrorDevice = 9,          // no such device number
};

constexpr uint32_t kAudioStreamLoop = 4;  // BASS_StreamPlay / BASS_StreamCreateFile flag

using AudioErrorGetCodeFn = uint32_t(VESICLAR_AUDIO_CALL*)();
// device 1 is the system's default output; frequency in Hz; window and class id are not used.
using AudioInitFn = uint32_t(VESICLAR_AUDIO_CALL*)(int32_t device, uint32_t frequency, uint32_t flags, void* window,
                                                   const void* classId);
using AudioFreeFn = uint32_t(VESICLAR_AUDIO_CALL*)();
// From memory (fromMemory non-zero): `length` bytes at address + offset, read in place for as
// long as the stream exists. Result: a non-zero stream handle.
using AudioStreamCreateFileFn = uint32_t(VESICLAR_AUDIO_CALL*)(uint32_t fromMemory, const void* address,
                                                               uint32_t offset, uint32_t length, uint32_t flags);
// flush non-zero restarts the stream from its beginning; flags kAudioStreamLoop loops it.
using AudioStreamPlayFn = uint32_t(VESICLAR_AUDIO_CALL*)(uint32_t stream, uint32_t flush, uint32_t flags);
// Master volume 0..100 (values beyond are clamped), applied as a gain that glides to the new value.
using AudioSetVolumeFn = uint32_t(VESICLAR_AUDIO_CALL*)(uint32_t volume);
using AudioStartFn = uint32_t(VESICLAR_AUDIO_CALL*)();
using AudioStopFn = uint32_t(VESICLAR_AUDIO_CALL*)();
using AudioGetVolumeFn = uint32_t(VESICLAR_AUDIO_CALL*)();

// The nine entry points as the caller holds them.
struct AudioEntryPoints {
    AudioErrorGetCodeFn errorGetCode = nullptr;
    AudioInitFn init = nullptr;
    AudioFreeFn free = nullptr;
    AudioStreamCreateFileFn streamCreateFile = nullptr;
    AudioStreamPlayFn streamPlay = nullptr;
    AudioSetVolumeFn setVolume = nullptr;
    AudioStartFn start = nullptr;
    AudioStopFn stop = nullptr;
    AudioGetVolumeFn getVolume = nullptr;

    bool complete() const
    {
        return errorGetCode && init && free && streamCreateFile && streamPlay && setVolume && start && stop &&
               getVolume;
    }
};

// Calls resolve(name, slot) for each entry point, in the order the player logs them; resolve fills
// the slot (a function-pointer reference) from the library.
template <typename Resolve>
void resolveAudioEntryPoints(AudioEntryPoints& e, Resolve&& resolve)
{
    resolve("BASS_ErrorGetCode", e.errorGetCode);
    resolve("BASS_Init", e.init);
    resolve("BASS_Free", e.free);
    resolve("BASS_StreamCreateFile", e.streamCreateFile);
    resolve("BASS_StreamPlay", e.streamPlay);
    resolve("BASS_SetVolume", e.setVolume);
    resolve("BASS_Start", e.start);
    resolve("BASS_Stop", e.stop);
    resolve("BASS_GetVolume", e.getVolume);
}
