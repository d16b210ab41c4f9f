#include "render/view_frustum.h"

#include <algorithm>
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
    GLint viewport[4] = {0, 0, 0, 0}, sampleBuffers = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    window_.x = static_cast<float>(viewport[0]);
    window_.y = static_cast<float>(viewport[1]);
    window_.width = static_cast<float>(viewport[2]);
    window_.height = static_cast<float>(viewport[3]);
    window_.centresOnly = sampleBuffers == 0 && viewport[2] > 0 && viewport[3] > 0;

    // The eye is the point the model-view takes to the origin: -A⁻¹ t for its linear part A.
    auto a = [&](int r, int c) { return modelview[c * 4 + r]; };
    const float c00 = a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1), c01 = a(0, 2) * a(2, 1) - a(0, 1) * a(2, 2),
                c02 = a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1), c10 = a(1, 2) * a(2, 0) - a(1, 0) * a(2, 2),
                c11 = a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0), c12 = a(0, 2) * a(1, 0) - a(0, 0) * a(1, 2),
                c20 = a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0), c21 = a(0, 1) * a(2, 0) - a(0, 0) * a(2, 1),
                c22 = a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0);
    const float det = a(0, 0) * c00 + a(0, 1) * c10 + a(0, 2) * c20;
    const float tx = modelview[12], ty = modelview[13], tz = modelview[14];
    eye_ = det != 0 ? Vector3(c00 * tx + c01 * ty + c02 * tz, c10 * tx + c11 * ty + c12 * tz, c20 * tx + c21 * ty + c22 * tz) / -det
                    : Vector3();
}

void ViewFrustum::setClipMatrix(const float clip[16])
{
    std::copy(clip, clip + 16, window_.clip);
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
