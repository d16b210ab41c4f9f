// The nine exported entry points over the platform's audio output. The caller's thread only
// creates streams, flips atomic flags and opens, halts or closes the device; all decoding and
// mixing happens on the output's thread, which never waits for the caller.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "audio/engine/audio_engine.h"
#include "audio/engine/audio_output.h"
#include "audio/engine/gain_ramp.h"
#include "audio/engine/vorbis_stream.h"

#if defined(_WIN32)
#define AUDIO_EXPORT extern "C"  // the names leave the DLL through its .def file
#else
#define AUDIO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

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
    ~Engine() { shutdown(); }  // unloading without BASS_Free must not leave the output running

    void shutdown()
    {
        if (initialised)
            closeOutput();  // joins the output thread
        for (Slot& slot : slots) {
            slot.stream.close();
            slot.state.store(kFree, std::memory_order_relaxed);
            slot.handle = 0;
        }
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
    bool initialised = false;
    int rate = kDefaultRate;
    uint32_t lastHandle = 0;
    Slot slots[kMaxStreams];

    // Output thread only.
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

// One block of at most kBlockFrames; true when it went out silent.
bool mixBlock(Engine& engine, int16_t* out, int frames)
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
    return !any || engine.ramp.gain() == 0.0f;
}

bool mixOutput(void* user, int16_t* out, int frames)
{
    Engine& engine = *static_cast<Engine*>(user);
    bool silent = true;
    while (frames > 0) {
        const int block = std::min(frames, kBlockFrames);
        silent = mixBlock(engine, out, block) && silent;
        out += block * 2;
        frames -= block;
    }
    return silent;
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

    engine.rate = static_cast<int>(frequency);
    engine.mix.assign(kBlockFrames * 2, 0);
    engine.part.assign(kBlockFrames * 2, 0);
    engine.ramp = GainRamp(engine.rate);
    engine.audible = false;
    engine.muted.store(false);
    if (!openOutput(engine.rate, mixOutput, &engine))
        return fail(kAudioErrorNoOutput);
    engine.initialised = true;
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
    resumeOutput();
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_Stop()
{
    Engine& engine = gEngine;
    if (!engine.initialised)
        return fail(kAudioErrorNotInit);
    // Halting mid-waveform clicks: the output glides to silence first (20 ms) and halts then.
    engine.muted.store(true, std::memory_order_release);
    pauseOutputWhenSilent();
    return succeed();
}

AUDIO_EXPORT uint32_t VESICLAR_AUDIO_CALL BASS_GetVolume()
{
    return static_cast<uint32_t>(gEngine.volume.load(std::memory_order_relaxed));
}
