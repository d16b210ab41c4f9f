// The helpers every animated object calls per vertex or per atom each frame.
#include <benchmark/benchmark.h>

#include "math/random.h"
#include "math/rotation.h"

static void BM_RotatePoint(benchmark::State& state)
{
    Vector3 p(40, 15, 3);
    float angle = 0;
    for (auto _ : state) {
        p = rotatePoint(p, Vector3(0, 1, 0), angle += 0.5f);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_RotatePoint);

static void BM_Hermite(benchmark::State& state)
{
    const Vector3 a(0, 0, 0), b(10, 5, -3), m0(1, 1, 1), m1(-1, 2, 0);
    float t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hermite(a, b, m0, m1, t));
        t = t > 1 ? 0 : t + 0.001f;
    }
}
BENCHMARK(BM_Hermite);

static void BM_RandomDirection(benchmark::State& state)
{
    Random random;
    for (auto _ : state)
        benchmark::DoNotOptimize(random.direction());
}
BENCHMARK(BM_RandomDirection);
