// The nine exported entry points over SDL2 audio output. The main thread only creates streams,
// flips atomic flags and opens or closes the device; all decoding and mixing happens in SDL's
// audio callback, which never waits for the main thread.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "audio/engine/audio_engine.h"
#include "audio/engine/gain_ramp.h"
#include "audio/engine/vorbis_stream.h"

#define AUDIO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kMaxStreams = 8;
constexpr int kBlockFrames = 1024;
constexpr int kDefaultRate = 44100;

enum SlotState : int { kFree, kReady, kPlaying, kFinished };

// A stream slot changes owner with its state: main thread in kFree, kReady and kFinished, audio
// thread in kPlaying (the state is published with release and read with acquire).
struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<bool> looping{false};
    std::atomic<bool> restart{false};
    uint32_t handle = 0;
    VorbisStream stream;
};

struct Engine {
    ~Engine() { shutdown(); }  // unloading without BASS_Free must not leave the callback running

    void shutdown()
    {
        if (device)
            SDL_CloseAudioDevice(device);  // joins the audio thread
        device = 0;
        for (Slot& slot : slots) {
            slot.stream.close();
            slot.state.store(kFree, std::memory_order_relaxed);
            slot.handle = 0;
        }
        if (initialised)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        initialised = false;
    }

    Slot* find(uint32_t handle)
    {
        if (handle == 0)
            return nullptr;
        for (Slot& slot : slots)
            if (slot.handle == handle && slot.state.load(std::memory_order_acquire) != kFree)
                return &slot;
        return nullptr;
    }

    std::atomic<uint32_t> error{kAudioOk};
    std::atomic<int> volume{100};
    std::atomic<bool> muted{false};  // BASS_Stop fades to silence before it halts output
    std::atomic<bool> silent{true};  // the last block went out at zero gain or with nothing playing
    bool initialised = false;
    SDL_AudioDeviceID device = 0;
    int rate = kDefaultRate;
    uint32_t lastHandle = 0;
    Slot slots[kMaxStreams];

    // Audio thread only.
    GainRamp ramp;
    bool audible = false;
    std::vector<int32_t> mix;
    std::vector<int16_t> part;
};

Engine gEngine;

uint32_t fail(AudioError code)
{
    gEngine.error.store(code, std::memory_order_relaxed);
    return 0;
}

uint32_t succeed()
{
    gEngine.error.store(kAudioOk, std::memory_order_relaxed);
    return 1;
}

void mixBlock(Engine& engine, int16_t* out, int frames)
{
    std::fill(engine.mix.begin(), engine.mix.begin() + frames * 2, 0);
    bool any = false;
    for (Slot& slot : engine.slots) {
        if (slot.state.load(std::memory_order_acquire) != kPlaying)
            continue;
        any = true;
        if (slot.restart.exchange(false, std::memory_order_acq_rel))
            slot.stream.rewind();
        const int got = slot.stream.render(engine.part.data(), frames, slot.looping.load(std::memory_order_relaxed));
        for (int i = 0; i < got * 2; ++i)
            engine.mix[i] += engine.part[i];
        if (got < frames && slot.stream.ended())
            slot.state.store(kFinished, std::memory_order_release);
    }
    // The volume is read after the play flags, so a volume set before a stream was started is
    // always seen here; silence before means nothing to glide from.
    const bool muted = engine.muted.load(std::memory_order_acquire);
    engine.ramp.setVolume(muted ? 0 : engine.volume.load(std::memory_order_relaxed));
    if (!engine.audible)
        engine.ramp.jumpToTarget();
    engine.ramp.apply(engine.mix.data(), out, frames);
    engine.audible = any;
    engine.silent.store(!any || engine.ramp.gain() == 0.0f, std::memory_order_release);
}

void SDLCALL fillOutput(void* user, Uint8* bytes, int length)
{
    Engine& engine = *static_cast<Engine*>(user);
    int16_t* out = reinterpret_cast<int16_t*>(bytes);
    int frames = length / 4;
    while (frames > 0) {
        const int block = std::min(frames, kBlockFrames);
        mixBlock(engine, out, block);
        out += block * 2;
        frames -= block;
    }
}

}  // namespace

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_ErrorGetCode() { return gEngine.error.load(std::memory_order_relaxed); }

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_Init(int32_t device, uint32_t frequency, uint32_t /*flags*/,
                                                    void* /*window*/, const void* /*classId*/)
{
    Engine& engine = gEngine;
    if (engine.initialised)
        return fail(kAudioErrorAlreadyInit);
    if (device != 1)
        return fail(kAudioErrorDevice);
    if (frequency == 0)
        frequency = kDefaultRate;
    if (frequency < 8000 || frequency > 192000)
        return fail(kAudioErrorParameter);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return fail(kAudioErrorNoOutput);

    engine.rate = static_cast<int>(frequency);
    engine.mix.assign(kBlockFrames * 2, 0);
    engine.part.assign(kBlockFrames * 2, 0);
    engine.ramp = GainRamp(engine.rate);
    engine.audible = false;
    engine.muted.store(false);
    engine.silent.store(true);

    SDL_AudioSpec want{};
    want.freq = engine.rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = fillOutput;
    want.userdata = &engine;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the mixer stays 16-bit stereo.
    engine.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (engine.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(kAudioErrorNoOutput);
    }
    engine.initialised = true;
    SDL_PauseAudioDevice(engine.device, 0);
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_Free()
{
    if (!gEngine.initialised)
        return fail(kAudioErrorNotInit);
    gEngine.shutdown();
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_StreamCreateFile(uint32_t fromMemory, const void* address,
                                                                uint32_t offset, uint32_t length, uint32_t flags)
{
    Engine& engine = gEngine;
    if (!engine.initialised)
        return fail(kAudioErrorNotInit);
    // Only memory streams: the music lives in the executable, never in a loose file.
    if (!fromMemory || !address || length == 0)
        return fail(kAudioErrorParameter);
    Slot* free = nullptr;
    for (Slot& slot : engine.slots)
        if (slot.state.load(std::memory_order_acquire) == kFree) {
            free = &slot;
            break;
        }
    if (!free)
        return fail(kAudioErrorNoFreeStream);
    uint32_t error = kAudioOk;
    if (!free->stream.open(static_cast<const uint8_t*>(address) + offset, length, engine.rate, error))
        return fail(static_cast<AudioError>(error));
    if (++engine.lastHandle == 0)
        ++engine.lastHandle;
    free->handle = engine.lastHandle;
    free->looping.store((flags & kAudioStreamLoop) != 0, std::memory_order_relaxed);
    free->restart.store(false, std::memory_order_relaxed);
    free->state.store(kReady, std::memory_order_release);
    succeed();
    return free->handle;
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_StreamPlay(uint32_t stream, uint32_t flush, uint32_t flags)
{
    Engine& engine = gEngine;
    if (!engine.initialised)
        return fail(kAudioErrorNotInit);
    Slot* slot = engine.find(stream);
    if (!slot)
        return fail(kAudioErrorHandle);
    const bool loop = (flags & kAudioStreamLoop) != 0;
    for (;;) {
        int state = slot->state.load(std::memory_order_acquire);
        if (state == kReady || state == kFinished) {
            if (state == kFinished)
                slot->stream.rewind();
            slot->looping.store(loop, std::memory_order_relaxed);
            if (slot->state.compare_exchange_strong(state, kPlaying, std::memory_order_acq_rel))
                return succeed();
        } else {
            // Playing: the audio thread owns the decoder, so a restart is only requested.
            slot->looping.store(loop, std::memory_order_relaxed);
            if (flush)
                slot->restart.store(true, std::memory_order_release);
            if (slot->state.load(std::memory_order_acquire) == kPlaying)
                return succeed();
        }
    }
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_SetVolume(uint32_t volume)
{
    const int32_t asSigned = static_cast<int32_t>(volume);
    gEngine.volume.store(std::clamp<int32_t>(asSigned, 0, 100), std::memory_order_relaxed);
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_Start()
{
    if (!gEngine.initialised)
        return fail(kAudioErrorNotInit);
    gEngine.muted.store(false, std::memory_order_release);  // glides back up from silence
    SDL_PauseAudioDevice(gEngine.device, 0);
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_Stop()
{
    Engine& engine = gEngine;
    if (!engine.initialised)
        return fail(kAudioErrorNotInit);
    // Halting mid-waveform clicks: let the callback glide to silence first (20 ms), but never
    // wait long on a device that has stalled or is already halted.
    engine.muted.store(true, std::memory_order_release);
    if (SDL_GetAudioDeviceStatus(engine.device) == SDL_AUDIO_PLAYING) {
        for (int waited = 0; waited < 100 && !engine.silent.load(std::memory_order_acquire); ++waited)
            SDL_Delay(1);
    }
    SDL_PauseAudioDevice(engine.device, 1);
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_GetVolume()
{
    return static_cast<uint32_t>(gEngine.volume.load(std::memory_order_relaxed));
}
