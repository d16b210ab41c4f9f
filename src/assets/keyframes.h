#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "math/quaternion.h"
#include "math/vector3.h"

class DataFile;

// One key of a camera flight. The tangent and the two control quaternions are derived after
// loading; the file only supplies time, hold flag, position and orientation.
class Keyframe {
public:
    Keyframe() = default;
    virtual ~Keyframe() = default;

    float time = 0.0f;     // track-time units
    bool freeze = false;   // hold the camera at this key until the next one
    Vector3 position;
    Vector3 gradient;      // Hermite tangent; always recomputed after loading
    Quaternion orientation{0, 0, 0, 0};
    Quaternion inControl{0, 0, 0, 0};
    Quaternion outControl{0, 0, 0, 0};
};

using KeyframeTrack = std::vector<std::unique_ptr<Keyframe>>;

// Appends one keyframe per complete "keyframe" ... "end" block of a scene file's text to track.
// A block still open when the text runs out is dropped (a truncated file must not leave a
// half-read key with a zero orientation). Lines longer than 127 characters are cut there.
// Returns the number of bytes consumed (the parse stops after "ENDKEYS").
size_t parseKeyframes(KeyframeTrack& track, std::span<const uint8_t> text);

// The same over an open file, from its read position to its end; the position moves past what
// was parsed.
void parseKeyframes(KeyframeTrack& track, DataFile& file);
