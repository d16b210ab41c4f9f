#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "data/log.h"
#include "math/random.h"
#include "scenes/camera_path.h"
#include "test_support.h"

namespace {

constexpr float kTol = 1e-5f;

void expectNear(const Vector3& a, const Vector3& b, float tol = kTol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void expectNear(const Quaternion& a, const Quaternion& b, float tol = kTol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
    EXPECT_NEAR(a.w, b.w, tol);
}

// Rotation by degrees about +Z.
Quaternion aboutZ(float degrees)
{
    const double h = degrees * M_PI / 360.0;
    return {0, 0, float(std::sin(h)), float(std::cos(h))};
}

struct Key {
    float time;
    Vector3 position;
    Quaternion orientation = {0, 0, 0, 1};
    bool freeze = false;
};

std::string sceneText(std::initializer_list<Key> keys)
{
    std::string text = "\r\nKEYFRAMES\r\n";
    char line[200];
    for (const Key& k : keys) {
        text += "keyframe\r\n";
        std::snprintf(line, sizeof line, "time %f\r\nposition V(%f %f %f)\r\nquaternion Q(%f %f %f %f)\r\n", k.time, k.position.x,
                      k.position.y, k.position.z, k.orientation.x, k.orientation.y, k.orientation.z, k.orientation.w);
        text += line;
        if (k.freeze)
            text += "freeze\r\n";
        text += "end\r\n";
    }
    return text + "ENDKEYS";
}

TEST(Slerp, TakesTheShorterArcAndInterpolatesOnTheSphere)
{
    const Quaternion a = aboutZ(0), b = aboutZ(90);
    expectNear(slerp(a, b, 0.5f), aboutZ(45));
    const Quaternion negated{-b.x, -b.y, -b.z, -b.w};
    expectNear(slerp(a, negated, 0.5f), aboutZ(45));
    expectNear(slerp(a, b, 0.0f), a);
    expectNear(slerp(a, b, 1.0f / 3.0f), aboutZ(30));
}

TEST(Slerp, NearlyEqualOrientationsUseLinearWeights)
{
    const Quaternion a{0, 0, 0, 1};
    const Quaternion b{0, 0, 0.01f, 0.99995f};  // 1 - dot = 5e-5
    const Quaternion r = slerp(a, b, 3.0f);
    EXPECT_NEAR(r.z, 0.03f, 1e-7f);
    EXPECT_NEAR(r.w, 3 * 0.99995f - 2, 1e-6f);  // a spherical step would give cos(0.03) = 0.99955
    // Just outside the threshold the spherical form is used.
    const Quaternion c = aboutZ(2.0f);  // 1 - dot = 1.5e-4
    expectNear(slerp(a, c, 3.0f), aboutZ(6.0f), 1e-6f);
}

TEST(Slerp, PlusAndMinusOneReturnAndReflect)
{
    const Quaternion q = aboutZ(10), h = aboutZ(70);
    expectNear(slerp(q, h, 1.0f), h);
    const Quaternion opposite{-h.x, -h.y, -h.z, -h.w};
    expectNear(slerp(q, opposite, 1.0f), h);  // the far copy is flipped first: -(-h)
    expectNear(slerp(q, h, -1.0f), aboutZ(-50));
}

TEST(Orientation, ForwardIsTheRotatedXAxisAndUpTheRotatedZAxis)
{
    Vector3 f, u;
    orientationAxes({0, 0, 0, 1}, f, u);
    EXPECT_EQ(f, Vector3(1, 0, 0));
    EXPECT_EQ(u, Vector3(0, 0, 1));
    orientationAxes(aboutZ(90), f, u);
    expectNear(f, {0, 1, 0});
    expectNear(u, {0, 0, 1});
    const float s = std::sqrt(0.5f);
    orientationAxes({0, s, 0, s}, f, u);  // 90 degrees about +Y
    expectNear(f, {0, 0, -1});
    expectNear(u, {1, 0, 0});
    // No normalisation: a zero quaternion gives the identity matrix.
    orientationAxes({0, 0, 0, 0}, f, u);
    EXPECT_EQ(f, Vector3(1, 0, 0));
}

TEST(Preparation, TangentsAndControlQuaternions)
{
    KeyframeTrack track;
    parseKeyframes(track, bytesOf(sceneText({{0, {0, 0, 0}, aboutZ(0)}, {10, {10, 0, 0}, aboutZ(90)}, {20, {10, 10, 0}, aboutZ(180)}})));
    track[1]->gradient = {100, 100, 100};  // always overwritten
    prepareKeyframes(track);
    expectNear(track[0]->gradient, {10, 0, 0});
    expectNear(track[1]->gradient, {5, 5, 0});
    expectNear(track[2]->gradient, {0, 10, 0});
    expectNear(track[0]->outControl, aboutZ(30));
    expectNear(track[1]->inControl, aboutZ(60));
    expectNear(track[1]->outControl, aboutZ(120));
    expectNear(track[2]->inControl, aboutZ(150));
}

TEST(Playable, NeedsTwoAscendingKeysStartingAtTheClockStart)
{
    auto playable = [](std::initializer_list<Key> keys) {
        KeyframeTrack track;
        parseKeyframes(track, bytesOf(sceneText(keys)));
        return isPlayableTrack(track);
    };
    EXPECT_TRUE(playable({{0, {}}, {10, {}}}));
    EXPECT_TRUE(playable({{-5, {}}, {10, {}}, {20, {}}}));
    EXPECT_FALSE(playable({{0, {}}}));
    EXPECT_FALSE(playable({}));
    EXPECT_FALSE(playable({{0, {}}, {10, {}}, {10, {}}}));
    EXPECT_FALSE(playable({{0, {}}, {20, {}}, {10, {}}}));
    EXPECT_FALSE(playable({{5, {}}, {10, {}}}));  // would end on its first frame, every time
    EXPECT_FALSE(playable({{-10, {}}, {0, {}}}));  // so would this one
}

TEST(SceneFiles, NumbersStayInsideEachSetsRange)
{
    EXPECT_EQ(sceneFileNumber(SceneSet::Cells, 0.0f), 0);
    EXPECT_EQ(sceneFileNumber(SceneSet::Cells, 1.0f), 10);
    EXPECT_EQ(sceneFileNumber(SceneSet::Core, 1.0f), 2);
    EXPECT_EQ(sceneFileNumber(SceneSet::Dna, 1.0f), 5);
    EXPECT_EQ(sceneFileNumber(SceneSet::Cells, 0.0917f), 0);
    EXPECT_EQ(sceneFileNumber(SceneSet::Cells, 0.0918f), 1);
    for (SceneSet set : {SceneSet::Cells, SceneSet::Core, SceneSet::Dna}) {
        std::set<int> seen;
        for (int i = 0; i <= 32767; ++i)
            seen.insert(sceneFileNumber(set, static_cast<float>(i / 32767.0)));
        const int last = set == SceneSet::Cells ? 10 : set == SceneSet::Core ? 2 : 5;
        EXPECT_EQ(seen.size(), size_t(last + 1));
        EXPECT_EQ(*seen.begin(), 0);
        EXPECT_EQ(*seen.rbegin(), last);
    }
    EXPECT_EQ(nextSceneSet(SceneSet::Cells), SceneSet::Core);
    EXPECT_EQ(nextSceneSet(SceneSet::Core), SceneSet::Dna);
    EXPECT_EQ(nextSceneSet(SceneSet::Dna), SceneSet::Cells);
}

// A camera reading from an in-memory archive that records every request.
struct FakeArchive {
    std::map<std::string, std::string> files;
    std::vector<std::string> requests;

    void attach(CameraPath& camera)
    {
        camera.readFile = [this](const std::string& path, std::vector<uint8_t>& bytes) {
            requests.push_back(path);
            auto it = files.find(path);
            if (it == files.end())
                return false;
            bytes.assign(it->second.begin(), it->second.end());
            return true;
        };
    }
};

std::string twoKeys(float x) { return sceneText({{0, {x, 0, 0}}, {10, {x, 10, 0}}}); }

TEST(LoadRandomScene, BuildsThePathFromTheSetAndOneRandomNumber)
{
    Random::global().seed(1234);
    CameraPath camera;
    FakeArchive archive;
    archive.attach(camera);
    for (int n = 0; n <= 14; ++n)
        archive.files["scenes\\cells\\scene" + std::to_string(n) + ".txt"] = twoKeys(float(n));
    for (int n = 0; n <= 2; ++n)
        archive.files["scenes\\core\\scene" + std::to_string(n) + ".txt"] = twoKeys(100.0f + n);

    Random mirror;
    mirror.seed(Random::global().state());
    std::set<std::string> cellsSeen;
    for (int i = 0; i < 300; ++i) {
        camera.trackEnded = true;
        camera.loadRandomScene();
        EXPECT_FALSE(camera.trackEnded);
        const int n = sceneFileNumber(SceneSet::Cells, mirror.unit());
        const std::string expected = "scenes\\cells\\scene" + std::to_string(n) + ".txt";
        ASSERT_EQ(archive.requests.back(), expected);
        cellsSeen.insert(expected);
        ASSERT_EQ(camera.keyframes.size(), 2u);
        EXPECT_EQ(camera.keyframes[0]->position.x, float(n));
    }
    EXPECT_EQ(cellsSeen.size(), 11u);  // never 11..14
    EXPECT_EQ(archive.requests.size(), 300u);

    camera.sceneSet = SceneSet::Core;
    camera.loadRandomScene();
    EXPECT_EQ(archive.requests.back().rfind("scenes\\core\\scene", 0), 0u);
    EXPECT_GE(camera.keyframes[0]->position.x, 100.0f);
}

TEST(LoadRandomScene, SkipsFilesThatCannotBeFlownAndKeepsThePreviousTrackWhenNoneCan)
{
    Random::global().seed(7);
    CameraPath camera;
    FakeArchive archive;
    archive.attach(camera);
    camera.sceneSet = SceneSet::Dna;
    // Only file 4 of the DNA set is good; 0 and 1 hold one key, the rest are missing.
    archive.files["scenes\\dna\\scene0.txt"] = sceneText({{0, {}}});
    archive.files["scenes\\dna\\scene1.txt"] = "keyframe\ntime 0\nend\nkeyframe\ntime 10\n";
    archive.files["scenes\\dna\\scene4.txt"] = twoKeys(4);
    camera.loadRandomScene();
    ASSERT_EQ(camera.keyframes.size(), 2u);
    EXPECT_EQ(camera.keyframes[0]->position.x, 4.0f);
    EXPECT_EQ(archive.requests.back(), "scenes\\dna\\scene4.txt");
    EXPECT_LE(archive.requests.size(), 6u);

    // A core set with no good file at all: the DNA track stays, and update still plays it.
    archive.requests.clear();
    camera.sceneSet = SceneSet::Core;
    camera.trackEnded = true;
    camera.loadRandomScene();
    EXPECT_EQ(archive.requests.size(), 3u);
    EXPECT_FALSE(camera.trackEnded);
    ASSERT_EQ(camera.keyframes.size(), 2u);
    EXPECT_EQ(camera.keyframes[0]->position.x, 4.0f);
    camera.trackTime = 5;
    camera.update();
    expectNear(camera.position, {4, 5, 0});

    // At start, with nothing readable, the camera stays put and update does nothing.
    CameraPath empty;
    FakeArchive none;
    none.attach(empty);
    empty.loadRandomScene();
    EXPECT_EQ(none.requests.size(), 11u);
    EXPECT_TRUE(empty.keyframes.empty());
    empty.trackTime = 1000;
    empty.update();
    EXPECT_FALSE(empty.trackEnded);
    EXPECT_EQ(empty.sceneSet, SceneSet::Cells);
    EXPECT_EQ(empty.position, Vector3(0, 0, 0));
}

// The log as the program has written it so far ("log.txt" where the program started), with
// Windows' CR LF line ends read as line feeds.
std::string logText()
{
    std::ifstream in("log.txt", std::ios::binary);
    std::string text;
    for (char c; in.get(c);)
        if (c != '\r')
            text += c;
    return text;
}

TEST(LoadRandomScene, ATrackOfTheMainLoopGetsALineOfItsOwn)
{
    Random::global().seed(3);
    CameraPath camera;
    FakeArchive archive;
    archive.attach(camera);
    camera.sceneSet = SceneSet::Dna;
    for (int n = 0; n <= 5; ++n)
        archive.files["scenes\\dna\\scene" + std::to_string(n) + ".txt"] = twoKeys(float(n));

    // Without music the run's "Starting main loop..." stays open until something follows it.
    Log& log = Log::instance();
    ASSERT_TRUE(log.isOpen());
    size_t start = logText().size();
    log.write("Starting main loop...");
    camera.loadRandomScene();
    EXPECT_EQ(logText().substr(start), "Starting main loop...\nLoad scene <" + archive.requests.back() + "> ...done\n");

    // A line already ended gets no empty line after it.
    start = logText().size();
    camera.loadRandomScene();
    EXPECT_EQ(logText().substr(start), "Load scene <" + archive.requests.back() + "> ...done\n");

    // Nor does a set none of whose files can be flown glue its first complaint to an open line.
    camera.sceneSet = SceneSet::Core;
    start = logText().size();
    log.write("Play music...BASS_StreamPlay : Error Code 5...");
    camera.loadRandomScene();
    const std::string written = logText().substr(start);
    EXPECT_EQ(written.rfind("Play music...BASS_StreamPlay : Error Code 5...\nScene file <scenes\\core\\scene", 0), 0u)
        << written;
    EXPECT_NE(written.find("No scene file can be flown, the previous track plays again\n"), std::string::npos);
}

class Playback : public ::testing::Test {
protected:
    void load(std::initializer_list<Key> keys) { ASSERT_TRUE(camera.loadTrack(bytesOf(sceneText(keys)))); }
    void at(float t)
    {
        camera.trackTime = t;
        camera.update();
    }
    CameraPath camera;
};

TEST_F(Playback, HermitePositionAndBezierOrientation)
{
    load({{0, {0, 0, 0}, aboutZ(0)}, {10, {10, 0, 0}, aboutZ(90)}, {20, {10, 10, 0}, aboutZ(180)}});
    at(5);
    // h00 = 0.5, h10 = 0.125, h01 = 0.5, h11 = -0.125 with tangents (10,0,0) and (5,5,0).
    expectNear(camera.position, {5.625f, -0.625f, 0});
    // Control points at 0, 30, 60, 90 degrees on one great circle: halfway is 45.
    expectNear(camera.orientation, aboutZ(45));
    expectNear(camera.forward, {std::sqrt(0.5f), std::sqrt(0.5f), 0});
    expectNear(camera.up, {0, 0, 1});
    EXPECT_FALSE(camera.trackEnded);
    EXPECT_EQ(camera.trackTime, 5.0f);
}

TEST_F(Playback, AKeyTimeStartsTheSegmentThatBeginsThere)
{
    // Key 0 holds: just before 10 the camera sits at key 0; at exactly 10 the next segment runs.
    load({{0, {1, 2, 3}, aboutZ(0), true}, {10, {10, 0, 0}, aboutZ(90)}, {20, {20, 0, 0}, aboutZ(90)}});
    at(9.999f);
    EXPECT_EQ(camera.position, Vector3(1, 2, 3));
    EXPECT_EQ(camera.forward, Vector3(0, 0, -1));  // never evaluated yet
    at(10);
    expectNear(camera.position, {10, 0, 0});
    expectNear(camera.forward, {0, 1, 0});
    EXPECT_FALSE(camera.trackEnded);
}

TEST_F(Playback, AFrozenKeyHoldsPositionAndKeepsTheViewOfThePreviousFrame)
{
    load({{0, {0, 0, 0}, aboutZ(0)}, {10, {5, 5, 5}, aboutZ(90), true}, {20, {20, 0, 0}, aboutZ(180)}});
    at(7);
    const Vector3 forward = camera.forward, up = camera.up;
    const Quaternion orientation = camera.orientation;
    at(15);
    EXPECT_EQ(camera.position, Vector3(5, 5, 5));
    EXPECT_EQ(camera.forward, forward);
    EXPECT_EQ(camera.up, up);
    EXPECT_EQ(camera.orientation, orientation);
}

TEST_F(Playback, TheLastKeyTimeEndsTheTrackAndTheSetsCycle)
{
    load({{0, {1, 1, 1}, aboutZ(0)}, {10, {5, 0, 0}, aboutZ(90)}, {20, {9, 0, 0}, aboutZ(180)}});
    EXPECT_EQ(camera.sceneSet, SceneSet::Cells);
    at(19.99f);
    EXPECT_FALSE(camera.trackEnded);
    at(20);
    EXPECT_TRUE(camera.trackEnded);
    EXPECT_EQ(camera.trackTime, 0.0f);
    EXPECT_EQ(camera.sceneSet, SceneSet::Core);
    // The frame that finds the end shows the first key's pose.
    EXPECT_EQ(camera.position, Vector3(1, 1, 1));
    expectNear(camera.forward, {1, 0, 0});
    at(500);
    EXPECT_EQ(camera.sceneSet, SceneSet::Dna);
    at(-1);  // before the first key ends it as well
    EXPECT_EQ(camera.sceneSet, SceneSet::Cells);
    EXPECT_EQ(camera.trackTime, 0.0f);
}

TEST_F(Playback, ARejectedTrackLeavesTheLoadedOneAlone)
{
    load({{0, {1, 0, 0}}, {10, {2, 0, 0}}});
    EXPECT_FALSE(camera.loadTrack(bytesOf(sceneText({{0, {7, 0, 0}}}))));
    EXPECT_FALSE(camera.loadTrack(bytesOf("not a scene file")));
    ASSERT_EQ(camera.keyframes.size(), 2u);
    EXPECT_EQ(camera.keyframes[0]->position.x, 1.0f);
}

// Stand-ins for the cells scene: only what the tint rule touches.
struct FakeCell {
    Vector3 colour;
    float distance = 0;
};
struct FakeCells {
    std::vector<std::unique_ptr<FakeCell>> cells;
    std::vector<float> distancesAround;
    Vector3 placedAround{-1, -1, -1};
    void placeAround(const Vector3& p)
    {
        placedAround = p;
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i]->distance = distancesAround[i];
    }
    void add(Vector3 colour, float distance)
    {
        cells.push_back(std::make_unique<FakeCell>(FakeCell{colour, 1e9f}));
        distancesAround.push_back(distance);
    }
};

TEST(Tint, StartsRandomAndComesFromTheCellNearestTheLastKey)
{
    Random::global().seed(99);
    Random mirror;
    mirror.seed(99);
    CameraPath camera;
    const float r0 = mirror.unit(), r1 = mirror.unit(), r2 = mirror.unit();
    // Near, not equal: clang may fuse the multiply-add here where it folds the constants.
    expectNear(camera.tint, Vector3(1 - 0.7f * r0, 1 - 0.7f * r1, 1 - 0.7f * r2), 1e-6f);

    FakeCells scene;
    scene.add({0.1f, 0.1f, 0.1f}, 50);
    scene.add({0.2f, 0.2f, 0.2f}, 3);
    scene.add({0.3f, 0.3f, 0.3f}, 3);  // a tie: the earlier cell wins
    scene.add({0.4f, 0.4f, 0.4f}, 4);
    const Vector3 before = camera.tint;
    camera.pickTint(scene);  // no track yet: nothing to look from
    EXPECT_EQ(camera.tint, before);

    ASSERT_TRUE(camera.loadTrack(bytesOf(sceneText({{0, {1, 2, 3}}, {10, {40, 50, 60}}}))));
    camera.pickTint(scene);
    EXPECT_EQ(scene.placedAround, Vector3(40, 50, 60));
    EXPECT_EQ(camera.tint, Vector3(0.2f, 0.2f, 0.2f));

    FakeCells noCells;
    camera.pickTint(noCells);
    EXPECT_EQ(camera.tint, Vector3(0.2f, 0.2f, 0.2f));
}

}  // namespace

namespace {

TEST(Tint, OnlyPickTintChangesItThroughLoadsAndTrackEnds)
{
    Random::global().seed(11);
    CameraPath camera;
    FakeArchive archive;
    archive.attach(camera);
    for (const char* folder : {"scenes\\cells\\", "scenes\\core\\", "scenes\\dna\\"}) {
        for (int n = 0; n <= 10; ++n)
            archive.files[std::string(folder) + "scene" + std::to_string(n) + ".txt"] = twoKeys(float(n));
    }
    const Vector3 tint = camera.tint;
    camera.loadRandomScene();
    for (int track = 0; track < 6; ++track) {
        camera.trackTime = 5;
        camera.update();
        camera.trackTime = 10;
        camera.update();
        ASSERT_TRUE(camera.trackEnded);
        camera.loadRandomScene();
        EXPECT_EQ(camera.tint, tint);
    }
    EXPECT_EQ(camera.sceneSet, SceneSet::Cells);  // two full cycles
}

}  // namespace
