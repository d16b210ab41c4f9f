#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Turns interleaved 16-bit audio of one to eight channels at any rate into stereo at the output
// rate: the channels folded into left and right by the Vorbis channel order (centres to both
// sides, the low-frequency channel left out), the rate changed by cubic interpolation.
class SampleConverter {
  public:
    SampleConverter();
    virtual ~SampleConverter();

    // False for a channel count or a rate it cannot take.
    bool setup(int channels, int inputRate, int outputRate);
    // Appends `frames` input frames; after a flush they carry on where the input ended.
    void put(const int16_t* in, int frames);
    // No more input will come: get() may then use the last frames, which need none after them.
    void flush();
    // Up to `maxFrames` stereo frames into `out`; how many there were.
    int get(int16_t* out, int maxFrames);
    // Forgets all input and starts afresh, as after setup.
    void clear();

  private:
    float sample(long frame, int side) const;

    struct Weights {
        float left, right;
    };
    Weights weights_[8] = {};
    int channels_ = 0;
    int64_t inputRate_ = 1, outputRate_ = 1;
    std::vector<float> input_;  // folded stereo frames not yet passed
    int64_t position_ = 0;      // next output frame's place in input_, in 1/outputRate_ frames: exact
    bool flushed_ = false;
};
