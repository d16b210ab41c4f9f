// The carried audio library's waveOut output when the device refuses a block: the library is
// loaded as the program loads it, and its import of waveOutWrite is pointed at a stand-in that
// turns one block away. The block must go to the device again, as it was mixed, and the music
// must go on behind it without a gap.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "audio/engine/audio_engine.h"
#include "ogg_samples.h"

namespace {

using WaveOutWrite = MMRESULT(WINAPI*)(HWAVEOUT, LPWAVEHDR, UINT);

constexpr int kRefused = 8;  // the write turned away: past the silence before the music starts

// Only the library's feeder thread calls the stand-in; the test reads these once it has ended.
WaveOutWrite realWrite = nullptr;
std::atomic<int> writes{0};
std::vector<int16_t> played;          // every block the device took, in order
std::vector<int16_t> refusedSamples;  // what the refused block held
const WAVEHDR* refusedHeader = nullptr;
bool retriedAsRefused = false;  // the write after the refusal was that block, unchanged

MMRESULT WINAPI refuseOneWrite(HWAVEOUT device, LPWAVEHDR header, UINT size)
{
    const int n = writes.load() + 1;
    const auto* samples = reinterpret_cast<const int16_t*>(header->lpData);
    const size_t count = header->dwBufferLength / sizeof(int16_t);
    if (n == kRefused) {
        refusedSamples.assign(samples, samples + count);
        refusedHeader = header;
        writes.store(n);
        return MMSYSERR_NOMEM;
    }
    if (n == kRefused + 1)
        retriedAsRefused = header == refusedHeader && count == refusedSamples.size() &&
                           std::equal(samples, samples + count, refusedSamples.begin());
    played.insert(played.end(), samples, samples + count);
    writes.store(n);
    return realWrite(device, header, size);
}

// Points `module`'s import of dll!name at `replacement`; the address it held goes to `original`.
bool replaceImport(HMODULE module, const char* dll, const char* name, void* replacement, void** original)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return false;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                return false;
            *original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

TEST(WaveOutOutput, ABlockTheDeviceRefusesIsWrittenAgainAndTheMusicGoesOn)
{
    const HMODULE library = LoadLibraryW(VESICLAR_AUDIO_ENGINE_PATH);
    ASSERT_NE(library, nullptr) << "error " << GetLastError();
    void* original = nullptr;
    ASSERT_TRUE(replaceImport(library, "winmm.dll", "waveOutWrite", reinterpret_cast<void*>(&refuseOneWrite),
                              &original));
    realWrite = reinterpret_cast<WaveOutWrite>(original);
    AudioEntryPoints engine;
    resolveAudioEntryPoints(engine, [library](const char* name, auto& slot) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void*>(GetProcAddress(library, name)));
    });
    ASSERT_TRUE(engine.complete());

    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 3.0), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    ASSERT_NE(engine.init(1, 44100, 0, nullptr, nullptr), 0u) << "no sound device: error " << engine.errorGetCode();
    const uint32_t stream = engine.streamCreateFile(1, ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 0);
    ASSERT_NE(engine.streamPlay(stream, 0, kAudioStreamLoop), 0u);
    const DWORD begin = GetTickCount();
    while (writes.load() < kRefused + 8 && GetTickCount() - begin < 20000)
        Sleep(10);
    engine.stop();
    engine.free();
    FreeLibrary(library);

    ASSERT_GE(writes.load(), kRefused + 8) << "the device was given nothing after it refused a block";
    ASSERT_FALSE(refusedSamples.empty());
    EXPECT_TRUE(std::any_of(refusedSamples.begin(), refusedSamples.end(), [](int16_t s) { return s != 0; }))
        << "the refused block was silence, so it shows nothing";
    EXPECT_TRUE(retriedAsRefused) << "the refused block was mixed again or dropped";
    // What the device took is the music from its first sample on, with nothing left out.
    size_t first = 0;
    while (first < played.size() && played[first] == 0)
        ++first;
    size_t firstRef = 0;
    while (firstRef < reference.size() && reference[firstRef] == 0)
        ++firstRef;
    ASSERT_GE(first, firstRef);
    const size_t start = first - firstRef;
    const size_t checked = std::min(played.size(), static_cast<size_t>(kRefused + 4) * 2048 * 2);
    ASSERT_GT(checked, start + 8 * 2048);
    for (size_t i = start; i < checked; ++i)
        ASSERT_EQ(played[i], reference[(i - start) % reference.size()]) << "sample " << i;
}

}  // namespace
