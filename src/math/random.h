#pragma once

#include <cstdint>

#include "math/vector3.h"

// The classic C runtime generator: state * 214013 + 2531011, output bits 16..30. The same
// sequence on every platform, so a seed reproduces a picture exactly.
class Random {
public:
    static constexpr int kMax = 32767;

    static Random& global();

    void seed(uint32_t s) { state_ = s; }
    int next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7fff);
    }
    // r: one draw divided by 32767.0.
    float unit() { return static_cast<float>(next() / 32767.0); }
    // (20r - 10, 20r - 10, 20r - 10), drawn x, y, z, divided by its length.
    Vector3 direction();

    uint32_t state() const { return state_; }

private:
    uint32_t state_ = 1;
};

// Shorthands for the process-wide generator every scene draws from.
inline float randomUnit() { return Random::global().unit(); }
inline Vector3 randomDirection() { return Random::global().direction(); }
