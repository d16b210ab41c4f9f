#pragma once

#include <cstdint>
#include <vector>

#include "assets/mesh.h"
#include "math/lanes.h"
#include "math/rotation.h"
#include "math/vector3.h"
#include "render/window_mapping.h"

// Many copies of one mesh in one vertex array, each copy placed and coloured on the CPU, so a
// group of copies that share every other piece of GL state draws with one call instead of one
// call, one matrix and one colour per copy. Copies that never move are placed once; moving ones
// are placed every frame before their draw. The arrays live in buffer objects when buffer objects
// are available, else in client memory. Drawing a copy here gives the same triangles, normals,
// texture coordinates and colour as calling the mesh's list under that copy's matrix and colour.
class MeshBatch {
public:
    MeshBatch();
    virtual ~MeshBatch();
    MeshBatch(const MeshBatch&) = delete;
    MeshBatch& operator=(const MeshBatch&) = delete;

    // Takes the mesh's triangles (corners that repeat position, normal and texture coordinate
    // merged) and room for copies copies; GL context current. False for an empty mesh.
    bool build(const MeshData& mesh, uint32_t copies);
    bool empty() const { return copies_ == 0; }

    // Copy k: every vertex v goes to linear · v + offset, every normal n to turn · n (GL
    // renormalises normals, so turn need only have the direction right).
    void place(uint32_t k, const Matrix3& linear, const Matrix3& turn, const Vector3& offset);
    // Copy k moved by offset only.
    void placeAt(uint32_t k, const Vector3& offset);
    void setColour(uint32_t k, const Vector3& rgb, float alpha);
    void setAlpha(uint32_t k, float alpha);
    // Hands copies [first, first + count) to the buffer objects after placing or colouring them.
    void upload(uint32_t first, uint32_t count);
    // The same for the colours alone.
    void uploadColours(uint32_t first, uint32_t count);

    // Points the vertex, normal, texture-coordinate and colour arrays at the batch; without
    // colours, the copies take the current colour.
    void bindArrays(bool colours = true) const;
    // Picks for the next draw the triangles of copy k that face the eye, given in the mesh's own
    // space (before the copy was placed). With face culling on GL leaves the others out anyway;
    // left out here, they cost no vertex work either. Triangles within a hair of edge-on stay.
    // Given where the batch's space lands in the window, the triangles that cover no pixel centre
    // are left out too.
    void addFacing(uint32_t k, const Vector3& eyeInMesh, const WindowMapping* window = nullptr);
    // Draws the triangles picked since the last draw, in the order picked, with face culling on.
    void drawFacing();
    // Turns the colour array off again and unbinds the buffers; the current colour is left
    // undefined by the draws, so the caller sets the next one.
    void unbindArrays() const;

private:
    uint32_t copies_ = 0;
    uint32_t vertexCount_ = 0;       // per copy
    uint32_t indexCount_ = 0;        // per copy
    std::vector<float> base_;        // one copy as the mesh has it: position, normal, u v (8 floats)
    std::vector<float> vertices_;    // every copy, the same layout
    std::vector<float> colours_;     // every copy, RGBA per vertex
    std::vector<uint32_t> baseIndices_;  // one copy's triangles
    // Four triangles side by side, so one pass of four-wide arithmetic tells which face the eye.
    struct FaceBlock {
        Lanes normalX, normalY, normalZ;  // unit normal
        Lanes cornerX, cornerY, cornerZ;  // a corner
    };
    std::vector<FaceBlock> faceBlocks_;  // the last block padded
    std::vector<uint32_t> facing_;       // room for every copy's triangles, every copy's vertices numbered from k · vertexCount_
    size_t facingCount_ = 0;             // indices picked for the next draw
    WindowCorners corners_;              // the copy being picked from, in the window
    uint32_t vertexBuffer_ = 0;
    uint32_t colourBuffer_ = 0;
    bool buffered_ = false;              // the copies live in the two buffers, else in client memory
};
