#pragma once

#include <vector>

#include "common.h"

namespace assetgen {

constexpr int kMusicRate = 44100;

// The ambient loop, interleaved stereo floats, exactly periodic: sample frames() follows sample
// frames() - 1 as smoothly as any other pair. Pads over a slow six-chord cycle, a low drone,
// sparse bells, all through a long reverb.
struct MusicLoop {
    std::vector<float> samples;  // left, right, left, right, ...
    size_t frames() const { return samples.size() / 2; }
};
MusicLoop synthesiseMusic(double seconds = 144.0);

// Ogg Vorbis (quality -0.1..1), fixed stream serial number so the bytes repeat.
Bytes encodeOggVorbis(const MusicLoop& music, float quality);

}  // namespace assetgen
