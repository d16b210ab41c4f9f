// The track file layout, checked before it is read. No GL here: fuzzers and tests use it alone.
#include "assets/byte_reader.h"
#include "assets/vertex_anim_track.h"

#include <algorithm>
#include <cmath>

VertexAnimTrack::VertexAnimTrack() = default;

VertexAnimTrack::~VertexAnimTrack() = default;

void VertexAnimTrack::clear()
{
    vertexBuffer = 0;
    vertexCount = indexCount = triangleCount = 0;
    clock = 0;
    poseRadius = 0;
    for (auto* list : {&positions, &texCoords, &normals, &interleaved})
        list->clear();
    indices.clear();
    for (int k = 0; k < kKeyCount; ++k) {
        keyPositions[k].clear();
        keyNormals[k].clear();
        keyPositionTangents[k].clear();
        keyNormalTangents[k].clear();
    }
}

bool VertexAnimTrack::parse(std::span<const uint8_t> bytes, std::string* reason)
{
    clear();
    auto fail = [&](const char* why) {
        clear();
        if (reason)
            *reason = why;
        return false;
    };
    ByteReader in(bytes);
    uint32_t v = 0, f = 0, i = 0;
    if (!in.u32(v) || !in.u32(f) || !in.u32(i))
        return fail("truncated");
    if (uint64_t(i) != 3 * uint64_t(f))
        return fail("index count is not three per triangle");
    const uint64_t expected = 12 + 512 * uint64_t(v) + 4 * uint64_t(i);
    if (bytes.size() < expected)
        return fail("truncated");
    if (bytes.size() > expected)
        return fail("wrong size");

    const size_t n3 = size_t(v) * 3;
    positions.resize(n3);
    normals.resize(n3);
    texCoords.resize(size_t(v) * 2);
    indices.resize(i);
    for (int k = 0; k < kKeyCount; ++k) {
        keyPositions[k].resize(n3);
        keyNormals[k].resize(n3);
        keyPositionTangents[k].resize(n3);
        keyNormalTangents[k].resize(n3);
    }
    // The size was checked above, so none of these reads can fall short.
    in.words(positions.data(), n3);
    in.words(normals.data(), n3);
    in.words(texCoords.data(), texCoords.size());
    in.words(indices.data(), indices.size());
    for (int k = 0; k < kKeyCount; ++k) {
        in.words(keyPositions[k].data(), n3);
        in.words(keyNormals[k].data(), n3);
    }
    for (int k = 0; k < kKeyCount; ++k) {
        in.words(keyPositionTangents[k].data(), n3);
        in.words(keyNormalTangents[k].data(), n3);
    }
    for (uint32_t index : indices) {
        if (index >= v)
            return fail("index out of range");
    }

    vertexCount = v;
    triangleCount = f;
    indexCount = i;
    interleaved.resize(size_t(v) * 8);
    for (size_t p = 0; p < v; ++p) {
        float* out = &interleaved[8 * p];
        for (int c = 0; c < 3; ++c) {
            out[c] = positions[3 * p + c];
            out[3 + c] = normals[3 * p + c];
        }
        out[6] = texCoords[2 * p];
        out[7] = texCoords[2 * p + 1];
        poseRadius = std::max(poseRadius, std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]));
    }
    return true;
}
