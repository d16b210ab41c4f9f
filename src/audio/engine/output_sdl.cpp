// The library's output through SDL2 audio: SDL's callback thread pulls the blocks.
#include <SDL.h>

#include <atomic>

#include "audio/engine/audio_output.h"

namespace {

constexpr int kDeviceFrames = 1024;
// A playing device asks for a block every few tens of milliseconds; one that has not asked for
// this long hangs in the system's audio (a sound server that no longer answers, a sink whose
// clock stopped).
constexpr Uint32 kStalledMs = 1000;

struct Output {
    SDL_AudioDeviceID device = 0;
    MixFunction mix = nullptr;
    void* user = nullptr;
    std::atomic<bool> silent{true};  // the last block handed to SDL was silence
    std::atomic<Uint32> fills{0};     // blocks asked for so far
    std::atomic<Uint32> lastFill{0};  // SDL_GetTicks() of the last one
    bool stalled = false;             // found hanging when it was halted
};

Output gOutput;

void SDLCALL fillOutput(void* userData, Uint8* bytes, int length)
{
    Output& output = *static_cast<Output*>(userData);
    output.silent.store(output.mix(output.user, reinterpret_cast<int16_t*>(bytes), length / 4),
                        std::memory_order_release);
    output.lastFill.store(SDL_GetTicks(), std::memory_order_relaxed);
    output.fills.fetch_add(1, std::memory_order_release);
}

// Whether the playing device's thread has stopped asking for blocks: waits for its next request,
// up to kStalledMs after its last one.
bool deviceStalled()
{
    const Uint32 seen = gOutput.fills.load(std::memory_order_acquire);
    while (!SDL_TICKS_PASSED(SDL_GetTicks(), gOutput.lastFill.load(std::memory_order_relaxed) + kStalledMs)) {
        if (gOutput.fills.load(std::memory_order_acquire) != seen)
            return false;
        SDL_Delay(5);
    }
    return gOutput.fills.load(std::memory_order_acquire) == seen;
}

// Once no SDL subsystem is in use, SDL's own state (hints, thread storage) goes as well, so that
// unloading the library leaves none of it behind.
void quitAudio()
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (SDL_WasInit(0) == 0) SDL_Quit();
}

}  // namespace

bool openOutput(int rate, MixFunction mix, void* user)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    gOutput.mix = mix;
    gOutput.user = user;
    gOutput.silent.store(true);
    gOutput.lastFill.store(SDL_GetTicks());
    gOutput.stalled = false;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = fillOutput;
    want.userdata = &gOutput;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the mixer stays 16-bit stereo.
    gOutput.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (gOutput.device == 0) {
        quitAudio();
        return false;
    }
    SDL_PauseAudioDevice(gOutput.device, 0);
    return true;
}

void closeOutput()
{
    if (gOutput.device == 0)
        return;
    const bool playing = SDL_GetAudioDeviceStatus(gOutput.device) == SDL_AUDIO_PLAYING;
    if (gOutput.stalled || (playing && deviceStalled())) {
        // Closing joins the device's thread, which would wait with it for good, and so would the
        // end of the run, its windows still over the screen. The device is left open to go with
        // the process; halted, its thread never calls back into this library.
        SDL_PauseAudioDevice(gOutput.device, 1);
        gOutput.device = 0;
        gOutput.stalled = false;
        return;
    }
    SDL_CloseAudioDevice(gOutput.device);  // joins the audio thread
    gOutput.device = 0;
    quitAudio();
}

void pauseOutputWhenSilent()
{
    // Never wait long on a device that has stalled or is already halted.
    if (SDL_GetAudioDeviceStatus(gOutput.device) == SDL_AUDIO_PLAYING) {
        for (int waited = 0; waited < 100 && !gOutput.silent.load(std::memory_order_acquire); ++waited)
            SDL_Delay(1);
        // Halted, the device asks for nothing more: whether it still could is known only now
        // (a device that went silent, at volume 0 say, may have stalled all the same).
        gOutput.stalled = deviceStalled();
    }
    SDL_PauseAudioDevice(gOutput.device, 1);
}

void resumeOutput()
{
    gOutput.stalled = false;
    SDL_PauseAudioDevice(gOutput.device, 0);
}
