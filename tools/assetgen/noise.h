#pragma once

#include <array>
#include <cstdint>

#include "common.h"

namespace assetgen {

// Tileable 2D gradient noise: the pattern repeats every `period` lattice units on both axes.
class GradientNoise {
public:
    explicit GradientNoise(uint64_t seed);
    // About -1..1.
    double at(double x, double y, int period) const;
    // Sum of octaves, each twice the frequency and `gain` times the amplitude of the one before;
    // x, y in 0..1 tile once over the picture.
    double fbm(double x, double y, int baseFrequency, int octaves, double gain = 0.5) const;
    // Same, of |noise|, folded into sharp ridges (1 on the ridge line).
    double ridged(double x, double y, int baseFrequency, int octaves, double gain = 0.5) const;

private:
    std::array<uint8_t, 512> perm_{};
    std::array<D3, 256> grad_{};
};

// Tileable cellular (Worley) noise over a grid of `cells` × `cells` jittered feature points.
class CellNoise {
public:
    CellNoise(uint64_t seed, int cells, double jitter = 0.9);
    struct Result {
        double f1, f2;     // distances to the nearest and second nearest point, in cell units
        uint32_t id;       // identity of the nearest point
        double cx, cy;     // nearest point, in 0..1 picture units
    };
    Result at(double x, double y) const;  // x, y in 0..1
    int cells() const { return cells_; }

private:
    int cells_;
    std::vector<D3> points_;  // x, y offset in cell, z unused
};

inline double smoothstep(double a, double b, double x)
{
    double t = (x - a) / (b - a);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}
inline double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

}  // namespace assetgen
