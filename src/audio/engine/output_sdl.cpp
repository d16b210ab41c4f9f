// The library's output through SDL2 audio: SDL's callback thread pulls the blocks.
#include <SDL.h>

#include <atomic>

#include "audio/engine/audio_output.h"

namespace {

constexpr int kDeviceFrames = 1024;

struct Output {
    SDL_AudioDeviceID device = 0;
    MixFunction mix = nullptr;
    void* user = nullptr;
    std::atomic<bool> silent{true};  // the last block handed to SDL was silence
};

Output gOutput;

void SDLCALL fillOutput(void* userData, Uint8* bytes, int length)
{
    Output& output = *static_cast<Output*>(userData);
    output.silent.store(output.mix(output.user, reinterpret_cast<int16_t*>(bytes), length / 4),
                        std::memory_order_release);
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
    }
    SDL_PauseAudioDevice(gOutput.device, 1);
}

void resumeOutput()
{
    SDL_PauseAudioDevice(gOutput.device, 0);
}
