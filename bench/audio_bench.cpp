// What the music costs: decoding and mixing per second of audio, the audio thread's share of one
// core while the music plays in real time, and the start-up of the player.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "audio/engine/gain_ramp.h"
#include "audio/engine/vorbis_stream.h"
#include "audio/music_player.h"
#include "data/data_file.h"
#include "data/settings.h"
#include "ogg_samples.h"
#include "tools/rartool/archive_writer.h"

namespace {

// The shipped music when the archive has it, else half a minute of generated chord.
const std::vector<uint8_t>& music()
{
    static const std::vector<uint8_t> bytes = [] {
        DataFile file;
        if (file.open("music.ogg"))
            return std::vector<uint8_t>(file.data, file.data + file.size);
        return encodeOgg(testChord(2, 44100, 30.0), 2, 44100);
    }();
    return bytes;
}

void BM_DecodeAndMixOneSecond(benchmark::State& state)
{
    VorbisStream stream;
    uint32_t error = 0;
    if (!stream.open(music().data(), music().size(), 44100, error)) {
        state.SkipWithError("music does not open");
        return;
    }
    GainRamp ramp(44100);
    ramp.setVolume(80);
    std::vector<int16_t> part(1024 * 2), out(1024 * 2);
    std::vector<int32_t> mixed(1024 * 2);
    for (auto _ : state) {
        for (int block = 0; block < 44100 / 1024 + 1; ++block) {
            stream.render(part.data(), 1024, true);
            for (size_t i = 0; i < part.size(); ++i)
                mixed[i] = part[i];
            ramp.apply(mixed.data(), out.data(), 1024);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("one iteration = 1 s of music; its time / 1 s = share of one core");
}
BENCHMARK(BM_DecodeAndMixOneSecond)->Unit(benchmark::kMillisecond);

uint64_t threadNanoseconds(const std::string& namePrefix)
{
    uint64_t total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::string name;
        std::getline(std::ifstream(base + "/comm"), name);
        if (name.rfind(namePrefix, 0) != 0)
            continue;
        // schedstat's first field: nanoseconds this thread has run.
        unsigned long long ns = 0;
        std::ifstream(base + "/schedstat") >> ns;
        total += ns;
    }
    closedir(tasks);
    return total;
}

// The embedded library playing through SDL's disk driver at its real-time pace, so the audio
// thread does exactly the work a sound card would ask of it.
void BM_StartAndPlay_ThenAudioThreadShare(benchmark::State& state)
{
    char folder[] = "/tmp/vesiclar-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    setenv("TMPDIR", folder, 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    unsetenv("SDL_DISKAUDIODELAY");
    if (chdir(folder) != 0) {
        state.SkipWithError("no scratch folder");
        return;
    }
    currentSettings.EnableMusic = true;
    currentSettings.Volume = 80;
    static std::vector<uint8_t> archive;  // music.ogg must be in the archive the player opens
    DataFile shipped;
    if (!shipped.open("music.ogg")) {
        archive = writeArchive({{"music.ogg", false, music()}}, {});
        setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    }
    double share = 0;
    for (auto _ : state) {
        MusicPlayer player;
        const auto begin = std::chrono::steady_clock::now();
        if (!player.start(nullptr, nullptr)) {
            state.SkipWithError("library not loaded");
            return;
        }
        player.play();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(seconds);

        const uint64_t before = threadNanoseconds("SDLAudio");
        const auto playBegin = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const uint64_t used = threadNanoseconds("SDLAudio") - before;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - playBegin).count();
        share = static_cast<double>(used) * 1e-9 / wall;
        player.stop();
    }
    state.counters["audio_thread_core_percent"] = share * 100.0;
    std::string command = std::string("rm -rf ") + folder;
    std::system(command.c_str());
}
BENCHMARK(BM_StartAndPlay_ThenAudioThreadShare)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
