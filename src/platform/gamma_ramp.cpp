#include "platform/gamma_ramp.h"

#include <cmath>

namespace platform {

GammaRamp gammaRamp(float redExponent, float greenExponent, float blueExponent)
{
    GammaRamp ramp;
    const float exponents[3] = {redExponent, greenExponent, blueExponent};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < kGammaEntries; ++k) {
            const double value = std::pow(k / 256.0, static_cast<double>(exponents[c])) * 65536.0;
            // Low 16 bits of the truncated value; 0^e is 0 for every exponent above 0.
            ramp.entries[c * kGammaEntries + k] = static_cast<uint16_t>(static_cast<int64_t>(value));
        }
    }
    return ramp;
}

void resampleChannel(const uint16_t* channel256, uint16_t* out, int size)
{
    if (size <= 0)
        return;
    if (size == 1) {
        out[0] = channel256[0];
        return;
    }
    for (int i = 0; i < size; ++i) {
        const double position = static_cast<double>(i) * (kGammaEntries - 1) / (size - 1);
        const int below = static_cast<int>(position);
        const int above = below + 1 < kGammaEntries ? below + 1 : below;
        const double t = position - below;
        const double value = channel256[below] + (channel256[above] - channel256[below]) * t;
        out[i] = static_cast<uint16_t>(value + 0.5);
    }
}

bool usableChannel(const uint16_t* channel, int size)
{
    if (size < 2)
        return false;
    for (int i = 1; i < size; ++i)
        if (channel[i] < channel[i - 1])
            return false;
    return channel[size - 1] > channel[0];
}

}  // namespace platform
