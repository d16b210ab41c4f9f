#include "render/view_frustum.h"

#include <cmath>

#include "render/gl.h"

namespace {

bool cullingOn = true;

}  // namespace

void setFrustumCulling(bool on) { cullingOn = on; }

bool frustumCulling() { return cullingOn; }

void ViewFrustum::capture()
{
    GLfloat projection[16], modelview[16], clip[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * modelview[c * 4 + k];
            clip[c * 4 + r] = sum;
        }
    setClipMatrix(clip);
}

void ViewFrustum::setClipMatrix(const float clip[16])
{
    // Each plane is the last row of the clip matrix plus or minus one of the first three.
    auto row = [&](int r, int c) { return clip[c * 4 + r]; };
    for (int p = 0; p < 6; ++p) {
        const int axis = p / 2;
        const float sign = p % 2 == 0 ? 1.0f : -1.0f;
        float plane[4];
        for (int c = 0; c < 4; ++c) plane[c] = row(3, c) + sign * row(axis, c);
        const float length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        for (int c = 0; c < 4; ++c) planes_[p][c] = length > 0 ? plane[c] / length : 0.0f;
    }
}

bool ViewFrustum::outside(const Vector3& centre, float radius) const
{
    if (!cullingOn) return false;
    for (const auto& plane : planes_)
        if (plane[0] * centre.x + plane[1] * centre.y + plane[2] * centre.z + plane[3] < -radius) return true;
    return false;
}
