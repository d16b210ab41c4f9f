#include "audio/engine/sample_converter.h"

#include <algorithm>
#include <cmath>

namespace {

// The Vorbis channel order for one to eight channels: l left, r right, c centre (front or rear),
// e low-frequency effects, m mono.
constexpr const char* kLayouts[] = {"m", "lr", "lcr", "lrlr", "lcrlr", "lcrlre", "lcrlrce", "lcrlrlre"};

constexpr float kCentreWeight = 0.70710678f;  // -3 dB on each side keeps a centred sound as loud

}  // namespace

SampleConverter::SampleConverter() = default;

SampleConverter::~SampleConverter() = default;

bool SampleConverter::setup(int channels, int inputRate, int outputRate)
{
    if (channels < 1 || channels > 8 || inputRate < 1000 || inputRate > 384000 || outputRate < 1000 ||
        outputRate > 384000)
        return false;
    channels_ = channels;
    float leftSum = 0, rightSum = 0;
    for (int c = 0; c < channels; ++c) {
        Weights& w = weights_[c];
        switch (kLayouts[channels - 1][c]) {
        case 'm':
            w = {1.0f, 1.0f};
            break;
        case 'l':
            w = {1.0f, 0.0f};
            break;
        case 'r':
            w = {0.0f, 1.0f};
            break;
        case 'c':
            w = {kCentreWeight, kCentreWeight};
            break;
        default:
            w = {0.0f, 0.0f};
            break;
        }
        leftSum += w.left;
        rightSum += w.right;
    }
    // Every channel at full scale together still fits.
    for (int c = 0; c < channels; ++c) {
        weights_[c].left /= std::max(leftSum, 1.0f);
        weights_[c].right /= std::max(rightSum, 1.0f);
    }
    inputRate_ = inputRate;
    outputRate_ = outputRate;
    clear();
    return true;
}

void SampleConverter::put(const int16_t* in, int frames)
{
    flushed_ = false;  // input after the end (a loop starting over) carries the curve on
    const size_t start = input_.size();
    input_.resize(start + static_cast<size_t>(std::max(frames, 0)) * 2);
    float* out = input_.data() + start;
    for (int f = 0; f < frames; ++f, in += channels_, out += 2) {
        float left = 0, right = 0;
        for (int c = 0; c < channels_; ++c) {
            left += weights_[c].left * in[c];
            right += weights_[c].right * in[c];
        }
        out[0] = left;
        out[1] = right;
    }
}

void SampleConverter::flush()
{
    flushed_ = true;
}

void SampleConverter::clear()
{
    input_.clear();
    position_ = 0;
    flushed_ = false;
}

float SampleConverter::sample(long frame, int side) const
{
    const long last = static_cast<long>(input_.size() / 2) - 1;
    return input_[static_cast<size_t>(std::clamp(frame, 0L, last)) * 2 + static_cast<size_t>(side)];
}

int SampleConverter::get(int16_t* out, int maxFrames)
{
    const long count = static_cast<long>(input_.size() / 2);
    int produced = 0;
    while (produced < maxFrames) {
        const long i = static_cast<long>(position_ / outputRate_);
        // Without the end of the input, a frame waits until its two successors have come.
        if (flushed_ ? i >= count : i + 2 >= count)
            break;
        const float t = static_cast<float>(position_ % outputRate_) / static_cast<float>(outputRate_);
        for (int side = 0; side < 2; ++side) {
            const float y0 = sample(i - 1, side), y1 = sample(i, side);
            const float y2 = sample(i + 1, side), y3 = sample(i + 2, side);
            // Catmull-Rom: through y1 and y2 with the slopes their neighbours give.
            const float a = -0.5f * y0 + 1.5f * y1 - 1.5f * y2 + 0.5f * y3;
            const float b = y0 - 2.5f * y1 + 2.0f * y2 - 0.5f * y3;
            const float c = 0.5f * (y2 - y0);
            const float value = ((a * t + b) * t + c) * t + y1;
            out[produced * 2 + side] = static_cast<int16_t>(std::clamp(std::lrintf(value), -32768L, 32767L));
        }
        ++produced;
        position_ += inputRate_;
    }
    // Keep the frame before the next one: the curve needs it.
    const long drop = std::min(static_cast<long>(position_ / outputRate_) - 1, count);
    if (drop > 0) {
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(drop) * 2);
        position_ -= drop * outputRate_;
    }
    return produced;
}
