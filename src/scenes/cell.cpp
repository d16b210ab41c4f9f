#include "scenes/cell.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "math/random.h"

namespace {

float readFloat(const uint8_t* p)
{
    uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Vector3 readVector(const uint8_t* p) { return {readFloat(p), readFloat(p + 4), readFloat(p + 8)}; }

float coloured() { return 1.0f - 0.7f * randomUnit(); }

float placeAxis(float base, float s, float q)
{
    if (std::fabs(base - s) > kCellTile / 2) return base > s ? base + q - kCellTile : base + q + kCellTile;
    return base + q;
}

}  // namespace

Cell::Cell()
{
    for (int i = 0; i < kMitochondria; ++i) {
        mitoAngle[i] = 360.0f * randomUnit();
        mitoAxis[i] = randomDirection();
        mitoSpeed[i] = 5.0f + 55.0f * randomUnit();
        mitoRadius[i] = 5.0f + 10.0f * randomUnit();
    }
    // Separate statements keep the draw order r, g, b.
    const float r = coloured();
    const float g = coloured();
    const float b = coloured();
    colour = {r, g, b};
}

CellLayout parseCellLayout(std::span<const uint8_t> bytes)
{
    CellLayout layout;
    constexpr size_t kRecord = 28;
    if (bytes.size() < 4) return layout;
    const uint32_t count = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                           uint32_t(bytes[3]) << 24;
    const size_t available = (bytes.size() - 4) / kRecord;
    const size_t n = std::min<size_t>(count, available);
    layout.records.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const uint8_t* p = bytes.data() + 4 + k * kRecord;
        layout.records.push_back({readVector(p), readVector(p + 12), readFloat(p + 24)});
    }
    layout.complete = n == count;
    return layout;
}

void placeCellsAround(const CellList& cells, const Vector3& p)
{
    const Vector3 q(std::trunc(p.x / kCellTile) * kCellTile, std::trunc(p.y / kCellTile) * kCellTile,
                    std::trunc(p.z / kCellTile) * kCellTile);
    const Vector3 s = p - q;
    for (const auto& cell : cells) {
        const Vector3& b = cell->basePosition;
        cell->position = {placeAxis(b.x, s.x, q.x), placeAxis(b.y, s.y, q.y), placeAxis(b.z, s.z, q.z)};
        cell->distance = (p - cell->position).length();
    }
}

void classifyCells(const CellList& cells, const Vector3& eye, const Vector3& forward)
{
    const Vector3 behind = eye - forward * 10.0f;
    for (const auto& cell : cells) {
        cell->visible = dot(normalise(cell->position - behind), forward) >= 0.4f;
        cell->alpha = 1.0f - (cell->distance / kCellTile) * 2.0f;
    }
}

void sortCellsFarthestFirst(CellList& cells)
{
    // A NaN distance (a broken camera position) must not break the ordering std::sort relies on.
    auto key = [](const Cell& c) { return std::isnan(c.distance) ? INFINITY : c.distance; };
    std::sort(cells.begin(), cells.end(), [&](const auto& a, const auto& b) { return key(*a) > key(*b); });
}

void advanceCells(const CellList& cells, float dt)
{
    for (const auto& cell : cells) {
        cell->angle = advanceAngle(cell->angle, 20.0f * dt);
        for (int i = 0; i < Cell::kMitochondria; ++i)
            cell->mitoAngle[i] = advanceAngle(cell->mitoAngle[i], cell->mitoSpeed[i] * dt);
    }
}

void recolourCells(const CellList& cells)
{
    for (const auto& cell : cells) {
        const float r = coloured();
        const float g = coloured();
        const float b = coloured();
        cell->colour = {r, g, b};
    }
}
