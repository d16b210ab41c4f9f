#pragma once

#include <array>
#include <utility>
#include <vector>

#include "common.h"

namespace assetgen {

using Tri = std::array<uint32_t, 3>;

// A triangle mesh in the archive's mesh layout: positions and texture vertices indexed
// separately per corner, one unit normal per corner.
struct MeshData {
    std::vector<D3> positions;
    std::vector<Tri> faces;
    std::vector<Tri> texFaces;
    std::vector<std::pair<double, double>> texCoords;
    std::vector<std::array<D3, 3>> normals;

    Bytes serialise() const;
    // Adds a texture vertex, reusing an equal one.
    uint32_t addTexCoord(double u, double v);
};

// Positions and counter-clockwise (seen from outside) triangles.
struct TriSoup {
    std::vector<D3> positions;
    std::vector<Tri> faces;
};

// Icosahedron subdivided `level` times, every vertex on the unit sphere. Level 1: 42 vertices,
// 80 faces; level 2: 162, 320; level 3: 642, 1280.
TriSoup icosphere(int level);

// Area-weighted vertex normals of a closed surface.
std::vector<D3> vertexNormals(const TriSoup& soup);

// Texture coordinates from the direction of each corner (longitude u, latitude v in 0..1), with
// triangles that straddle the seam lifted so no triangle smears the whole texture across itself.
void addSphericalMapping(MeshData& mesh, double uScale = 1.0);

// Builds a smooth-shaded mesh from a soup: corner normals are the vertex normals.
MeshData smoothMesh(const TriSoup& soup);

// The UV sphere the scenes use: radius 10, 10 × 10 segments, 92 vertices, 180 faces, 123 texture
// vertices; vertex 0 is the north pole (0, 0, 10).
MeshData uvSphere();
MeshData lowSphere();
MeshData mitochondrion();
MeshData ribosome();
MeshData chromosome();

}  // namespace assetgen
