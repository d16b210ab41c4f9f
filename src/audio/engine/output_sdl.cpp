// The library's output through SDL2 audio: SDL's callback thread pulls the blocks. A device that
// goes away (the sound server restarted, a headset unplugged) is replaced by the default output
// again as soon as one opens, from a thread of this library's own.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

#include "audio/engine/audio_output.h"

namespace {

constexpr int kDeviceFrames = 1024;
// A playing device asks for a block every few tens of milliseconds; one that has not asked for
// this long hangs in the system's audio (a sound server that no longer answers, a sink whose
// clock stopped).
constexpr Uint32 kStalledMs = 1000;
// How often a lost device is looked for and, once lost, the default output tried again.
constexpr auto kReopenEvery = std::chrono::seconds(2);

// What SDL's callback is handed: each device knows its own id, so the callback of one that was
// lost can tell it no longer plays while its successor does.
struct Device {
    std::atomic<SDL_AudioDeviceID> id{0};
};

// The thread that replaces a lost device, with what it alone uses; each run of it has its own,
// so one left behind by closeOutput never takes part in a later run.
struct Reopener {
    bool stopping = false;  // under Output::lock
    std::atomic<bool> ended{false};
    std::condition_variable wake;
    std::thread thread;
};

struct Output {
    std::mutex lock;  // device, current, paused, stalled, the reopener's stop: caller and reopener
    SDL_AudioDeviceID device = 0;
    Device devices[2];
    int current = 0;      // the entry of devices[] that `device` uses
    bool paused = false;  // halted by the caller
    int rate = 44100;
    MixFunction mix = nullptr;
    void* user = nullptr;
    std::atomic<bool> silent{true};  // the last block handed to SDL was silence
    std::atomic<Uint32> fills{0};     // blocks asked for so far
    std::atomic<Uint32> lastFill{0};  // SDL_GetTicks() of the last one
    bool stalled = false;             // found hanging when it was halted
    Reopener* reopener = nullptr;
};
// Unloading may destroy this before the engine's own teardown closes the output through it.
static_assert(std::is_trivially_destructible_v<Output>);

Output gOutput;

void SDLCALL fillOutput(void* userData, Uint8* bytes, int length)
{
    const SDL_AudioDeviceID id = static_cast<Device*>(userData)->id.load(std::memory_order_acquire);
    // SDL goes on calling a lost device's callback; the music waits instead for the device that
    // replaces it, to go on from where it was.
    if (id == 0 || SDL_GetAudioDeviceStatus(id) == SDL_AUDIO_STOPPED) {
        std::memset(bytes, 0, static_cast<size_t>(length));
        return;
    }
    Output& output = gOutput;
    output.silent.store(output.mix(output.user, reinterpret_cast<int16_t*>(bytes), length / 4),
                        std::memory_order_release);
    output.lastFill.store(SDL_GetTicks(), std::memory_order_relaxed);
    output.fills.fetch_add(1, std::memory_order_release);
}

// Opens the default output, halted, for devices[entry] (which is given its id before it plays);
// 0 when there is none.
SDL_AudioDeviceID openDevice(int entry)
{
    SDL_AudioSpec want{};
    want.freq = gOutput.rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = fillOutput;
    want.userdata = &gOutput.devices[entry];
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the mixer stays 16-bit stereo.
    return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

void reopenLostDevices(Reopener* self)
{
    Output& output = gOutput;
    std::unique_lock<std::mutex> held(output.lock);
    for (;;) {
        self->wake.wait_for(held, kReopenEvery, [&] { return self->stopping; });
        if (self->stopping)
            break;
        const SDL_AudioDeviceID lost = output.device;
        if (lost == 0 || SDL_GetAudioDeviceStatus(lost) != SDL_AUDIO_STOPPED)
            continue;
        const int entry = 1 - output.current;
        // Opening can take a while (a sound server starting up): the caller never waits for it.
        held.unlock();
        // Once its lock has been held, no callback of the lost device is still mixing.
        SDL_LockAudioDevice(lost);
        SDL_UnlockAudioDevice(lost);
        const SDL_AudioDeviceID fresh = openDevice(entry);
        held.lock();
        if (fresh == 0)
            continue;
        if (self->stopping) {
            held.unlock();
            SDL_CloseAudioDevice(fresh);
            held.lock();
            break;
        }
        output.devices[entry].id.store(fresh, std::memory_order_release);
        output.device = fresh;
        output.current = entry;
        output.stalled = false;
        output.lastFill.store(SDL_GetTicks(), std::memory_order_relaxed);
        if (!output.paused)
            SDL_PauseAudioDevice(fresh, 0);
        held.unlock();
        SDL_CloseAudioDevice(lost);  // its thread only marks time now
        held.lock();
    }
    self->ended.store(true, std::memory_order_release);
}

// Ends the reopener, waiting a bounded while: one caught in a device that does not open is left
// to the process's end, and so is this library, whose code it runs. False then.
bool stopReopener()
{
    Reopener* reopener = gOutput.reopener;
    if (!reopener)
        return true;
    {
        std::lock_guard<std::mutex> held(gOutput.lock);
        reopener->stopping = true;
    }
    reopener->wake.notify_all();
    gOutput.reopener = nullptr;
    const Uint32 begin = SDL_GetTicks();
    while (!reopener->ended.load(std::memory_order_acquire) &&
           !SDL_TICKS_PASSED(SDL_GetTicks(), begin + 2 * kStalledMs))
        SDL_Delay(5);
    if (reopener->ended.load(std::memory_order_acquire)) {
        reopener->thread.join();
        delete reopener;
        return true;
    }
    Dl_info library{};
    if (dladdr(reinterpret_cast<void*>(&reopenLostDevices), &library) && library.dli_fname)
        dlopen(library.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    reopener->thread.detach();  // it ends with the process, and its Reopener with it
    return false;
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
    gOutput.rate = rate;
    gOutput.silent.store(true);
    gOutput.lastFill.store(SDL_GetTicks());
    gOutput.stalled = false;
    gOutput.paused = false;
    gOutput.current = 0;
    gOutput.device = openDevice(0);
    gOutput.devices[0].id.store(gOutput.device, std::memory_order_release);
    if (gOutput.device == 0) {
        quitAudio();
        return false;
    }
    gOutput.reopener = new Reopener;
    try {
        gOutput.reopener->thread = std::thread(reopenLostDevices, gOutput.reopener);
    } catch (const std::system_error&) {
        delete gOutput.reopener;  // plays on, only without a replacement for a lost device
        gOutput.reopener = nullptr;
    }
    SDL_PauseAudioDevice(gOutput.device, 0);
    return true;
}

void closeOutput()
{
    if (gOutput.device == 0)
        return;
    const bool reopenerEnded = stopReopener();
    const bool playing = SDL_GetAudioDeviceStatus(gOutput.device) == SDL_AUDIO_PLAYING;
    if (!reopenerEnded || gOutput.stalled || (playing && deviceStalled())) {
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
    for (Device& device : gOutput.devices)
        device.id.store(0, std::memory_order_release);
    quitAudio();
}

void pauseOutputWhenSilent()
{
    std::lock_guard<std::mutex> held(gOutput.lock);
    gOutput.paused = true;
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
    std::lock_guard<std::mutex> held(gOutput.lock);
    gOutput.paused = false;
    gOutput.stalled = false;
    SDL_PauseAudioDevice(gOutput.device, 0);
}
