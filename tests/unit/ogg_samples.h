#pragma once

#include <cstdint>
#include <vector>

// Small Ogg Vorbis files made on the spot, and libvorbisfile's own decode of them as the reference.

// A few seconds of a chord that does not start at zero, so where the music begins in a recording
// can be found. Interleaved floats in -1..1.
std::vector<float> testChord(int channels, int rate, double seconds);
std::vector<uint8_t> encodeOgg(const std::vector<float>& interleaved, int channels, int rate);
// Interleaved 16-bit samples exactly as ov_read hands them out; empty when the bytes do not open.
std::vector<int16_t> decodeOgg(const std::vector<uint8_t>& bytes);
