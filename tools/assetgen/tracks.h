#pragma once

#include <vector>

#include "common.h"
#include "mesh.h"

namespace assetgen {

constexpr int kKeyPoses = 10;

// A vertex animation track: one closed surface in ten key poses of a cyclic wobble.
struct TrackData {
    std::vector<Tri> faces;
    std::vector<std::vector<D3>> keyPositions;  // [key][vertex]
    std::vector<std::vector<D3>> keyNormals;

    size_t vertexCount() const { return keyPositions.empty() ? 0 : keyPositions[0].size(); }
    // The track file: counts, the initial pose (key 0), texture coordinates, indices, the ten key
    // poses and their cyclic central-difference tangents.
    Bytes serialise() const;
};

// A membrane of about `radius` on an icosphere of `level`, with a few soft bulges travelling over
// it once or twice per cycle and a slow breathing; nothing sharp, never folding over itself.
TrackData membraneTrack(int level, double radius, double amplitude, uint64_t seed);

}  // namespace assetgen
