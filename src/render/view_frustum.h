#pragma once

#include "math/vector3.h"
#include "render/window_mapping.h"

// The view volume of the current projection and model-view matrices as six planes in the
// model-view's object space, to leave out objects whose bounding sphere lies wholly outside it:
// such an object would give no pixel, so leaving it out changes nothing on screen.
class ViewFrustum {
public:
    ViewFrustum() = default;
    virtual ~ViewFrustum() = default;

    // Reads the projection, the current model-view matrix and the viewport from GL (queries, no
    // drawing).
    void capture();
    // From projection × model-view, column-major as GL keeps it.
    void setClipMatrix(const float clip[16]);

    // True when the sphere lies wholly outside; always false while culling is switched off.
    bool outside(const Vector3& centre, float radius) const;
    // Where the eye is in the model-view's object space, as of the last capture.
    const Vector3& eye() const { return eye_; }
    // Where the model-view's object space lands in the window, as of the last capture.
    const WindowMapping& window() const { return window_; }

private:
    float planes_[6][4] = {};  // a x + b y + c z + d >= 0 inside, (a, b, c) unit length
    Vector3 eye_;
    WindowMapping window_;
};

// Culling is on unless switched off (to compare the pictures with and without it).
void setFrustumCulling(bool on);
bool frustumCulling();
