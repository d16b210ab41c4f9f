// Per-frame costs of the camera flight and the ten DNA molecule shows (no GL involved).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "math/random.h"
#include "scenes/camera_path.h"
#include "scenes/dna_helix.h"

namespace {

std::vector<uint8_t> moleculeFile()
{
    std::vector<uint8_t> out;
    for (int n = 0; n < 12; ++n) {
        const float record[6] = {float(n % 4) * 10, float(n / 4) * 8, float(n % 3) * 5, 0.7f, 0.1f, 0.1f};
        const auto* bytes = reinterpret_cast<const uint8_t*>(record);
        out.insert(out.end(), bytes, bytes + sizeof record);
    }
    return out;
}

// Ten molecules held at show time 20 s, when about thirty atoms of each are in flight.
void BM_TenMoleculeShowsMidFlight(benchmark::State& state)
{
    static DnaHelix molecules[10];
    const auto file = moleculeFile();
    for (auto& m : molecules) {
        m.buildMolecule(file);
        m.update(20.0f);
    }
    for (auto _ : state) {
        for (auto& m : molecules) {
            m.time = 20.0f;
            m.update(0.8f / 60.0f);
        }
        benchmark::DoNotOptimize(molecules[9].flyPosA.data());
    }
}
BENCHMARK(BM_TenMoleculeShowsMidFlight);

// One frame of the camera on a twelve-key track, the clock wrapping at its end.
void BM_CameraUpdate(benchmark::State& state)
{
    std::string text;
    char line[200];
    for (int k = 0; k < 12; ++k) {
        std::snprintf(line, sizeof line, "keyframe\ntime %d\nposition V(%d %d %d)\nquaternion Q(0 %f 0 %f)\nend\n", 10 * k, 17 * k, -5 * k,
                      3 * k * k, 0.1 * k, 1.0);
        text += line;
    }
    CameraPath camera;
    if (!camera.loadTrack({reinterpret_cast<const uint8_t*>(text.data()), text.size()})) {
        state.SkipWithError("track did not load");
        return;
    }
    for (auto _ : state) {
        camera.trackTime += 3.0f / 60.0f;
        camera.update();
        camera.trackEnded = false;
        benchmark::DoNotOptimize(camera.forward);
    }
}
BENCHMARK(BM_CameraUpdate);

}  // namespace
