#include "assets/mesh.h"

#include "data/data_file.h"
#include "data/log.h"
#include "render/gl.h"

#include <algorithm>
#include <cmath>
#include <utility>

float meshRadius(const MeshData& mesh)
{
    float squared = 0;
    for (size_t i = 0; i < mesh.x.size(); ++i)
        squared = std::max(squared, mesh.x[i] * mesh.x[i] + mesh.y[i] * mesh.y[i] + mesh.z[i] * mesh.z[i]);
    return std::sqrt(squared);
}

Mesh::Mesh() = default;

// The display list belongs to the GL context, not to this object.
Mesh::~Mesh() = default;

uint32_t Mesh::compileList(const MeshData& mesh)
{
    const GLuint list = glGenLists(1);
    if (list == 0)
        return 0;
    GLint mode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (uint32_t i = 0; i < mesh.faceCount; ++i) {
        const uint32_t corners[3] = {mesh.a[i], mesh.b[i], mesh.c[i]};
        const uint32_t texCorners[3] = {mesh.ta[i], mesh.tb[i], mesh.tc[i]};
        for (int k = 0; k < 3; ++k) {
            glNormal3fv(&mesh.normals[size_t(i) * 9 + size_t(k) * 3]);
            glTexCoord2f(mesh.u[texCorners[k]], mesh.v[texCorners[k]]);
            glVertex3f(mesh.x[corners[k]], mesh.y[corners[k]], mesh.z[corners[k]]);
        }
    }
    glEnd();
    glEndList();
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(mode));
    glFinish();
    return list;
}

bool Mesh::loadBytes(const std::string& path, std::span<const uint8_t> bytes, MeshData* keep)
{
    Log& log = Log::instance();
    log.write("Load mesh <" + path + "> ...");
    MeshData mesh;
    std::string reason;
    if (!parseMesh(bytes, mesh, &reason)) {
        log.write("failed: " + reason + "\n");
        return false;
    }
    const uint32_t list = compileList(mesh);
    if (list == 0) {
        log.write("failed: no display list\n");
        return false;
    }
    displayList = list;
    radius = meshRadius(mesh);
    if (keep) *keep = std::move(mesh);
    log.done();
    return true;
}

bool Mesh::load(const std::string& path, MeshData* keep)
{
    DataFile file;
    if (!file.open(path.c_str())) {
        Log::instance().write("Load mesh <" + path + "> ...failed: " + file.failure() + "\n");
        return false;
    }
    return loadBytes(path, {file.data, file.size}, keep);
}
