#pragma once

#include <algorithm>
#include <string>

#include "assets/texture.h"
#include "assets/vertex_anim_track.h"
#include "scenes/cell.h"
#include "scenes/dna_helix.h"

class CameraPath;

// The field of translucent cells the camera flies through: sixty-four cells in a 300-unit cube
// that repeats in every direction, each a pulsating membrane with a glossy skin, an inner body,
// mitochondria (high detail) and a small helix.
class CellsScene {
public:
    CellsScene() = default;
    virtual ~CellsScene() = default;

    // path: the cell layout file in the archive. Reads the Detail setting. GL context current.
    void load(const std::string& path);
    void update(float dt);
    void recolour();
    void placeAround(const Vector3& p);
    void draw(const CameraPath& camera);

    CellList cells;
    VertexAnimTrack membrane;
    DnaHelix helix;
    Texture cellTexture;
    // Radius about a cell's position that holds its body, mitochondria and helix.
    float innerReach = 0;
    // The helix's middle on the cell's turned y axis, and the radius about it that holds the helix.
    float helixMiddle = 0;
    float helixReach = 0;

    // Radius about a cell's position that holds everything the cell draws, in its current pose.
    float cellReach() const { return std::max(membrane.poseRadius * 1.03f, innerReach); }

private:
    void drawCell(const Cell& cell, bool mitochondria);
};
