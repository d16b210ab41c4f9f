#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The contents of a mesh file: positions and texture coordinates indexed separately per triangle
// corner, and one stored normal per corner.
struct MeshData {
    uint32_t vertexCount = 0;     // V
    uint32_t faceCount = 0;       // F
    uint32_t texVertexCount = 0;  // T
    std::vector<float> x, y, z;                 // V each
    std::vector<uint32_t> a, b, c;              // F each: position index of corners 1, 2, 3
    std::vector<uint32_t> ta, tb, tc;           // F each: texture index of corners 1, 2, 3
    std::vector<float> u, v;                    // T each
    std::vector<float> normals;                 // 9F: corner 1 xyz, corner 2 xyz, corner 3 xyz
};

// Checks and reads a mesh file: the size must be exactly 12 + 12V + 60F + 8T and every corner
// index below its count. On failure out is left empty and reason says why.
bool parseMesh(std::span<const uint8_t> bytes, MeshData& out, std::string* reason = nullptr);

// Distance of the farthest vertex from the origin.
float meshRadius(const MeshData& mesh);

// A static triangle mesh compiled into one display list. The list outlives this object: it lives
// as long as the GL context, and scenes keep only its id.
class Mesh {
public:
    Mesh();
    virtual ~Mesh();

    // Reads an archive mesh file and compiles it; logs "Load mesh <path> ..." and "done", or
    // "failed: <reason>" leaving displayList 0.
    // keep, when given, receives the parsed triangles too (for batches of copies).
    bool load(const std::string& path, MeshData* keep = nullptr);
    // The same from bytes already in memory; path is only logged.
    bool loadBytes(const std::string& path, std::span<const uint8_t> bytes, MeshData* keep = nullptr);

    // Compiles the triangles into a new display list (compile only), restoring the matrix mode;
    // 0 when no list name is available.
    static uint32_t compileList(const MeshData& mesh);

    uint32_t displayList = 0;
    float radius = 0;  // farthest vertex from the mesh's origin, for culling
};
