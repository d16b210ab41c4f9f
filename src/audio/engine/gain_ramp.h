#pragma once

#include <cstdint>

// The master volume as a gain on the mixed samples. A new volume is reached by a straight glide
// of at most 20 ms for a full swing, never by a jump, so changing it while music plays neither
// clicks nor buzzes.
class GainRamp {
public:
    explicit GainRamp(int sampleRate = 44100);
    virtual ~GainRamp();

    void setVolume(int volume);  // 0..100, clamped
    void jumpToTarget() { gain_ = target_; }
    // Interleaved stereo: out = mixed × gain, rounded and clipped to 16 bits.
    void apply(const int32_t* mixed, int16_t* out, int frames);
    float gain() const { return gain_; }

private:
    float gain_ = 1.0f;
    float target_ = 1.0f;
    float step_ = 0.0f;  // gain change per frame
};
