#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A soft body: a triangle mesh whose positions and normals cycle through 10 key poses on cubic
// Hermite curves. The pose is computed on the CPU each frame and handed to GL through a buffer
// object when buffer objects are available, else through client arrays.
class VertexAnimTrack {
public:
    static constexpr int kKeyCount = 10;

    VertexAnimTrack();
    virtual ~VertexAnimTrack();

    // Reads a track file from the archive, then creates the buffer object when buffer objects are
    // available. Logs "Load vertex animation track <path> ..." and "done", or "failed: <reason>"
    // leaving the track empty.
    bool load(const std::string& path);
    // The same from bytes already in memory; path is only logged.
    bool loadBytes(const std::string& path, std::span<const uint8_t> bytes);
    // The parsing half, no GL: the size must be 12 + 512V + 4I with I = 3F and every index below
    // V. On failure the track is left empty.
    bool parse(std::span<const uint8_t> bytes, std::string* reason = nullptr);
    // Empties every array and forgets the buffer name (the buffer itself stays with the context).
    void clear();
    bool empty() const { return vertexCount == 0 || indexCount == 0; }

    // Pose at the current clock into positions, normals, texCoords and interleaved, the buffer
    // refreshed; then the clock moves on by dt (in key units) and restarts at 0 from 10.
    // Allocates nothing.
    void advance(float dt);
    // Points the vertex, normal and texture-coordinate arrays at the current pose.
    void bindArrays() const;
    // One indexed draw of every triangle; nothing for an empty track.
    void drawFrame() const;

    uint32_t vertexBuffer = 0;  // buffer object name, 0 without one
    uint32_t vertexCount = 0;   // V
    uint32_t indexCount = 0;    // I = 3F
    uint32_t triangleCount = 0; // F
    float clock = 0;            // key units, 0 <= clock < 10
    float poseRadius = 0;       // farthest vertex of the current pose from the origin
    std::vector<uint32_t> indices;
    std::vector<float> positions;    // 3V
    std::vector<float> texCoords;    // 2V
    std::vector<float> normals;      // 3V
    std::vector<float> interleaved;  // 8V: position, normal, u v per vertex (32-byte stride)
    std::array<std::vector<float>, kKeyCount> keyPositions;
    std::array<std::vector<float>, kKeyCount> keyNormals;
    std::array<std::vector<float>, kKeyCount> keyPositionTangents;
    std::array<std::vector<float>, kKeyCount> keyNormalTangents;

private:
    bool createBuffer();
};
