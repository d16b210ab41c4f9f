#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "assets/keyframes.h"
#include "math/quaternion.h"
#include "math/vector3.h"

// The three scene sets, in the numbering the scene driver stores.
enum class SceneSet : uint8_t { Core = 0, Cells = 1, Dna = 2 };

// The set that follows a finished track: cells -> core -> DNA -> cells.
SceneSet nextSceneSet(SceneSet set);

// Archive folder of a set's scene files ("scenes\cells\" ...).
const char* sceneFolder(SceneSet set);

// Scene file number for the random draw r in [0, 1]: 0..10 for cells, 0..2 core, 0..5 DNA.
int sceneFileNumber(SceneSet set, float r);

// Spherical interpolation along the shorter arc, weights computed in double precision; t may lie
// outside [0, 1]. Not renormalised.
Quaternion slerp(const Quaternion& a, const Quaternion& b, float t);

// The rotated +X axis (view direction) and +Z axis (up) of a quaternion's rotation matrix.
void orientationAxes(const Quaternion& q, Vector3& forward, Vector3& up);

// Derives the Hermite tangents and the Bezier control quaternions of a track of two or more keys.
void prepareKeyframes(KeyframeTrack& track);

// A track the camera can fly: at least two keys, times strictly ascending, time 0 (where the clock
// starts) at or after the first and before the last, so the end rule never fires at the start.
bool isPlayableTrack(const KeyframeTrack& track);

// The camera: follows one scene file's keyframe track and cycles the scene sets as tracks end.
// The scene set and the track clock live here too; the scene driver advances the clock.
class CameraPath {
public:
    // Reads a whole archive file; false when it cannot be read.
    using FileReader = std::function<bool(const std::string& path, std::vector<uint8_t>& bytes)>;

    CameraPath();  // draws the tint: three random numbers
    virtual ~CameraPath();
    CameraPath(const CameraPath&) = delete;
    CameraPath& operator=(const CameraPath&) = delete;

    // Loads a random scene file of the current set. A file that cannot be read or flown is skipped
    // for the next number of the set (logged); when none can be flown, the previous track stays.
    void loadRandomScene();

    // Tint = colour of the cell nearest to the last keyframe's position. Works with any scene
    // that offers placeAround(point) and a list `cells` of owned cells with distance and colour.
    template <class Cells>
    void pickTint(Cells& scene);

    // Evaluates the track at trackTime; at its end resets the clock, sets trackEnded and
    // advances sceneSet.
    void update();

    void applyLookAt() const;
    void applyLookAtRotationOnly() const;

    // Replaces the track with the one parsed from text; false (track unchanged) when the text
    // holds no playable track.
    bool loadTrack(std::span<const uint8_t> text);

    Vector3 forward{0, 0, -1};
    Vector3 up{0, 1, 0};
    Vector3 position;
    Quaternion orientation;
    Vector3 tint;
    bool trackEnded = false;
    KeyframeTrack keyframes;

    SceneSet sceneSet = SceneSet::Cells;
    float trackTime = 0.0f;  // track-time units

    // Where scene files come from; the archive unless a test or tool swaps it.
    FileReader readFile;

private:
    std::vector<uint8_t> fileBytes_;
    KeyframeTrack scratch_;
};

template <class Cells>
void CameraPath::pickTint(Cells& scene)
{
    if (keyframes.empty() || scene.cells.empty())
        return;
    scene.placeAround(keyframes.back()->position);
    const auto* nearest = &*scene.cells.front();
    for (const auto& cell : scene.cells) {
        if (cell->distance < nearest->distance)
            nearest = &*cell;
    }
    tint = nearest->colour;
}
