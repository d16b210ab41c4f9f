// The embedded archive against what the camera and the DNA show need from it.
#include <gtest/gtest.h>

#include <string>

#include "data/data_file.h"
#include "math/random.h"
#include "scenes/camera_path.h"
#include "scenes/dna_helix.h"

namespace {

TEST(ShippedScenes, EveryFileTheRuleCanPickIsAPlayableTrack)
{
    for (SceneSet set : {SceneSet::Cells, SceneSet::Core, SceneSet::Dna}) {
        const int last = sceneFileNumber(set, 1.0f);
        for (int n = 0; n <= last; ++n) {
            const std::string path = std::string(sceneFolder(set)) + "scene" + std::to_string(n) + ".txt";
            DataFile file;
            ASSERT_TRUE(file.open(path.c_str())) << path;
            KeyframeTrack track;
            parseKeyframes(track, file);
            EXPECT_TRUE(isPlayableTrack(track)) << path;
            EXPECT_GE(track.size(), 2u) << path;
            if (!track.empty()) {
                EXPECT_EQ(track[0]->time, 0.0f) << path;
            }
        }
    }
}

TEST(ShippedScenes, TheCameraLoadsFromTheArchiveByDefault)
{
    Random::global().seed(3);
    CameraPath camera;
    for (SceneSet set : {SceneSet::Cells, SceneSet::Core, SceneSet::Dna}) {
        camera.sceneSet = set;
        camera.keyframes.clear();
        camera.loadRandomScene();
        EXPECT_GE(camera.keyframes.size(), 2u);
    }
}

TEST(ShippedScenes, EveryMoleculeFileHoldsTwelveAtoms)
{
    for (int n = 0; n < 10; ++n) {
        const std::string name = "dna" + std::to_string(n) + ".dat";
        DataFile file;
        ASSERT_TRUE(file.open(name.c_str())) << name;
        EXPECT_EQ(file.size, 288u) << name;
        DnaHelix helix;
        EXPECT_TRUE(helix.buildMolecule({file.data, file.size})) << name;
        EXPECT_EQ(helix.strandA.size(), 324u);
    }
}

}  // namespace
