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

TEST(TransitionHaze, AtMostOneLayerPerUpdate)
{
    TransitionHaze haze;
    fillLayers(haze);
    haze.update(1.0f);  // 40 units at once: one recycle, the offset keeps its deficit
    EXPECT_FLOAT_EQ(haze.offset, -20.0f);
    EXPECT_EQ(haze.layers.back(), Vector3(4, 0, 0));
    haze.update(0);
    EXPECT_FLOAT_EQ(haze.offset, -10.0f);
    EXPECT_EQ(haze.layers.back(), Vector3(3, 0, 0));
    EXPECT_EQ(haze.layers.size(), 6u);

    TransitionHaze empty;  // not loaded: moving it must not touch a missing layer
    empty.update(0.5f);
    EXPECT_FLOAT_EQ(empty.offset, 0.0f);
    EXPECT_TRUE(empty.layers.empty());
}
