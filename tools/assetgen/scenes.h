#pragma once

#include <string>
#include <vector>

#include "common.h"

namespace assetgen {

// One cell of the periodic cell field.
struct CellRecord {
    D3 position;
    D3 axis;       // unit
    double angle;  // degrees, 0 <= angle < 360
};

constexpr double kCellPeriod = 300.0;

// A jittered 4 × 4 × 4 grid, spacing 75 from -112.5, every position inside [-150, 150].
std::vector<CellRecord> cellLayout(uint64_t seed);
// The cell file: u32 count, then position, axis, angle per cell.
Bytes serialiseCells(const std::vector<CellRecord>& cells);
// Distance from p to the nearest periodic copy of any cell centre.
double cellClearance(const std::vector<CellRecord>& cells, const D3& p);

struct Quat {
    double x = 0, y = 0, z = 0, w = 1;
};

// A camera key: the camera looks along the rotated +X axis with the rotated +Z axis up.
struct CameraKey {
    D3 position;
    Quat orientation;
};

// The orientation that looks along `forward` with `up` as nearly up as possible.
Quat lookRotation(const D3& forward, const D3& up);
// The rotated +X and +Z axes of q.
D3 forwardOf(const Quat& q);
D3 upOf(const Quat& q);

// Point on the camera's position curve: key i, fraction u in [0, 1] of the segment to key i + 1,
// with the tangents the player uses ((p[i+1] - p[i-1]) / 2, one-sided at the ends).
D3 pathPoint(const std::vector<CameraKey>& keys, size_t i, double u);

// The scene file text: an empty line, "KEYFRAMES", one block per key at times 0, 10, 20, ...,
// CR LF line ends, and a final "ENDKEYS" without a line end.
std::string sceneText(const std::vector<CameraKey>& keys);

std::vector<CameraKey> cellsFlight(const std::vector<CellRecord>& cells, int index);
std::vector<CameraKey> coreFlight(int index);
std::vector<CameraKey> dnaFlight(int index);

}  // namespace assetgen
