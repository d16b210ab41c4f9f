#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "math/rotation.h"
#include "math/vector3.h"

class VertexAnimTrack;
class DnaHelix;

// One cell of the cells field: where it sits in the 300-unit tile, how it turns, its colour and
// its ten orbiting mitochondria. The draw state (position, distance, alpha, visible) is rewritten
// every frame.
class Cell {
public:
    static constexpr int kMitochondria = 10;

    // Draws the mitochondria parameters, then the colour, from the global generator.
    Cell();
    virtual ~Cell() = default;

    Vector3 position;
    Vector3 basePosition;
    Vector3 axis;
    Vector3 colour;
    float angle = 0;     // degrees
    float alpha = 0;
    float distance = 0;
    float mitoAngle[kMitochondria] = {};   // degrees
    float mitoRadius[kMitochondria] = {};
    Vector3 mitoAxis[kMitochondria];
    float mitoSpeed[kMitochondria] = {};   // degrees per second
    bool visible = false;
    bool drawn = false;  // visible, not wholly transparent and not wholly outside the view
    VertexAnimTrack* membrane = nullptr;   // not owned
    DnaHelix* helix = nullptr;             // not owned
    uint32_t mitoList = 0;
    uint32_t bodyList = 0;
};

using CellList = std::vector<std::unique_ptr<Cell>>;

// Side of the tile that repeats in every direction.
constexpr float kCellTile = 300.0f;

// One layout record: base position, rotation axis, angle.
struct CellRecord {
    Vector3 position;
    Vector3 axis;
    float angle = 0;
};

// The records of a cell layout file: a 32-bit count, then 28 bytes per cell. A count larger than
// the data is cut to the complete records present; complete is false then (or when the count
// itself is missing).
struct CellLayout {
    std::vector<CellRecord> records;
    bool complete = false;
};
CellLayout parseCellLayout(std::span<const uint8_t> bytes);

// Each cell at its periodic copy nearest to p, with its distance to p.
void placeCellsAround(const CellList& cells, const Vector3& p);

// View cone seen from 10 units behind the eye (cos 0.4) and fading alpha by distance.
void classifyCells(const CellList& cells, const Vector3& eye, const Vector3& forward);

// Farthest first, in place (no allocation).
void sortCellsFarthestFirst(CellList& cells);

// Turns every cell and its mitochondria by dt seconds.
void advanceCells(const CellList& cells, float dt);

// New random colour for every cell, components in [0.3, 1].
void recolourCells(const CellList& cells);
