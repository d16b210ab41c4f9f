#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "math/random.h"
#include "math/rotation.h"
#include "scenes/dna_helix.h"

namespace {

void expectNear(const Vector3& a, const Vector3& b, float tol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// glRotatef about +Y applied to a point, as the drawing does it.
Vector3 glTurnY(const Vector3& p, double degrees)
{
    const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    return {float(p.x * c + p.z * s), p.y, float(-p.x * s + p.z * c)};
}

void putFloat(std::vector<uint8_t>& out, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(bits >> (8 * i)));
}

// Twelve records: atom 0 at the molecule origin, atom 1 one unit along the local x axis, atom 2
// along the local axis b, the rest spread out; colour r = record / 12.
std::vector<uint8_t> moleculeFile()
{
    std::vector<uint8_t> out;
    for (int n = 0; n < 12; ++n) {
        Vector3 p;
        if (n == 1)
            p = {1, 0, 0};
        else if (n == 2)
            p = {0, 0, 1};
        else if (n > 2)
            p = {float(n), float(-n) / 2, float(n % 5)};
        for (float f : {p.x, p.y, p.z, n / 12.0f, 0.5f, 1.0f})
            putFloat(out, f);
    }
    return out;
}

TEST(ProceduralHelix, PointsTurnTwentyDegreesAndRiseFifteenPerPair)
{
    DnaHelix helix;
    helix.buildHelixPoints(20.0f, 15.0f, 18);
    ASSERT_EQ(helix.strandA.size(), 18u);
    ASSERT_EQ(helix.strandB.size(), 18u);
    EXPECT_EQ(helix.rise, 15.0f);
    EXPECT_EQ(helix.angleStep, 20.0f);
    expectNear(helix.strandA[0], {40, 0, 0}, 1e-5f);
    expectNear(helix.strandB[0], {-40, 0, 0}, 1e-4f);
    expectNear(helix.strandA[1], {37.5877f, 15, 13.6808f}, 1e-3f);
    expectNear(helix.strandB[1], {-37.5877f, 15, -13.6808f}, 1e-3f);
    for (size_t i = 0; i < 18; ++i) {
        const Vector3& a = helix.strandA[i];
        EXPECT_NEAR(std::hypot(a.x, a.z), 40.0f, 1e-3f);
        expectNear(helix.strandB[i], {-a.x, a.y, -a.z}, 1e-3f);
    }
    EXPECT_EQ(helix.strandA[17].y, 255.0f);
    // Rebuilding replaces the points.
    helix.buildHelixPoints(30.0f, 5.0f, 4);
    EXPECT_EQ(helix.strandA.size(), 4u);
}

TEST(ProceduralHelix, UpdateOnlyTurnsAndWrapsOncePast360)
{
    DnaHelix helix;
    helix.buildHelixPoints(20.0f, 15.0f, 18);
    const auto before = helix.strandA;
    helix.spin = 359.0f;
    helix.update(2.0f / 120.0f);
    EXPECT_NEAR(helix.spin, 1.0f, 1e-4f);
    EXPECT_NEAR(helix.time, 2.0f / 120.0f, 1e-7f);
    helix.spin = 0.0f;
    helix.update(3.0f);
    EXPECT_EQ(helix.spin, 360.0f);  // exactly 360 is not reduced
    helix.update(3.5f);
    EXPECT_EQ(helix.spin, 420.0f);  // reduced once only: 780 - 360
    EXPECT_EQ(helix.strandA, before);
    EXPECT_TRUE(helix.atomState.empty());
    EXPECT_TRUE(helix.debrisAngle1.empty());
}

class MoleculeHelix : public ::testing::Test {
protected:
    void SetUp() override
    {
        Random::global().seed(4242);
        mirror.seed(4242);
        file = moleculeFile();
        ASSERT_TRUE(helix.buildMolecule(file));
    }
    Random mirror;
    std::vector<uint8_t> file;
    DnaHelix helix;
};

TEST_F(MoleculeHelix, BackboneAndCentreLine)
{
    EXPECT_TRUE(helix.moleculeLoaded);
    expectNear(DnaHelix::moleculeCentreOffset(), {80.204f, 0, 0}, 1e-3f);
    ASSERT_EQ(helix.backboneA.size(), 27u);
    ASSERT_EQ(helix.backboneB.size(), 27u);
    expectNear(helix.backboneA[0], {80.204f, 0, 0}, 1e-3f);
    expectNear(helix.backboneA[1], {75.367f, 28.284f, 27.431f}, 1e-2f);
    for (size_t u = 0; u < 27; ++u) {
        const Vector3& a = helix.backboneA[u];
        expectNear(helix.backboneB[u], {-a.x, a.y, -a.z}, 1e-3f);
    }

    // Record 0 sits at the molecule origin, so it traces the running centre.
    ASSERT_EQ(helix.strandA.size(), 324u);
    ASSERT_EQ(helix.strandB.size(), 324u);
    expectNear(helix.strandA[0], {80.204f, 0, 0}, 1e-3f);
    const float h = std::sqrt(0.5f) * 40.0f;
    expectNear(helix.strandA[12], {80.204f, h, h}, 1e-3f);
    const Vector3 b26 = rotatePoint({0, std::sqrt(0.5f), std::sqrt(0.5f)}, {0, 1, 0}, 26 * 20.0f);
    expectNear(helix.strandA[12 * 26] + b26 * 40.0f, {-80.20f, 763.68f, 28.28f}, 2e-2f);
}

TEST_F(MoleculeHelix, EachCopyIsTwistedEightyDegreesAboutItsAxis)
{
    for (size_t u = 0; u < 27; ++u) {
        const Vector3 centre = helix.strandA[12 * u];
        const Vector3 o = helix.strandA[12 * u + 1] - centre;  // local x axis after the twist
        const Vector3 b = helix.strandA[12 * u + 2] - centre;  // local axis
        const Vector3 bWant = rotatePoint({0, std::sqrt(0.5f), std::sqrt(0.5f)}, {0, 1, 0}, 20.0f * u);
        expectNear(b, bWant, 1e-3f);
        EXPECT_NEAR(o.length(), 1.0f, 1e-3f);
        EXPECT_NEAR(dot(o, b), 0.0f, 1e-3f);
        const Vector3 d = rotatePoint({1, 0, 0}, {0, 1, 0}, 20.0f * u);
        EXPECT_NEAR(dot(o, d), std::cos(80.0 * u * M_PI / 180.0), 2e-3f) << "step " << u;
        // Turned against the right-hand sense about b, as glRotatef's transpose does.
        EXPECT_NEAR(dot(cross(d, o), b), -std::sin(80.0 * u * M_PI / 180.0), 2e-3f) << "step " << u;
    }
    for (size_t i = 0; i < 324; ++i) {
        const Vector3& a = helix.strandA[i];
        expectNear(helix.strandB[i], {-a.x, a.y, -a.z}, 1e-3f);
        EXPECT_EQ(helix.atomColour[i], Vector3((i % 12) / 12.0f, 0.5f, 1.0f));
    }
}

TEST_F(MoleculeHelix, RandomDrawsComeInTheirOrder)
{
    // Chromosome models first, seven fields each in order, then rung colours z, y, x, then start
    // times of the even atoms.
    const float angle1 = 360.0f * mirror.unit();
    const float angle2 = 360.0f * mirror.unit();
    const Vector3 axis1 = mirror.direction();
    const Vector3 axis2 = mirror.direction();
    const float speed = 20.0f * mirror.unit() + 1.0f;
    const float distance = 500.0f * mirror.unit() + 250.0f;
    const float cr = 0.7f * mirror.unit(), cg = 0.7f * mirror.unit(), cb = 0.7f * mirror.unit();
    ASSERT_EQ(helix.debrisAngle1.size(), 400u);
    EXPECT_EQ(helix.debrisAngle1[0], angle1);
    EXPECT_EQ(helix.debrisAngle2[0], angle2);
    EXPECT_EQ(helix.debrisAxis1[0], axis1);
    EXPECT_EQ(helix.debrisAxis2[0], axis2);
    EXPECT_EQ(helix.debrisSpeed[0], speed);
    EXPECT_EQ(helix.debrisDistance[0], distance);
    EXPECT_EQ(helix.debrisColour[0], Vector3(1 - cr, 1 - cg, 1 - cb));
    for (int k = 1; k < 400; ++k) {
        for (int draw = 0; draw < 13; ++draw)
            mirror.next();
    }
    const float z = mirror.unit(), y = mirror.unit(), x = mirror.unit();
    EXPECT_EQ(helix.rungColourA[0], Vector3(x, y, z));
    for (int draw = 0; draw < 27 * 6 - 3; ++draw)
        mirror.next();
    for (size_t i = 0; i < 324; ++i) {
        if (i % 2 == 0) {
            EXPECT_EQ(helix.atomMoves[i], 1);
            EXPECT_EQ(helix.atomStartTime[i], 12.0f + 0.05f * i + 0.9f * mirror.unit());
        } else {
            EXPECT_EQ(helix.atomMoves[i], 0);
            EXPECT_EQ(helix.atomStartTime[i], 0.0f);
        }
        EXPECT_EQ(helix.atomState[i], DnaHelix::Parent);
    }
    EXPECT_EQ(helix.flyPosA.size(), 324u);
    EXPECT_EQ(helix.flyControlB.size(), 324u);
}

TEST_F(MoleculeHelix, FlightLeavesTheParentPassesTheControlPointAndLandsInTheDaughter)
{
    const size_t i = 2;
    const float t0 = helix.atomStartTime[i];
    ASSERT_GE(t0, 12.1f);
    ASSERT_LE(t0, 13.0f);

    helix.time = t0 - 0.001f;
    helix.update(0.0f);
    EXPECT_EQ(helix.atomState[i], DnaHelix::Parent);

    helix.time = t0 + 1e-4f;
    helix.update(0.0f);
    ASSERT_EQ(helix.atomState[i], DnaHelix::Flying);
    const float start = helix.time;
    // Start and end are where the parent and the daughter helix draw the atom.
    expectNear(helix.flyStartA[i], Vector3(-300, 0, 0) + glTurnY(helix.strandA[i], 120.0 * start), 2e-2f);
    expectNear(helix.flyEndA[i], Vector3(300, 0, 0) + glTurnY(helix.strandA[i], 120.0 * (start + 2) + 90), 2e-2f);
    expectNear(helix.flyPosA[i], helix.flyStartA[i], 1e-2f);
    expectNear(helix.flyPosB[i], Vector3(-300, 0, 0) + glTurnY(helix.strandB[i], 120.0 * start), 2e-2f);
    for (const Vector3& control : {helix.flyControlA[i], helix.flyControlB[i]}) {
        const float r = (control - Vector3(0, 400, 0)).length();
        EXPECT_GE(r, 99.99f);
        EXPECT_LE(r, 500.01f);
    }
    EXPECT_NE(helix.flyControlA[i], helix.flyControlB[i]);
    const Vector3 controlA = helix.flyControlA[i];

    auto at = [&](float s) {
        helix.time = t0 + s;
        helix.update(0.0f);
        return helix.flyPosA[i];
    };
    expectNear(at(1.0f), controlA, 1e-3f);
    EXPECT_EQ(helix.flyControlA[i], controlA);  // drawn once per flight
    // Continuous at s = 1 with the middle tangent there, at rest at both ends (one-sided
    // differences, tolerances relative to the middle speed).
    const Vector3 middle = (helix.flyEndA[i] - helix.flyStartA[i]) / 2.0f;
    const float speed = middle.length();
    const float e = 1e-4f;
    const Vector3 atOne = at(1.0f);
    expectNear((atOne - at(1.0f - e)) / e, middle, 0.03f * speed);
    expectNear((at(1.0f + e) - atOne) / e, middle, 0.03f * speed);
    expectNear(at(2.0f), helix.flyEndA[i], 1e-3f);
    EXPECT_LT((at(2.0f) - at(2.0f - e)).length() / e, 0.03f * speed);
    EXPECT_LT((at(e) - helix.flyStartA[i]).length() / e, 0.03f * speed);

    // No jumps anywhere along the way.
    Vector3 previous = at(0.001f);
    for (float s = 0.006f; s <= 2.0f; s += 0.005f) {
        const Vector3 p = at(s);
        EXPECT_LT((p - previous).length(), 20.0f) << "s = " << s;
        previous = p;
    }

    at(2.01f);
    EXPECT_EQ(helix.atomState[i], DnaHelix::Daughter);
}

TEST_F(MoleculeHelix, OnlyEvenAtomsMoveAndResetStartsTheShowAgain)
{
    for (int frame = 0; frame < 2400; ++frame)
        helix.update(1.0f / 60.0f);
    EXPECT_NEAR(helix.time, 40.0f, 1e-2f);
    for (size_t i = 0; i < 324; ++i)
        EXPECT_EQ(helix.atomState[i], i % 2 ? DnaHelix::Parent : DnaHelix::Daughter) << i;

    const auto oldTimes = helix.atomStartTime;
    helix.reset();
    EXPECT_EQ(helix.time, 0.0f);
    EXPECT_EQ(helix.spin, 0.0f);
    int changed = 0;
    for (size_t i = 0; i < 324; ++i) {
        EXPECT_EQ(helix.atomState[i], DnaHelix::Parent);
        if (i % 2) {
            EXPECT_EQ(helix.atomStartTime[i], 0.0f);
        } else {
            EXPECT_GE(helix.atomStartTime[i], 12.0f + 0.05f * i);
            EXPECT_LE(helix.atomStartTime[i], 12.9f + 0.05f * i + 1e-4f);
            changed += helix.atomStartTime[i] != oldTimes[i];
        }
    }
    EXPECT_GT(changed, 150);
    // Atom 0 leaves at its start time, not before.
    helix.time = helix.atomStartTime[0];
    helix.update(0.0f);
    EXPECT_EQ(helix.atomState[0], DnaHelix::Parent);
    helix.update(1e-3f);
    EXPECT_EQ(helix.atomState[0], DnaHelix::Flying);
}

TEST_F(MoleculeHelix, ChromosomeModelsTurnAtTheirOwnSpeed)
{
    helix.debrisAngle1[0] = 359.0f;
    helix.debrisSpeed[0] = 20.0f;
    helix.debrisAngle1[1] = 10.0f;
    helix.debrisSpeed[1] = 5.0f;
    helix.update(0.1f);
    EXPECT_NEAR(helix.debrisAngle1[0], 1.0f, 1e-4f);
    EXPECT_NEAR(helix.debrisAngle1[1], 10.5f, 1e-5f);
}

TEST(DaughterRungs, FadeInOneAfterAnother)
{
    EXPECT_EQ(DnaHelix::daughterRungAlpha(20.0f, 1, 27), 0.0f);
    EXPECT_EQ(DnaHelix::daughterRungAlpha(20.0f + 10.0f / 27 - 1e-3f, 1, 27), 0.0f);
    EXPECT_NEAR(DnaHelix::daughterRungAlpha(21.0f + 10.0f / 27, 1, 27), 1.0f, 1e-5f);
    EXPECT_NEAR(DnaHelix::daughterRungAlpha(20.5f + 250.0f / 27, 25, 27), 0.5f, 1e-5f);
    EXPECT_EQ(DnaHelix::daughterRungAlpha(29.0f, 25, 27), 0.0f);
    EXPECT_EQ(DnaHelix::daughterRungAlpha(0.0f, 1, 27), 0.0f);
}

TEST(MoleculeFile, AShortFileGivesAHelixWithoutAtoms)
{
    DnaHelix helix;
    auto bytes = moleculeFile();
    bytes.pop_back();
    EXPECT_FALSE(helix.buildMolecule(bytes));
    EXPECT_TRUE(helix.moleculeLoaded);
    EXPECT_TRUE(helix.strandA.empty());
    EXPECT_TRUE(helix.atomState.empty());
    EXPECT_EQ(helix.backboneA.size(), 27u);
    EXPECT_EQ(helix.debrisAngle1.size(), 400u);
    helix.update(30.0f);
    helix.reset();
    EXPECT_FALSE(helix.buildMolecule({}));

    // A longer file uses its first twelve records.
    bytes = moleculeFile();
    bytes.resize(400, 0xff);
    EXPECT_TRUE(helix.buildMolecule(bytes));
    EXPECT_EQ(helix.strandA.size(), 324u);
}

}  // namespace
