#include <gtest/gtest.h>

#include "math/quaternion.h"
#include "math/random.h"
#include "math/rotation.h"

namespace {

void expectNear(const Vector3& a, const Vector3& b, float eps = 1e-4f)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

TEST(Rotation, AboutYFollowsTheRowVectorConvention)
{
    // (x cos a - z sin a, y, x sin a + z cos a): a quarter turn sends +X to +Z.
    expectNear(rotatePoint({1, 0, 0}, {0, 1, 0}, 90), {0, 0, 1});
    expectNear(rotatePoint({0, 0, 1}, {0, 1, 0}, 90), {-1, 0, 0});
    const float a = degreesToRadians(20);
    expectNear(rotatePoint({40, 15, 0}, {0, 1, 0}, 20), {40 * std::cos(a), 15, 40 * std::sin(a)});
}

TEST(Rotation, AxisIsNormalisedAndZeroAxisLeavesThePoint)
{
    expectNear(rotatePoint({1, 2, 3}, {0, 5, 0}, 33), rotatePoint({1, 2, 3}, {0, 1, 0}, 33));
    expectNear(rotatePoint({1, 2, 3}, {0, 0, 0}, 45), {1, 2, 3});
}

TEST(Rotation, TurnsByMinusAngleAboutArbitraryAxes)
{
    // Row vector times glRotate(angle) equals the column-vector rotation by -angle.
    const Vector3 axis = normalise(Vector3(1, 2, -1));
    const Vector3 p(3, -1, 2);
    const Vector3 there = rotatePoint(p, axis, 70);
    expectNear(rotatePoint(there, axis, -70), p);
    EXPECT_NEAR(there.length(), p.length(), 1e-4f);
    EXPECT_NEAR(dot(there, axis), dot(p, axis), 1e-4f);
    // About X by 90: (x, y, z) -> (x, z, -y) for a row vector.
    expectNear(rotatePoint({0, 1, 0}, {1, 0, 0}, 90), {0, 0, -1});
}

TEST(Rotation, AboutPivot)
{
    expectNear(rotateAboutPivot({-290, 0, 0}, {0, 1, 0}, {-300, 0, 0}, 180), {-310, 0, 0});
    expectNear(rotateAboutPivot({5, 7, 0}, {0, 1, 0}, {5, 0, 0}, 123), {5, 7, 0});
}

TEST(VectorHelpers, HermiteEndsAndTangents)
{
    const Vector3 p0(1, 2, 3), p1(4, -5, 6), m0(1, 0, 0), m1(0, 3, 0);
    expectNear(hermite(p0, p1, m0, m1, 0), p0);
    expectNear(hermite(p0, p1, m0, m1, 1), p1);
    // Zero tangents: smoothstep between the points.
    expectNear(hermite({0, 0, 0}, {2, 2, 2}, {}, {}, 0.5f), {1, 1, 1});
    const float h = 1e-3f;
    const Vector3 slope = (hermite(p0, p1, m0, m1, h) - hermite(p0, p1, m0, m1, 0)) / h;
    expectNear(slope, m0, 5e-2f);
}

TEST(VectorHelpers, CrossDotLerpNormalise)
{
    expectNear(cross({1, 0, 0}, {0, 1, 0}), {0, 0, 1});
    EXPECT_FLOAT_EQ(dot({1, 2, 3}, {4, 5, 6}), 32);
    expectNear(lerp(Vector3(0, 10, 0), Vector3(10, 20, -10), 0.25f), {2.5f, 12.5f, -2.5f});
    EXPECT_NEAR(normalise(Vector3(3, 4, 12)).length(), 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(dot(Quaternion(1, 2, 3, 4), Quaternion(1, 1, 1, 1)), 10);
}

TEST(RandomNumbers, ClassicSequenceFromStateOne)
{
    Random random;
    EXPECT_EQ(random.next(), 41);
    EXPECT_EQ(random.next(), 18467);
    EXPECT_EQ(random.next(), 6334);
    EXPECT_EQ(random.next(), 26500);
    random.seed(1);
    EXPECT_FLOAT_EQ(random.unit(), static_cast<float>(41 / 32767.0));
    random.seed(12345);
    Random same;
    same.seed(12345);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(random.next(), same.next());
}

TEST(RandomNumbers, DirectionDrawsXYZInOrderAndIsUnit)
{
    Random random;
    const Vector3 d = random.direction();
    Random expected;
    const float x = 20 * expected.unit() - 10, y = 20 * expected.unit() - 10, z = 20 * expected.unit() - 10;
    expectNear(d, normalise(Vector3(x, y, z)), 1e-6f);
    for (int i = 0; i < 1000; ++i) {
        const int v = random.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

}  // namespace
