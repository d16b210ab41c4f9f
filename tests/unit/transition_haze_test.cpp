#include <gtest/gtest.h>

#include <iterator>

#include "math/random.h"
#include "scenes/transition_haze.h"

namespace {

void fillLayers(TransitionHaze& haze)
{
    haze.count = 6;
    for (int i = 0; i < haze.count; ++i) haze.layers.push_back(Vector3(float(i), 0, 0));
}

}  // namespace

TEST(TransitionHaze, StartsTenAwayAndRecyclesOnlyBelowZero)
{
    TransitionHaze haze;
    EXPECT_EQ(haze.offset, 10.0f);
    EXPECT_EQ(haze.spacing, 10.0f);
    EXPECT_FLOAT_EQ(haze.alpha, 0.4f);
    fillLayers(haze);
    const Vector3* nearest = &haze.layers.back();

    haze.update(0.25f);  // 40 units per second: exactly 0, not yet recycled
    EXPECT_EQ(haze.offset, 0.0f);
    EXPECT_EQ(haze.layers.front(), Vector3(0, 0, 0));
    EXPECT_EQ(haze.layers.back(), Vector3(5, 0, 0));

    Random::global().seed(9);
    Random mirror;
    mirror.seed(9);
    haze.update(0.01f);
    EXPECT_NEAR(haze.offset, 9.6f, 1e-5f);
    ASSERT_EQ(haze.layers.size(), 6u);
    EXPECT_EQ(haze.layers.back(), Vector3(4, 0, 0));            // the nearest one went
    EXPECT_EQ(*std::next(haze.layers.begin()), Vector3(0, 0, 0));  // the old farthest moved up
    const Vector3 fresh = mirror.direction();
    EXPECT_EQ(haze.layers.front(), fresh);
    // The recycled layer reuses the node of the one that left: nothing is allocated per frame.
    EXPECT_EQ(&haze.layers.front(), nearest);
}

TEST(TransitionHaze, AtMostOneLayerPerUpdateAndAStallDropsWholeLayers)
{
    TransitionHaze haze;
    fillLayers(haze);
    haze.update(1.0f);  // 40 units at once: one recycle, and the stack as far on as 40 units take it
    EXPECT_FLOAT_EQ(haze.offset, 10.0f);
    EXPECT_EQ(haze.layers.back(), Vector3(4, 0, 0));
    haze.update(0.1f);
    EXPECT_FLOAT_EQ(haze.offset, 6.0f);
    EXPECT_EQ(haze.layers.back(), Vector3(4, 0, 0));
    EXPECT_EQ(haze.layers.size(), 6u);

    // An hour asleep: the stack stays in front of the eye, and the next frame recycles nothing.
    haze.update(3600.25f);
    EXPECT_GE(haze.offset, 0.0f);
    EXPECT_LT(haze.offset, haze.spacing);
    EXPECT_EQ(haze.layers.back(), Vector3(3, 0, 0));
    const float before = haze.offset;
    haze.update(1.0f / 30);
    EXPECT_NEAR(haze.offset, before - 40.0f / 30, 1e-3f);
    EXPECT_EQ(haze.layers.back(), Vector3(3, 0, 0));

    TransitionHaze empty;  // not loaded: moving it must not touch a missing layer
    empty.update(0.5f);
    EXPECT_FLOAT_EQ(empty.offset, 10.0f);
    EXPECT_TRUE(empty.layers.empty());
}
