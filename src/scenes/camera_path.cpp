#include "scenes/camera_path.h"

#include <cmath>
#include <cstdio>

#include "data/data_file.h"
#include "data/log.h"
#include "math/random.h"
#include "render/gl.h"

SceneSet nextSceneSet(SceneSet set)
{
    switch (set) {
    case SceneSet::Cells: return SceneSet::Core;
    case SceneSet::Core: return SceneSet::Dna;
    case SceneSet::Dna: return SceneSet::Cells;
    }
    return SceneSet::Cells;
}

const char* sceneFolder(SceneSet set)
{
    switch (set) {
    case SceneSet::Core: return "scenes\\core\\";
    case SceneSet::Cells: return "scenes\\cells\\";
    case SceneSet::Dna: return "scenes\\dna\\";
    }
    return "scenes\\cells\\";
}

namespace {

// One more than the highest number each set can draw; the last number is less likely.
float fileRange(SceneSet set)
{
    switch (set) {
    case SceneSet::Core: return 2.9f;
    case SceneSet::Cells: return 10.9f;
    case SceneSet::Dna: return 5.9f;
    }
    return 10.9f;
}

}  // namespace

int sceneFileNumber(SceneSet set, float r) { return static_cast<int>(r * fileRange(set)); }

Quaternion slerp(const Quaternion& a, const Quaternion& b, float t)
{
    double bx = b.x, by = b.y, bz = b.z, bw = b.w;
    double d = double(a.x) * bx + double(a.y) * by + double(a.z) * bz + double(a.w) * bw;
    if (d < 0.0) {
        bx = -bx, by = -by, bz = -bz, bw = -bw;
        d = -d;
    }
    double wa, wb;
    if (1.0 - d > 0.0001) {
        const double omega = std::acos(d);
        const double s = std::sin(omega);
        wa = std::sin((1.0 - t) * omega) / s;
        wb = std::sin(t * omega) / s;
    } else {
        wa = 1.0 - t;
        wb = t;
    }
    return {float(wa * a.x + wb * bx), float(wa * a.y + wb * by), float(wa * a.z + wb * bz), float(wa * a.w + wb * bw)};
}

void orientationAxes(const Quaternion& q, Vector3& forward, Vector3& up)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    forward = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)};
    up = {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)};
}

void prepareKeyframes(KeyframeTrack& track)
{
    if (track.size() < 2)
        return;
    constexpr float kThird = 0.33333334f;
    const size_t n = track.size() - 1;
    Keyframe& first = *track[0];
    Keyframe& last = *track[n];
    first.gradient = track[1]->position - first.position;
    last.gradient = last.position - track[n - 1]->position;
    first.outControl = slerp(first.orientation, track[1]->orientation, kThird);
    last.inControl = slerp(last.orientation, track[n - 1]->orientation, kThird);
    for (size_t i = 1; i < n; ++i) {
        Keyframe& key = *track[i];
        const Keyframe& before = *track[i - 1];
        const Keyframe& after = *track[i + 1];
        const Vector3 d1 = key.position - before.position;
        const Vector3 d2 = after.position - key.position;
        key.gradient = d1 + (d2 - d1) * 0.5f;
        const Quaternion e = slerp(key.orientation, before.orientation, -kThird);
        const Quaternion f = slerp(key.orientation, after.orientation, kThird);
        const Quaternion h = slerp(e, f, 0.5f);
        key.inControl = slerp(key.orientation, h, -1.0f);
        key.outControl = slerp(key.orientation, h, 1.0f);
    }
}

bool isPlayableTrack(const KeyframeTrack& track)
{
    if (track.size() < 2 || !(track[0]->time <= 0.0f) || !(track.back()->time > 0.0f))
        return false;
    for (size_t i = 1; i < track.size(); ++i) {
        if (!(track[i - 1]->time < track[i]->time))
            return false;
    }
    return true;
}

namespace {

bool readArchiveFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    DataFile file;
    if (!file.open(path.c_str()))
        return false;
    bytes.assign(file.data, file.data + file.size);
    return true;
}

}  // namespace

CameraPath::CameraPath() : readFile(readArchiveFile)
{
    tint.x = 1.0f - 0.7f * randomUnit();
    tint.y = 1.0f - 0.7f * randomUnit();
    tint.z = 1.0f - 0.7f * randomUnit();
}

CameraPath::~CameraPath() = default;

bool CameraPath::loadTrack(std::span<const uint8_t> text)
{
    scratch_.clear();
    parseKeyframes(scratch_, text);
    if (!isPlayableTrack(scratch_))
        return false;
    prepareKeyframes(scratch_);
    keyframes.swap(scratch_);
    scratch_.clear();
    return true;
}

void CameraPath::loadRandomScene()
{
    trackEnded = false;
    const int count = static_cast<int>(fileRange(sceneSet)) + 1;
    const int chosen = sceneFileNumber(sceneSet, randomUnit());
    // The chosen file first, then the rest of the set in turn: a broken file must never be flown.
    for (int attempt = 0; attempt < count; ++attempt) {
        char path[64];
        std::snprintf(path, sizeof path, "%sscene%d.txt", sceneFolder(sceneSet), (chosen + attempt) % count);
        fileBytes_.clear();
        const char* reason = nullptr;
        if (!readFile || !readFile(path, fileBytes_))
            reason = "unreadable";
        else if (!loadTrack(fileBytes_))
            reason = "no playable track";
        if (!reason) {
            // One line a track: a long run's log says which flight was on when something happened.
            Log::instance().freshLine().write("Load scene <").write(path).write("> ...").done();
            return;
        }
        Log::instance().freshLine().write("Scene file <").write(path).write("> skipped: ").write(reason).write("\n");
    }
    Log::instance().write(keyframes.empty() ? "No scene file can be flown\n" : "No scene file can be flown, the previous track plays again\n");
}

void CameraPath::update()
{
    if (keyframes.size() < 2)
        return;
    float t = trackTime;
    size_t segment = 0;
    bool found = false;
    for (size_t k = 0; k + 1 < keyframes.size(); ++k) {
        if (keyframes[k]->time <= t && t < keyframes[k + 1]->time) {
            segment = k;
            found = true;
            break;
        }
    }
    if (!found) {
        segment = 0;
        t = 0.0f;
        trackTime = 0.0f;
        trackEnded = true;
        sceneSet = nextSceneSet(sceneSet);
    }
    const Keyframe& a = *keyframes[segment];
    const Keyframe& b = *keyframes[segment + 1];
    if (a.freeze) {
        position = a.position;
        return;
    }
    const float span = b.time - a.time;
    const float u = span > 0.0f ? (t - a.time) / span : 0.0f;
    position = hermite(a.position, b.position, a.gradient, b.gradient, u);

    const Quaternion s1 = slerp(a.orientation, a.outControl, u);
    const Quaternion s2 = slerp(a.outControl, b.inControl, u);
    const Quaternion s3 = slerp(b.inControl, b.orientation, u);
    const Quaternion s4 = slerp(s1, s2, u);
    const Quaternion s5 = slerp(s2, s3, u);
    orientation = slerp(s4, s5, u);
    orientationAxes(orientation, forward, up);
}

void CameraPath::applyLookAt() const
{
    gluLookAt(position.x, position.y, position.z, position.x + forward.x, position.y + forward.y, position.z + forward.z, up.x, up.y,
              up.z);
}

void CameraPath::applyLookAtRotationOnly() const
{
    gluLookAt(0.0, 0.0, 0.0, forward.x, forward.y, forward.z, up.x, up.y, up.z);
}
