#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/scene_timing.h"
#include "scenes/cell.h"
#include "scenes/core_particles.h"
#include "scenes/dna_helix.h"

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

// A machine paused or asleep for days hands the next frame one step of days. Every spinning part
// must turn on smoothly from there: an angle of millions of degrees, worked off one turn a frame,
// held no frame's turn (a float has steps of 0.5 there), and for minutes the spins stuttered or
// stood still.
TEST(SceneTiming, SpinsTurnOnSmoothlyAfterAStallOfDays)
{
    const float stall = 3 * 86400.0f;
    const float frame = 1.0f / 60;
    // Per frame after the stall: how far each part turned, against what its speed gives.
    float worst = 0;
    auto turned = [&](float before, float after, float degreesPerSecond, float seconds) {
        const float moved = std::remainder(after - before, 360.0f);
        worst = std::max(worst, std::fabs(moved - degreesPerSecond * seconds));
    };

    float envAngle = advanceEnvAngle(10, stall);
    CellList cells;
    cells.push_back(std::make_unique<Cell>());
    Cell& cell = *cells[0];
    advanceCells(cells, stall * 0.8f);
    CoreParticles swarm;
    swarm.advance(stall * 0.8f);
    DnaHelix molecule;
    molecule.buildMolecule({});  // no atoms, but its chromosome models
    ASSERT_FALSE(molecule.debrisAngle1.empty());
    molecule.update(stall * 0.8f);

    for (int f = 0; f < 30; ++f) {
        const float env = envAngle, cellAngle = cell.angle, mito = cell.mitoAngle[0];
        const float particle = swarm.particleAngle[0], spin = molecule.spin, debris = molecule.debrisAngle1[0];
        envAngle = advanceEnvAngle(envAngle, frame);
        advanceCells(cells, frame * 0.8f);
        swarm.advance(frame * 0.8f);
        molecule.update(frame * 0.8f);
        turned(env, envAngle, 25, frame);
        turned(cellAngle, cell.angle, 20, frame * 0.8f);
        turned(mito, cell.mitoAngle[0], cell.mitoSpeed[0], frame * 0.8f);
        turned(particle, swarm.particleAngle[0], swarm.particleSpeed[0], frame * 0.8f);
        turned(spin, molecule.spin, DnaHelix::kSpinRate, frame * 0.8f);
        turned(debris, molecule.debrisAngle1[0], molecule.debrisSpeed[0], frame * 0.8f);
    }
    EXPECT_LT(worst, 1e-3f);
    // Back within a turn by then, as after any ordinary frame.
    for (float angle : {envAngle, cell.angle, cell.mitoAngle[0], swarm.particleAngle[0], molecule.spin,
                        molecule.debrisAngle1[0]}) {
        EXPECT_GE(angle, 0.0f);
        EXPECT_LE(angle, 360.0f);
    }
}
