#include <gtest/gtest.h>

#include "app/scene_timing.h"

TEST(SceneTiming, TrackRatesPerSet)
{
    EXPECT_EQ(trackRate(kCellsSet), 3.0f);
    EXPECT_EQ(trackRate(kCoreSet), 2.0f);
    EXPECT_EQ(trackRate(kDnaSet), 1.0f);
}

TEST(SceneTiming, BackgroundSpinStaysWithin360)
{
    EXPECT_FLOAT_EQ(advanceEnvAngle(0, 1), 25.0f);
    EXPECT_EQ(advanceEnvAngle(350, 0.4f), 360.0f);  // exactly 360 stays
    EXPECT_NEAR(advanceEnvAngle(350, 0.44f), 1.0f, 1e-4f);
    float angle = 0;
    for (int i = 0; i < 2000; ++i) {
        angle = advanceEnvAngle(angle, 0.37f + 0.013f * (i % 50));
        ASSERT_LE(angle, 360.0f);
        ASSERT_GE(angle, 0.0f);
    }
}

TEST(SceneTiming, FrameRateFigureIsZeroUntilTheFirstWindowEnds)
{
    FrameRateCounter fps;
    for (int i = 0; i < 4; ++i) fps.addFrame(0.25f);  // exactly 1 s: not yet past
    EXPECT_EQ(fps.framesPerSecond, 0);
    fps.addFrame(0.25f);
    EXPECT_EQ(fps.framesPerSecond, 5);
    EXPECT_EQ(fps.frameCount, 0);
    EXPECT_EQ(fps.fpsSeconds, 0.0f);
    for (int i = 0; i < 150; ++i) fps.addFrame(0.01f);
    // The float sum passes 1 at the 100th or 101st frame; the rest start the next window.
    EXPECT_GE(fps.framesPerSecond, 100);
    EXPECT_LE(fps.framesPerSecond, 101);
    EXPECT_EQ(fps.framesPerSecond + fps.frameCount, 150);
}

TEST(SceneTiming, MoleculeChoiceCoversZeroToNine)
{
    EXPECT_EQ(pickActiveMolecule(0.0f), 0);
    EXPECT_EQ(pickActiveMolecule(0.01f), 0);  // 0 is slightly more likely
    EXPECT_EQ(pickActiveMolecule(0.5f), 4);
    EXPECT_EQ(pickActiveMolecule(0.2f), 1);
    EXPECT_EQ(pickActiveMolecule(1.0f), 9);
    int seen[10] = {};
    for (int v = 0; v <= 32767; ++v) {
        const int32_t m = pickActiveMolecule(static_cast<float>(v / 32767.0));
        ASSERT_GE(m, 0);
        ASSERT_LE(m, 9);
        ++seen[m];
    }
    for (int m = 0; m < 10; ++m) EXPECT_GT(seen[m], 2800);
    EXPECT_GT(seen[0], seen[9]);
}

TEST(SceneTiming, FadeLayerOnlyEarlyInCoreAndDnaTracksAtHighDetail)
{
    EXPECT_TRUE(hazeShown(kCoreSet, 0, 2));
    EXPECT_TRUE(hazeShown(kDnaSet, 3.0f, 2));
    EXPECT_FALSE(hazeShown(kDnaSet, 3.01f, 2));
    EXPECT_FALSE(hazeShown(kCellsSet, 0, 2));
    EXPECT_FALSE(hazeShown(kCoreSet, 1, 1));
    EXPECT_FALSE(hazeShown(kCoreSet, 1, 0));
    EXPECT_FLOAT_EQ(hazeAlpha(0), 0.9f);
    EXPECT_FLOAT_EQ(hazeAlpha(1), 0.6f);
    EXPECT_EQ(hazeAlpha(3), 0.0f);
}
