// Decode throughput of the RAR 2.0 decoder beside zlib's inflate and memcpy, in bytes of output.
#include "rar_encoder.h"

#include "data/archive.h"
#include "data/rar_unpack.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t lcg(uint32_t& s)
{
    s = s * 1664525u + 1013904223u;
    return s >> 16;
}

// English-like text with a Zipf-ish vocabulary, newline-broken.
Bytes makeText(size_t n)
{
    std::vector<std::string> words;
    uint32_t s = 7;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        const int len = 2 + int(lcg(s) % 9);
        for (int k = 0; k < len; ++k)
            w += char('a' + lcg(s) % 26);
        words.push_back(w);
    }
    Bytes out;
    while (out.size() < n) {
        const uint32_t r = lcg(s) % 3000;
        const std::string& w = words[(r * r) / 3000];
        out.insert(out.end(), w.begin(), w.end());
        out.push_back(lcg(s) % 12 == 0 ? '\n' : ' ');
    }
    out.resize(n);
    return out;
}

// Float arrays shaped like vertex animation keys: positions on a deforming sphere, key after key.
Bytes makeFloats(size_t n)
{
    Bytes out;
    const int vertices = 2000;
    for (int key = 0; out.size() < n; ++key)
        for (int v = 0; v < vertices && out.size() < n; ++v) {
            const float a = float(v) * 0.37f;
            const float b = float(v) * 0.011f;
            const float r = 1.0f + 0.05f * std::sin(float(key) * 0.6f + a);
            const float xyz[3] = {r * std::cos(a) * std::sin(b), r * std::sin(a) * std::sin(b), r * std::cos(b)};
            const auto* p = reinterpret_cast<const uint8_t*>(xyz);
            out.insert(out.end(), p, p + sizeof xyz);
        }
    out.resize(n);
    return out;
}

// 16-bit stereo PCM: two tones and a little noise.
Bytes makePcm(size_t n)
{
    Bytes out;
    uint32_t s = 3;
    for (size_t i = 0; out.size() < n; ++i)
        for (int c = 0; c < 2; ++c) {
            const double t = double(i) / 44100.0;
            const int v = int(8000 * std::sin(2 * M_PI * (220.0 + 110 * c) * t) + 3000 * std::sin(2 * M_PI * 3.3 * t)) +
                          int(lcg(s) % 200) - 100;
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(v >> 8));
        }
    out.resize(n);
    return out;
}

struct Input {
    Bytes raw;
    Bytes rar;
    Bytes zlib;
};

// 0 text, 1 floats, 2 PCM; 3 the floats again with the encoder free to use multimedia blocks.
const Input& input(int kind)
{
    static Input inputs[4];
    Input& in = inputs[kind];
    if (in.raw.empty()) {
        const size_t n = 4u << 20;
        in.raw = kind == 0 ? makeText(n) : kind == 2 ? makePcm(n) : makeFloats(n);
        RarEncoderOptions options;
        options.multimedia = kind >= 2;
        RarEncoder encoder(options);
        encoder.beginStream();
        encoder.encodeEntry(in.raw.data(), in.raw.size());
        in.rar = encoder.finishStream()[0];
        uLongf size = compressBound(uLong(n));
        in.zlib.resize(size);
        compress2(in.zlib.data(), &size, in.raw.data(), uLong(n), 6);
        in.zlib.resize(size);
    }
    return in;
}

const char* kNames[] = {"text (LZ)", "floats (LZ)", "pcm16 (multimedia)", "floats (multimedia)"};

void label(benchmark::State& state, const Input& in, size_t packed)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.raw.size()));
    state.SetLabel(std::string(kNames[state.range(0)]) + " ratio " +
                   std::to_string(double(packed) / double(in.raw.size())).substr(0, 5));
}

void BM_RarDecode(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    UnpackStatePtr unpack = createUnpackState();
    Bytes out(in.raw.size());
    for (auto _ : state) {
        ArchiveSpan span{in.rar.data(), uint32_t(in.rar.size()), 0};
        uint32_t delivered = 0;
        if (!unpackEntry(*unpack, span, uint32_t(in.rar.size()), uint32_t(out.size()), false, out.data(), &delivered))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in.raw)
        state.SkipWithError("wrong output");
    label(state, in, in.rar.size());
}

void BM_ZlibInflate(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    Bytes out(in.raw.size());
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        if (uncompress(out.data(), &size, in.zlib.data(), uLong(in.zlib.size())) != Z_OK)
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    label(state, in, in.zlib.size());
}

void BM_Memcpy(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    Bytes out(in.raw.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.raw.data(), in.raw.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    label(state, in, in.raw.size());
}

BENCHMARK(BM_RarDecode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
