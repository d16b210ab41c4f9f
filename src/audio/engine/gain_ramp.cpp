#include "audio/engine/gain_ramp.h"

#include <algorithm>
#include <cmath>

namespace {

inline int16_t clip(float value)
{
    const long rounded = std::lrintf(value);
    return static_cast<int16_t>(std::clamp<long>(rounded, -32768, 32767));
}

}  // namespace

GainRamp::GainRamp(int sampleRate) : step_(1.0f / (0.02f * static_cast<float>(std::max(sampleRate, 1000)))) {}

GainRamp::~GainRamp() = default;

void GainRamp::setVolume(int volume) { target_ = static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f; }

void GainRamp::apply(const int32_t* mixed, int16_t* out, int frames)
{
    int frame = 0;
    for (; frame < frames && gain_ != target_; ++frame) {
        gain_ = gain_ < target_ ? std::min(gain_ + step_, target_) : std::max(gain_ - step_, target_);
        out[frame * 2] = clip(static_cast<float>(mixed[frame * 2]) * gain_);
        out[frame * 2 + 1] = clip(static_cast<float>(mixed[frame * 2 + 1]) * gain_);
    }
    const int rest = (frames - frame) * 2;
    mixed += frame * 2;
    out += frame * 2;
    if (gain_ == 1.0f) {
        for (int i = 0; i < rest; ++i)
            out[i] = static_cast<int16_t>(std::clamp<int32_t>(mixed[i], -32768, 32767));
    } else if (gain_ == 0.0f) {
        std::fill(out, out + rest, int16_t{0});
    } else {
        for (int i = 0; i < rest; ++i)
            out[i] = clip(static_cast<float>(mixed[i]) * gain_);
    }
}
