#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/rotation.h"
#include "math/vector3.h"

// Where points of one space land in the window: the clip matrix and the viewport.
struct WindowMapping {
    float clip[16] = {};  // that space to clip space, column-major as GL keeps it
    float x = 0, y = 0, width = 0, height = 0;  // the viewport
    bool centresOnly = false;  // pixels sampled at their centres alone (no multisampling)

    // The same for a space placed inside this one: p ↦ linear · p + offset.
    WindowMapping placed(const Matrix3& linear, const Vector3& offset) const;
};

// The corners of one mesh copy in the window, to tell which of its triangles may cover a pixel
// centre. A triangle that covers none gives no pixel, whatever the state it is drawn with, so
// leaving it out changes nothing on screen; a small copy far away has many such triangles, and GL
// would still transform, set up and bin each of them.
class WindowCorners {
public:
    // How far GL's corners may lie from ours, in pixels: its grid is a 256th of a pixel and both
    // transforms round in single precision. A centre this near an edge counts as covered.
    static constexpr float kMargin = 1.0f / 32;

    // Projects count points (x y z, stride floats apart). A point outside the depth range or far
    // outside the view, where clipping rather than the rasterizer decides, and every point under
    // multisampling, marks its triangles as covering.
    void project(const WindowMapping& window, const float* points, size_t stride, size_t count);
    // Whether the triangle between corners a, b and c could cover a pixel centre of the viewport
    // if each of its edges lay kMargin pixels farther out than it does.
    bool mayCoverACentre(uint32_t a, uint32_t b, uint32_t c) const;

private:
    std::vector<float> x_, y_;  // pixel i's centre at i + 0.5
    // The first and last pixel column and row whose centre lies within kMargin of each corner's
    // x and y: a triangle's box of centres is the span of its corners' (low > high where none).
    std::vector<int32_t> lowX_, highX_, lowY_, highY_;
    int32_t right_ = 0, top_ = 0, left_ = 0, bottom_ = 0;  // the viewport's pixels, inclusive
};
