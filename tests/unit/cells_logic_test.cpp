#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "math/random.h"
#include "scenes/cell.h"
#include "scenes/core_particles.h"

namespace {

CellList cellsAt(std::initializer_list<Vector3> bases)
{
    CellList cells;
    for (const Vector3& b : bases) {
        auto cell = std::make_unique<Cell>();
        cell->basePosition = cell->position = b;
        cells.push_back(std::move(cell));
    }
    return cells;
}

void expectNear(const Vector3& a, const Vector3& b, float eps = 1e-4f)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

void putFloat(std::vector<uint8_t>& out, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

std::vector<uint8_t> layoutFile(uint32_t count, int records)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(count >> (8 * i)));
    for (int k = 0; k < records; ++k)
        for (float f : {float(k), -2.0f * k, 3.5f, 0.0f, 1.0f, 0.0f, 10.0f * k}) putFloat(out, f);
    return out;
}

}  // namespace

TEST(CellPlacement, CameraAtOriginKeepsBasePositions)
{
    auto cells = cellsAt({{-150, 150, 0}, {-112.5f, 37.5f, 112.5f}, {149, -149, 3}});
    placeCellsAround(cells, {0, 0, 0});
    for (const auto& c : cells) {
        EXPECT_EQ(c->position, c->basePosition);
        EXPECT_FLOAT_EQ(c->distance, c->basePosition.length());
    }
}

TEST(CellPlacement, NearestPeriodicCopyAndTileBoundary)
{
    // Exactly 150 from S stays in the tile; beyond it the copy on the viewer's side is taken.
    auto cells = cellsAt({{150, 0, 0}, {-140, 0, 0}, {-145, 0, 0}, {145, 0, 0}});
    placeCellsAround(cells, {0, 0, 0});
    EXPECT_EQ(cells[0]->position.x, 150.0f);
    placeCellsAround(cells, {20, 0, 0});
    EXPECT_EQ(cells[1]->position.x, 160.0f);
    EXPECT_EQ(cells[0]->position.x, 150.0f);

    // Far tiles, positive and negative: Q is truncated toward zero.
    placeCellsAround(cells, {310, 0, 0});
    EXPECT_EQ(cells[2]->position.x, 455.0f);
    EXPECT_FLOAT_EQ(cells[2]->distance, 145.0f);
    placeCellsAround(cells, {-310, 0, 0});
    EXPECT_EQ(cells[3]->position.x, -455.0f);
    EXPECT_FLOAT_EQ(cells[3]->distance, 145.0f);

    // Every placed copy lies within half a tile of the viewer on each axis.
    auto field = cellsAt({{-120, 80, 140}, {10, -149, -30}, {149, 149, -149}});
    for (Vector3 p : {Vector3(1234, -987, 55), Vector3(-601, 299, -1499), Vector3(450, 450, 450)}) {
        placeCellsAround(field, p);
        for (const auto& c : field) {
            EXPECT_LE(std::fabs(c->position.x - p.x), 150.0f + 1e-3f);
            EXPECT_LE(std::fabs(c->position.y - p.y), 150.0f + 1e-3f);
            EXPECT_LE(std::fabs(c->position.z - p.z), 150.0f + 1e-3f);
            EXPECT_NEAR(std::fmod(std::fabs(c->position.x - c->basePosition.x), 300.0f), 0.0f, 1e-3f);
        }
    }
}

TEST(CellClassify, ViewConeFromBehindTheEyeAndAlpha)
{
    const Vector3 eye(0, 0, 0), forward(0, 0, -1);
    // The cone's apex is 10 units behind the eye (at z = 10).
    const float sinAt = [](float c) { return std::sqrt(1 - c * c); }(0.401f);
    const float sinOut = std::sqrt(1 - 0.399f * 0.399f);
    auto cells = cellsAt({{0, 0, -100},
                          {5, 0, 0},                            // beside the eye: inside, seen from behind
                          {0, 0, 20},                           // behind the apex
                          {100 * sinAt, 0, 10 - 100 * 0.401f},  // just inside cos 0.4
                          {100 * sinOut, 0, 10 - 100 * 0.399f}});
    placeCellsAround(cells, eye);
    classifyCells(cells, eye, forward);
    EXPECT_TRUE(cells[0]->visible);
    EXPECT_TRUE(cells[1]->visible);
    EXPECT_FALSE(cells[2]->visible);
    EXPECT_TRUE(cells[3]->visible);
    EXPECT_FALSE(cells[4]->visible);

    EXPECT_FLOAT_EQ(cells[0]->alpha, 1.0f - (100.0f / 300.0f) * 2.0f);
    auto at = cellsAt({{0, 0, 0}, {0, 0, -150}, {140, 140, 0}});  // the last about 198 away
    placeCellsAround(at, eye);
    classifyCells(at, eye, forward);
    EXPECT_FLOAT_EQ(at[0]->alpha, 1.0f);
    EXPECT_FLOAT_EQ(at[1]->alpha, 0.0f);
    EXPECT_LT(at[2]->alpha, 0.0f);
}

TEST(CellSort, FarthestFirstInPlace)
{
    auto cells = cellsAt({{10, 0, 0}, {-140, 0, 0}, {0, 50, 0}, {0, 0, -120}, {1, 1, 1}});
    const Cell* farthest = cells[1].get();
    placeCellsAround(cells, {0, 0, 0});
    const auto* storage = cells.data();
    sortCellsFarthestFirst(cells);
    EXPECT_EQ(cells.data(), storage);
    EXPECT_EQ(cells[0].get(), farthest);
    for (size_t i = 1; i < cells.size(); ++i) EXPECT_GE(cells[i - 1]->distance, cells[i]->distance);

    // A NaN distance must not upset the sort.
    cells[2]->distance = NAN;
    sortCellsFarthestFirst(cells);
    EXPECT_EQ(cells.size(), 5u);
}

TEST(CellAnimation, AnglesWrapOnceOnlyAbove360)
{
    auto cells = cellsAt({{0, 0, 0}});
    Cell& c = *cells[0];
    c.angle = 350;
    for (int i = 0; i < Cell::kMitochondria; ++i) {
        c.mitoAngle[i] = 355;
        c.mitoSpeed[i] = 10;
    }
    advanceCells(cells, 0.5f);  // 20 deg/s: exactly 360, which stays
    EXPECT_EQ(c.angle, 360.0f);
    EXPECT_EQ(c.mitoAngle[0], 360.0f);
    advanceCells(cells, 0.5f);
    EXPECT_FLOAT_EQ(c.angle, 10.0f);
    EXPECT_FLOAT_EQ(c.mitoAngle[9], 5.0f);
    EXPECT_FLOAT_EQ(advanceAngle(100, 700), 440.0f);  // one subtraction only
}

TEST(CellRandom, ConstructorDrawOrderAndRecolourRange)
{
    Random::global().seed(77);
    Random mirror;
    mirror.seed(77);
    Cell cell;
    EXPECT_EQ(cell.position, Vector3(0, 0, 0));
    for (int i = 0; i < Cell::kMitochondria; ++i) {
        EXPECT_FLOAT_EQ(cell.mitoAngle[i], 360.0f * mirror.unit());
        expectNear(cell.mitoAxis[i], mirror.direction(), 1e-6f);
        EXPECT_FLOAT_EQ(cell.mitoSpeed[i], 5.0f + 55.0f * mirror.unit());
        EXPECT_FLOAT_EQ(cell.mitoRadius[i], 5.0f + 10.0f * mirror.unit());
        EXPECT_NEAR(cell.mitoAxis[i].length(), 1.0f, 1e-5f);
    }
    const float r = 1 - 0.7f * mirror.unit(), g = 1 - 0.7f * mirror.unit(), b = 1 - 0.7f * mirror.unit();
    expectNear(cell.colour, {r, g, b}, 1e-6f);

    auto cells = cellsAt({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    std::vector<Vector3> before;
    for (const auto& c : cells) before.push_back(c->colour);
    for (int round = 0; round < 50; ++round) {
        recolourCells(cells);
        for (const auto& c : cells)
            for (float v : {c->colour.x, c->colour.y, c->colour.z}) {
                EXPECT_GE(v, 0.3f - 1e-6f);
                EXPECT_LE(v, 1.0f);
            }
    }
    EXPECT_NE(cells[0]->colour, before[0]);
    EXPECT_NE(cells[0]->colour.x, cells[0]->colour.y);
}

TEST(CellLayoutFile, CompleteTruncatedAndEmpty)
{
    const auto full = layoutFile(3, 3);
    EXPECT_EQ(full.size(), 4u + 3 * 28);
    CellLayout layout = parseCellLayout(full);
    ASSERT_TRUE(layout.complete);
    ASSERT_EQ(layout.records.size(), 3u);
    EXPECT_EQ(layout.records[2].position, Vector3(2, -4, 3.5f));
    EXPECT_EQ(layout.records[2].axis, Vector3(0, 1, 0));
    EXPECT_EQ(layout.records[2].angle, 20.0f);

    // A count larger than the data: only the whole records, and flagged incomplete.
    auto cut = layoutFile(64, 2);
    cut.resize(cut.size() - 5);
    layout = parseCellLayout(cut);
    EXPECT_FALSE(layout.complete);
    EXPECT_EQ(layout.records.size(), 1u);

    EXPECT_FALSE(parseCellLayout({}).complete);
    EXPECT_TRUE(parseCellLayout(layoutFile(0, 0)).records.empty());
}

TEST(CoreSwarm, ParticleRangesAndDeterministicLayout)
{
    Random::global().seed(1);
    CoreParticles a;
    Random::global().seed(1);
    CoreParticles b;
    ASSERT_EQ(a.orbitRadius.size(), 1400u);
    for (int i = 0; i < CoreParticles::kCount; ++i) {
        EXPECT_GE(a.orbitRadius[i], 270.0f);
        EXPECT_LE(a.orbitRadius[i], 870.0f);
        EXPECT_GE(a.particleSpeed[i], 1.0f);
        EXPECT_LE(a.particleSpeed[i], 21.0f);
        EXPECT_GE(a.particleAngle[i], 0.0f);
        EXPECT_LE(a.particleAngle[i], 360.0f);
        EXPECT_LE(a.orbitTilt[i], 360.0f);
        EXPECT_NEAR(a.orbitAxis[i].length(), 1.0f, 1e-5f);
        EXPECT_NEAR(a.spinAxis[i].length(), 1.0f, 1e-5f);
        for (float v : {a.particleColour[i].x, a.particleColour[i].y, a.particleColour[i].z}) {
            EXPECT_GE(v, 0.3f - 1e-6f);
            EXPECT_LE(v, 1.0f);
        }
        EXPECT_EQ(a.orbitRadius[i], b.orbitRadius[i]);
    }
    // The first particle's draws in their order: angle, tilt, two axes, speed, radius, colour.
    Random mirror;
    mirror.seed(1);
    EXPECT_FLOAT_EQ(a.particleAngle[0], 360.0f * mirror.unit());
    EXPECT_FLOAT_EQ(a.orbitTilt[0], 360.0f * mirror.unit());
    expectNear(a.orbitAxis[0], mirror.direction(), 1e-6f);
    expectNear(a.spinAxis[0], mirror.direction(), 1e-6f);
    EXPECT_FLOAT_EQ(a.particleSpeed[0], 1.0f + 20.0f * mirror.unit());
    EXPECT_FLOAT_EQ(a.orbitRadius[0], 270.0f + 600.0f * mirror.unit());
}

TEST(CoreSwarm, OrbitAdvanceWrapsAndRibosomesSpinFaster)
{
    Random::global().seed(5);
    CoreParticles p;
    p.particleAngle[0] = 359;
    p.particleSpeed[0] = 2;
    p.particleAngle[1300] = 10;
    p.particleSpeed[1300] = 4;
    p.particleAngle[7] = 350;
    p.particleSpeed[7] = 10;
    p.advance(1.0f);
    EXPECT_FLOAT_EQ(p.particleAngle[0], 1.0f);
    EXPECT_FLOAT_EQ(p.particleAngle[7], 360.0f);
    EXPECT_FLOAT_EQ(p.particleAngle[1300], 14.0f);
    EXPECT_FLOAT_EQ(p.spinAngle(1300), 16.0f * 14.0f);
    EXPECT_FLOAT_EQ(p.spinAngle(1199), p.particleAngle[1199]);
    EXPECT_FLOAT_EQ(p.spinAngle(1200), 16.0f * p.particleAngle[1200]);
}
