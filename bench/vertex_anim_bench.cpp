// The per-frame cost of an animated body: the pose of the full-detail track (V = 642) computed on
// the CPU, alone and with its buffer-object upload on a headless GL context. Allocations inside
// advance are counted, and must stay at zero.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "asset_builders.h"
#include "data/settings.h"
#include "platform/headless/headless_gl.h"
#include "render/gl_setup.h"

namespace {
std::atomic<uint64_t> gAllocations{0};
}

// Counting replacements of the global allocation functions (malloc underneath both).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size)
{
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

VertexAnimTrack fullDetailTrack()
{
    VertexAnimTrack track;
    const auto bytes = trackBytes(sphereTrack(3));
    if (!track.parse(bytes))
        std::abort();
    return track;
}

void runAdvance(benchmark::State& state, VertexAnimTrack& track)
{
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t before = gAllocations.load(std::memory_order_relaxed);
        track.advance(0.0137f);
        allocations += gAllocations.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(track.interleaved.data());
        benchmark::ClobberMemory();
    }
    state.counters["vertices"] = track.vertexCount;
    state.counters["allocs_per_call"] = benchmark::Counter(static_cast<double>(allocations),
                                                           benchmark::Counter::kAvgIterations);
    if (allocations)
        state.SkipWithError("advance allocated");
}

}  // namespace

static void BM_VertexAnimAdvance(benchmark::State& state)
{
    VertexAnimTrack track = fullDetailTrack();
    if (track.vertexCount != 642)
        state.SkipWithError("expected the full-detail track");
    runAdvance(state, track);
}
BENCHMARK(BM_VertexAnimAdvance)->Unit(benchmark::kMicrosecond);

static void BM_VertexAnimAdvanceWithUpload(benchmark::State& state)
{
    platform::HeadlessGl gl;
    if (!gl.create(64, 64)) {
        state.SkipWithError(gl.error());
        return;
    }
    currentSettings = {};
    currentSettings.DefGamma = true;
    initGl();
    VertexAnimTrack track;
    if (!track.loadBytes("animation\\cell.trk", trackBytes(sphereTrack(3))) || !track.vertexBuffer) {
        state.SkipWithError("no buffer object");
        return;
    }
    runAdvance(state, track);
}
BENCHMARK(BM_VertexAnimAdvanceWithUpload)->Unit(benchmark::kMicrosecond);
