#include "assets/vertex_anim_track.h"

#include <algorithm>
#include <cmath>

#include "data/data_file.h"
#include "data/log.h"
#include "render/draw_census.h"
#include "render/gl_setup.h"

bool VertexAnimTrack::createBuffer()
{
    GLuint name = 0;
    glext::glGenBuffersARB(1, &name);
    if (name == 0)
        return false;
    vertexBuffer = name;
    if (!glext::loadBuffer(GL_ARRAY_BUFFER_ARB, vertexBuffer,
                           static_cast<GLsizeiptrARB>(interleaved.size() * sizeof(float)), interleaved.data(),
                           GL_STREAM_DRAW_ARB)) {
        // The body is drawn from client memory; the empty name costs nothing.
        vertexBuffer = 0;
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        Log::instance().write("out of memory, drawn from client memory ...");
    }
    return true;
}

bool VertexAnimTrack::loadBytes(const std::string& path, std::span<const uint8_t> bytes)
{
    Log& log = Log::instance();
    log.write("Load vertex animation track <" + path + "> ...");
    std::string reason;
    if (!parse(bytes, &reason)) {
        log.write("failed: " + reason + "\n");
        return false;
    }
    if (glext::vboAvailable) {
        log.write(" Create vertex buffer object ...");
        if (!createBuffer()) {
            clear();
            log.write("failed: no buffer object\n");
            return false;
        }
    }
    log.done();
    return true;
}

bool VertexAnimTrack::load(const std::string& path)
{
    DataFile file;
    if (!file.open(path.c_str())) {
        clear();
        Log::instance().write("Load vertex animation track <" + path + "> ...failed: " + file.failure() + "\n");
        return false;
    }
    return loadBytes(path, {file.data, file.size});
}

namespace {

// One Hermite blend per component, in a flat loop the compiler can vectorise.
void blendKeys(const float* __restrict p0, const float* __restrict p1, const float* __restrict m0,
               const float* __restrict m1, float h00, float h10, float h01, float h11, size_t count,
               float* __restrict out)
{
    for (size_t j = 0; j < count; ++j)
        out[j] = h00 * p0[j] + h10 * m0[j] + h01 * p1[j] + h11 * m1[j];
}

}  // namespace

void VertexAnimTrack::advance(float dt)
{
    // A clock pushed below zero or to NaN by its caller restarts rather than indexing outside the keys.
    if (!(clock >= 0.0f && clock < 10.0f))
        clock = 0;
    int k = static_cast<int>(clock);
    if (k >= kKeyCount)
        k = 0;
    const int next = k + 1 == kKeyCount ? 0 : k + 1;
    const float t = clock - static_cast<float>(k);
    const float t2 = t * t;
    const float t3 = t * t2;
    const float h00 = 2 * t3 - 3 * t2 + 1;
    const float h10 = t3 - 2 * t2 + t;
    const float h01 = -2 * t3 + 3 * t2;
    const float h11 = t3 - t2;

    const size_t components = size_t(vertexCount) * 3;
    blendKeys(keyPositions[k].data(), keyPositions[next].data(), keyPositionTangents[k].data(),
              keyPositionTangents[next].data(), h00, h10, h01, h11, components, positions.data());
    blendKeys(keyNormals[k].data(), keyNormals[next].data(), keyNormalTangents[k].data(),
              keyNormalTangents[next].data(), h00, h10, h01, h11, components, normals.data());

    const float* pos = positions.data();
    const float* nrm = normals.data();
    float* uv = texCoords.data();
    float* out = interleaved.data();
    float farthest = 0;
    for (uint32_t i = 0; i < vertexCount; ++i, out += 8, pos += 3, nrm += 3) {
        farthest = std::max(farthest, pos[0] * pos[0] + pos[1] * pos[1] + pos[2] * pos[2]);
        const float sx = pos[0] + nrm[0], sy = pos[1] + nrm[1], sz = pos[2] + nrm[2];
        // Texture coordinates from the direction of position + normal: a cheap environment look.
        const float length = std::sqrt(sx * sx + sy * sy + sz * sz);
        const float u = length > 0 ? sx / length / 2 : 0.0f;
        const float v = length > 0 ? sy / length / 2 : 0.0f;
        out[0] = pos[0];
        out[1] = pos[1];
        out[2] = pos[2];
        out[3] = nrm[0];
        out[4] = nrm[1];
        out[5] = nrm[2];
        uv[2 * i] = out[6] = u;
        uv[2 * i + 1] = out[7] = v;
    }

    poseRadius = std::sqrt(farthest);

    if (vertexBuffer && glext::vboAvailable) {
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer);
        glext::glBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0,
                                  static_cast<GLsizeiptrARB>(interleaved.size() * sizeof(float)), interleaved.data());
    }

    clock += dt;
    if (clock >= 10.0f)
        clock = 0;
}

void VertexAnimTrack::bindArrays() const
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    if (vertexBuffer && glext::vboAvailable) {
        const auto offset = [](size_t bytes) { return reinterpret_cast<const void*>(bytes); };
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertexBuffer);
        glVertexPointer(3, GL_FLOAT, 32, offset(0));
        glTexCoordPointer(2, GL_FLOAT, 32, offset(24));
        glNormalPointer(GL_FLOAT, 32, offset(12));
        return;
    }
    // Client memory: no buffer may stay bound, or the pointers would be read as offsets into it.
    if (glext::glBindBufferARB)
        glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glVertexPointer(3, GL_FLOAT, 0, positions.data());
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords.data());
    glNormalPointer(GL_FLOAT, 0, normals.data());
}

void VertexAnimTrack::drawFrame() const
{
    if (empty())
        return;
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount), GL_UNSIGNED_INT, indices.data());
    countDraw();
}
