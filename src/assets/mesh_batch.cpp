#include "assets/mesh_batch.h"

#include <cstring>
#include <map>
#include <tuple>

#include "render/draw_census.h"
#include "render/gl.h"
#include "render/gl_setup.h"

namespace {

constexpr size_t kStride = 8;  // floats per vertex: position, normal, texture coordinate

const void* offsetOf(size_t bytes) { return reinterpret_cast<const void*>(bytes); }

}  // namespace

MeshBatch::MeshBatch() = default;

MeshBatch::~MeshBatch() = default;

bool MeshBatch::build(const MeshData& mesh, uint32_t copies)
{
    copies_ = 0;
    if (mesh.faceCount == 0 || copies == 0) return false;
    // One vertex per distinct corner, in the order the list meets them.
    using Corner = std::tuple<uint32_t, uint32_t, float, float, float>;  // position, texture, normal
    std::map<Corner, uint32_t> seen;
    std::vector<uint32_t> baseIndices;
    base_.clear();
    for (uint32_t f = 0; f < mesh.faceCount; ++f) {
        const uint32_t corners[3] = {mesh.a[f], mesh.b[f], mesh.c[f]};
        const uint32_t texCorners[3] = {mesh.ta[f], mesh.tb[f], mesh.tc[f]};
        for (int k = 0; k < 3; ++k) {
            const float* n = &mesh.normals[size_t(f) * 9 + size_t(k) * 3];
            const Corner key{corners[k], texCorners[k], n[0], n[1], n[2]};
            auto [at, added] = seen.emplace(key, static_cast<uint32_t>(base_.size() / kStride));
            if (added) {
                const uint32_t p = corners[k], t = texCorners[k];
                base_.insert(base_.end(), {mesh.x[p], mesh.y[p], mesh.z[p], n[0], n[1], n[2], mesh.u[t], mesh.v[t]});
            }
            baseIndices.push_back(at->second);
        }
    }
    vertexCount_ = static_cast<uint32_t>(base_.size() / kStride);
    indexCount_ = static_cast<uint32_t>(baseIndices.size());
    baseIndices_ = std::move(baseIndices);
    const uint32_t triangles = indexCount_ / 3;
    faceBlocks_.assign((triangles + 3) / 4, FaceBlock{});
    for (uint32_t t = 0; t < triangles; ++t) {
        auto corner = [&](uint32_t k) {
            const float* p = &base_[size_t(baseIndices_[3 * t + k]) * kStride];
            return Vector3(p[0], p[1], p[2]);
        };
        const Vector3 a = corner(0), n = cross(corner(1) - a, corner(2) - a);
        const float length = n.length();
        const Vector3 unit = length > 0 ? n / length : Vector3();
        FaceBlock& block = faceBlocks_[t / 4];
        const uint32_t lane = t % 4;
        block.normalX[lane] = unit.x, block.normalY[lane] = unit.y, block.normalZ[lane] = unit.z;
        block.cornerX[lane] = a.x, block.cornerY[lane] = a.y, block.cornerZ[lane] = a.z;
    }
    copies_ = copies;
    vertices_.resize(size_t(copies) * base_.size());
    for (uint32_t k = 0; k < copies; ++k) std::memcpy(&vertices_[k * base_.size()], base_.data(), base_.size() * sizeof(float));
    colours_.assign(size_t(copies) * vertexCount_ * 4, 1.0f);
    facing_.assign(size_t(copies) * indexCount_, 0);
    facingCount_ = 0;

    buffered_ = false;
    if (glext::vboAvailable) {
        GLuint names[2] = {0, 0};
        glext::glGenBuffersARB(2, names);
        vertexBuffer_ = names[0];
        colourBuffer_ = names[1];
        // Buffers the driver has no room for would draw nothing: the copies stay in client memory.
        buffered_ = vertexBuffer_ && colourBuffer_ &&
                    glext::loadBuffer(GL_ARRAY_BUFFER_ARB, vertexBuffer_,
                                      static_cast<GLsizeiptrARB>(vertices_.size() * sizeof(float)), vertices_.data(),
                                      GL_DYNAMIC_DRAW_ARB) &&
                    glext::loadBuffer(GL_ARRAY_BUFFER_ARB, colourBuffer_,
                                      static_cast<GLsizeiptrARB>(colours_.size() * sizeof(float)), colours_.data(),
                                      GL_DYNAMIC_DRAW_ARB);
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    }
    return true;
}

void MeshBatch::place(uint32_t k, const Matrix3& linear, const Matrix3& turn, const Vector3& offset)
{
    const float* in = base_.data();
    float* out = &vertices_[size_t(k) * base_.size()];
    for (uint32_t i = 0; i < vertexCount_; ++i, in += kStride, out += kStride) {
        const Vector3 p = linear * Vector3(in[0], in[1], in[2]) + offset;
        const Vector3 n = turn * Vector3(in[3], in[4], in[5]);
        out[0] = p.x, out[1] = p.y, out[2] = p.z;
        out[3] = n.x, out[4] = n.y, out[5] = n.z;
    }
}

void MeshBatch::placeAt(uint32_t k, const Vector3& offset)
{
    const float* in = base_.data();
    float* out = &vertices_[size_t(k) * base_.size()];
    for (uint32_t i = 0; i < vertexCount_; ++i, in += kStride, out += kStride) {
        out[0] = in[0] + offset.x;
        out[1] = in[1] + offset.y;
        out[2] = in[2] + offset.z;
    }
}

void MeshBatch::setColour(uint32_t k, const Vector3& rgb, float alpha)
{
    float* out = &colours_[size_t(k) * vertexCount_ * 4];
    for (uint32_t i = 0; i < vertexCount_; ++i, out += 4) out[0] = rgb.x, out[1] = rgb.y, out[2] = rgb.z, out[3] = alpha;
}

void MeshBatch::setAlpha(uint32_t k, float alpha)
{
    float* out = &colours_[size_t(k) * vertexCount_ * 4];
    for (uint32_t i = 0; i < vertexCount_; ++i, out += 4) out[3] = alpha;
}

void MeshBatch::upload(uint32_t first, uint32_t count)
{
    if (!buffered_ || count == 0) return;
    const size_t vertexFloats = base_.size();
    glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer_);
    glext::glBufferSubDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLintptrARB>(first * vertexFloats * sizeof(float)),
                              static_cast<GLsizeiptrARB>(count * vertexFloats * sizeof(float)),
                              &vertices_[first * vertexFloats]);
    uploadColours(first, count);
}

void MeshBatch::uploadColours(uint32_t first, uint32_t count)
{
    if (!buffered_ || count == 0) return;
    const size_t colourFloats = size_t(vertexCount_) * 4;
    glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, colourBuffer_);
    glext::glBufferSubDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLintptrARB>(first * colourFloats * sizeof(float)),
                              static_cast<GLsizeiptrARB>(count * colourFloats * sizeof(float)),
                              &colours_[first * colourFloats]);
    glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

void MeshBatch::bindArrays(bool colours) const
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    if (colours)
        glEnableClientState(GL_COLOR_ARRAY);
    else
        glDisableClientState(GL_COLOR_ARRAY);
    const GLsizei stride = kStride * sizeof(float);
    if (buffered_) {
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer_);
        glVertexPointer(3, GL_FLOAT, stride, offsetOf(0));
        glNormalPointer(GL_FLOAT, stride, offsetOf(3 * sizeof(float)));
        glTexCoordPointer(2, GL_FLOAT, stride, offsetOf(6 * sizeof(float)));
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, colourBuffer_);
        glColorPointer(4, GL_FLOAT, 0, offsetOf(0));
        // The picked triangles change every draw: their indices come from client memory.
        glext::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
        return;
    }
    if (glext::glBindBufferARB) glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glVertexPointer(3, GL_FLOAT, stride, vertices_.data());
    glNormalPointer(GL_FLOAT, stride, vertices_.data() + 3);
    glTexCoordPointer(2, GL_FLOAT, stride, vertices_.data() + 6);
    glColorPointer(4, GL_FLOAT, 0, colours_.data());
}

void MeshBatch::addFacing(uint32_t k, const Vector3& eyeInMesh, const WindowMapping* window)
{
    // GL decides on the corners as it snaps them to its sub-pixel grid, so a triangle seen within a
    // degree of edge-on from behind may still come out front-facing there: such triangles stay.
    constexpr float kEdgeOnCosine = 0.02f;
    const uint32_t offset = k * vertexCount_;
    // Room for a copy picked twice before a draw, too.
    if (facing_.size() - facingCount_ < indexCount_) facing_.resize(facingCount_ + indexCount_);
    if (window) corners_.project(*window, &vertices_[size_t(offset) * kStride], kStride, vertexCount_);
    const Lanes eyeX = splat(eyeInMesh.x), eyeY = splat(eyeInMesh.y), eyeZ = splat(eyeInMesh.z);
    // Each triangle is written and then kept or not: with about half of them facing, a branch
    // would guess wrong every other time.
    uint32_t* const first = facing_.data() + facingCount_;
    uint32_t* out = first;
    auto write = [&](const uint32_t* corner, int32_t step) {
        out[0] = corner[0] + offset;
        out[1] = corner[1] + offset;
        out[2] = corner[2] + offset;
        out += step;
    };
    const uint32_t triangles = indexCount_ / 3;
    for (uint32_t t = 0; t < triangles; t += 4) {
        const FaceBlock& block = faceBlocks_[t / 4];
        const Lanes toEyeX = eyeX - block.cornerX, toEyeY = eyeY - block.cornerY, toEyeZ = eyeZ - block.cornerZ;
        const Lanes facing = block.normalX * toEyeX + block.normalY * toEyeY + block.normalZ * toEyeZ;
        const Lanes reach = toEyeX * toEyeX + toEyeY * toEyeY + toEyeZ * toEyeZ;
        const IntLanes away = (facing < 0) & (facing * facing > kEdgeOnCosine * kEdgeOnCosine * reach);
        const IntLanes step = (away + 1) * 3;  // 3 to keep a triangle, 0 to leave it out
        const uint32_t* corner = &baseIndices_[size_t(t) * 3];
        if (triangles - t >= 4) {
            write(corner, step[0]);
            write(corner + 3, step[1]);
            write(corner + 6, step[2]);
            write(corner + 9, step[3]);
        } else {
            for (uint32_t lane = 0; lane < triangles - t; ++lane) write(corner + 3 * lane, step[lane]);
        }
    }
    if (window) {
        // Of those, the ones that may cover a pixel centre.
        uint32_t* kept = first;
        for (const uint32_t* t = first; t != out; t += 3) {
            kept[0] = t[0], kept[1] = t[1], kept[2] = t[2];
            kept += corners_.mayCoverACentre(t[0] - offset, t[1] - offset, t[2] - offset) ? 3 : 0;
        }
        out = kept;
    }
    facingCount_ = static_cast<size_t>(out - facing_.data());
}

void MeshBatch::drawFacing()
{
    if (facingCount_ == 0) return;
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(facingCount_), GL_UNSIGNED_INT, facing_.data());
    countDraw();
    facingCount_ = 0;
}

void MeshBatch::unbindArrays() const
{
    glDisableClientState(GL_COLOR_ARRAY);
    if (buffered_) glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}
