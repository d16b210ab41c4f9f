// The library's output through waveOut: a feeder thread keeps a few buffers in flight, refilling
// each as the device hands it back.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// mmsystem.h builds on the types of windows.h.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <atomic>
#include <vector>

#include "audio/engine/audio_output.h"

namespace {

constexpr int kBuffers = 4;
constexpr int kBufferFrames = 2048;  // 46 ms at 44.1 kHz: 186 ms in flight rides out a busy system
constexpr DWORD kIdleWaitMs = 100;   // the feeder looks for work this often even without a signal

struct Buffer {
    WAVEHDR header{};
    std::vector<int16_t> samples;
    bool silent = true;      // what the mixer said of its contents
    bool unwritten = false;  // mixed, but the device refused it: written again, not mixed again
};

struct Output {
    HWAVEOUT device = nullptr;
    HANDLE done = nullptr;  // set by the device each time it hands a buffer back
    HANDLE feeder = nullptr;
    HMODULE library = nullptr;  // this library, held by the feeder until it ends
    MixFunction mix = nullptr;
    void* user = nullptr;
    int rate = 44100;
    Buffer buffers[kBuffers];
    int next = 0;                           // the buffer the device hands back next
    std::atomic<bool> stopping{false};      // caller -> feeder: end the thread
    std::atomic<bool> paused{false};        // the caller halted the device
    std::atomic<bool> playedSilence{true};  // the last buffer the device finished was silence
};

Output gOutput;

// Mixes the buffer unless it already holds a block the device refused, and hands it over. A
// refused buffer stays with the feeder, marked done, for the next round to try again; left
// undone, no later round would look at it or at any buffer behind it.
bool fill(Output& output, Buffer& buffer)
{
    if (!buffer.unwritten) {
        output.playedSilence.store(buffer.silent, std::memory_order_release);
        buffer.silent = output.mix(output.user, buffer.samples.data(), kBufferFrames);
    }
    buffer.header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    if (waveOutWrite(output.device, &buffer.header, sizeof buffer.header) == MMSYSERR_NOERROR) {
        buffer.unwritten = false;
        return true;
    }
    buffer.header.dwFlags |= WHDR_DONE;
    buffer.unwritten = true;
    return false;
}

DWORD WINAPI feed(void* parameter)
{
    Output& output = *static_cast<Output*>(parameter);
    while (!output.stopping.load(std::memory_order_acquire)) {
        // Buffers come back in the order they went out, so refilling from `next` keeps that order.
        for (int n = 0; n < kBuffers; ++n) {
            Buffer& buffer = output.buffers[output.next];
            if (!(buffer.header.dwFlags & WHDR_DONE))
                break;
            if (!fill(output, buffer))
                break;
            output.next = (output.next + 1) % kBuffers;
        }
        WaitForSingleObject(output.done, kIdleWaitMs);
    }
    // The library was held for this thread, so it could not be unloaded under it; let it go last.
    FreeLibraryAndExitThread(output.library, 0);
}

// A name that debuggers and profilers show; Windows 10 and later only, so looked up at run time.
void nameThread(HANDLE thread)
{
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDescription = kernel ? reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
                                             GetProcAddress(kernel, "SetThreadDescription")))
                                       : nullptr;
    if (setDescription)
        setDescription(thread, L"vesiclar audio");
}

void releaseDevice(Output& output)
{
    waveOutReset(output.device);  // every buffer comes back
    for (Buffer& buffer : output.buffers)
        if (buffer.header.dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(output.device, &buffer.header, sizeof buffer.header);
    waveOutClose(output.device);
    output.device = nullptr;
    CloseHandle(output.done);
    output.done = nullptr;
}

}  // namespace

bool openOutput(int rate, MixFunction mix, void* user)
{
    Output& output = gOutput;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    output.done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!output.done)
        return false;
    if (waveOutOpen(&output.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(output.done), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        output.device = nullptr;
        CloseHandle(output.done);
        output.done = nullptr;
        return false;
    }
    output.mix = mix;
    output.user = user;
    output.rate = rate;
    output.next = 0;
    output.stopping.store(false);
    output.paused.store(false);
    output.playedSilence.store(true);
    bool prepared = true;
    for (Buffer& buffer : output.buffers) {
        buffer.samples.assign(static_cast<size_t>(kBufferFrames) * 2, 0);
        buffer.header = {};
        buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
        buffer.header.dwBufferLength = static_cast<DWORD>(buffer.samples.size() * sizeof(int16_t));
        buffer.silent = true;
        buffer.unwritten = false;
        prepared =
            prepared && waveOutPrepareHeader(output.device, &buffer.header, sizeof buffer.header) == MMSYSERR_NOERROR;
        buffer.header.dwFlags |= WHDR_DONE;  // free for the feeder's first round
    }
    if (prepared && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&openOutput),
                                       &output.library)) {
        output.feeder = CreateThread(nullptr, 0, feed, &output, 0, nullptr);
        if (!output.feeder)
            FreeLibrary(output.library);
    }
    if (!output.feeder) {
        releaseDevice(output);
        return false;
    }
    // Mixing a block takes a fraction of a millisecond; being late to the device is a gap heard.
    SetThreadPriority(output.feeder, THREAD_PRIORITY_TIME_CRITICAL);
    nameThread(output.feeder);
    return true;
}

void closeOutput()
{
    Output& output = gOutput;
    if (!output.device)
        return;
    output.stopping.store(true, std::memory_order_release);
    SetEvent(output.done);
    WaitForSingleObject(output.feeder, INFINITE);
    CloseHandle(output.feeder);
    output.feeder = nullptr;
    releaseDevice(output);
}

void pauseOutputWhenSilent()
{
    Output& output = gOutput;
    if (!output.device || output.paused.load())
        return;
    // What is in flight plays out first: wait for a silent buffer to come back, a little longer
    // than all buffers take, but no more.
    const DWORD limitMs = static_cast<DWORD>((kBuffers + 2) * kBufferFrames * 1000 / output.rate);
    const DWORD begin = GetTickCount();
    while (!output.playedSilence.load(std::memory_order_acquire) && GetTickCount() - begin < limitMs)
        Sleep(2);
    waveOutPause(output.device);
    output.paused.store(true);
}

void resumeOutput()
{
    Output& output = gOutput;
    if (!output.device || !output.paused.load())
        return;
    waveOutRestart(output.device);
    output.paused.store(false);
}
