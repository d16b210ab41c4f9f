// One frame's animation and track work: every molecule mid-show, both membranes, the 1400
// particles and the haze, on the real assets in a headless GL context. Also checks that the work
// allocates nothing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/scene_driver.h"
#include "app/scene_world.h"
#include "data/settings.h"
#include "data/text_tables.h"
#include "math/random.h"
#include "platform/headless/headless_gl.h"
#include "render/gl.h"
#include "render/gl_setup.h"

namespace {

std::atomic<long> allocations{0};

platform::HeadlessGl& context()
{
    static platform::HeadlessGl gl;
    return gl;
}

bool prepare()
{
    static bool ready = false;
    if (ready) return true;
    loadSettingsTable();
    initFactorySettings();
    currentSettings.Detail = 2;
    sceneWorld();
    Random::global().seed(1234);
    if (!context().create(64, 64)) {
        std::fprintf(stderr, "frame_bench: no GL context: %s\n", context().error());
        return false;
    }
    initGl();
    loadSceneAssets();
    ready = true;
    return true;
}

// Every molecule 13 s into its show, when the atoms start to fly; the run's frame step would take
// 16 s of frames to get there.
void restartShows()
{
    for (DnaHelix& molecule : sceneWorld().molecules) {
        molecule.reset();
        molecule.update(13.0f);
    }
}

}  // namespace

// Counting replacements of the global allocation functions (GCC cannot tell they pair up).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

static void BM_AdvanceFrame(benchmark::State& state)
{
    if (!prepare()) {
        state.SkipWithError("no GL context");
        return;
    }
    const float dt = 1.0f / 60.0f;
    long framesWithAllocation = 0;
    long frame = 0;
    for (auto _ : state) {
        // Keep the shows in their busiest stretch (13 to 23 s: flights and rung fades).
        if (frame++ % 600 == 0) {
            state.PauseTiming();
            restartShows();
            state.ResumeTiming();
        }
        const long before = allocations.load(std::memory_order_relaxed);
        advanceAnimations(dt);
        advanceTrack(dt);
        // A track change loads a scene file, which may allocate; every other frame must not.
        if (allocations.load(std::memory_order_relaxed) != before && !sceneWorld().camera.trackEnded &&
            sceneWorld().camera.trackTime > 0.1f)
            ++framesWithAllocation;
    }
    state.counters["frames_allocating"] = static_cast<double>(framesWithAllocation);
}
BENCHMARK(BM_AdvanceFrame)->Unit(benchmark::kMicrosecond);

// The whole frame at 800 x 600 in each set, with the GL finished, and its allocations.
static void BM_ComposeFrame(benchmark::State& state)
{
    if (!prepare()) {
        state.SkipWithError("no GL context");
        return;
    }
    static platform::HeadlessGl large;
    static bool made = false;
    if (!made) {
        made = true;
        context().destroy();
        if (!large.create(800, 600)) {
            state.SkipWithError("no 800x600 context");
            return;
        }
        initGl();
        loadSceneAssets();
    }
    startInSceneSet(static_cast<uint8_t>(state.range(0)));
    const float dt = 1.0f / 30.0f;
    for (int i = 0; i < 60; ++i) {
        advanceAnimations(dt);
        advanceTrack(dt);
    }
    long allocating = 0;
    for (auto _ : state) {
        advanceAnimations(dt);
        advanceTrack(dt);
        const long before = allocations.load(std::memory_order_relaxed);
        composeFrame(dt);
        if (allocations.load(std::memory_order_relaxed) != before) ++allocating;
        glFinish();
        // Stay inside the set being measured.
        if (static_cast<int>(sceneWorld().camera.sceneSet) != state.range(0)) {
            state.PauseTiming();
            startInSceneSet(static_cast<uint8_t>(state.range(0)));
            state.ResumeTiming();
        }
    }
    state.counters["frames_allocating"] = static_cast<double>(allocating);
}
BENCHMARK(BM_ComposeFrame)->Arg(1)->Arg(0)->Arg(2)->ArgName("set")->Unit(benchmark::kMillisecond)->MinTime(3);
