#include "render/window_mapping.h"

#include <algorithm>
#include <cmath>

namespace {

// floor and ceil for the window's range of values, without a call into the library.
int32_t floorToInt(float v)
{
    const int32_t i = static_cast<int32_t>(v);
    return v < static_cast<float>(i) ? i - 1 : i;
}

int32_t ceilToInt(float v)
{
    const int32_t i = static_cast<int32_t>(v);
    return v > static_cast<float>(i) ? i + 1 : i;
}

}  // namespace

WindowMapping WindowMapping::placed(const Matrix3& linear, const Vector3& offset) const
{
    WindowMapping w = *this;
    // clip · [linear offset; 0 1], column by column.
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            w.clip[c * 4 + r] = clip[r] * linear.m[0][c] + clip[4 + r] * linear.m[1][c] + clip[8 + r] * linear.m[2][c];
        w.clip[12 + r] = clip[r] * offset.x + clip[4 + r] * offset.y + clip[8 + r] * offset.z + clip[12 + r];
    }
    return w;
}

void WindowCorners::project(const WindowMapping& window, const float* p, size_t stride, size_t count)
{
    if (x_.size() < count) {
        for (auto* v : {&x_, &y_}) v->resize(count);
        for (auto* v : {&lowX_, &highX_, &lowY_, &highY_}) v->resize(count);
    }
    left_ = static_cast<int32_t>(window.x);
    bottom_ = static_cast<int32_t>(window.y);
    right_ = left_ + static_cast<int32_t>(window.width) - 1;
    top_ = bottom_ + static_cast<int32_t>(window.height) - 1;
    // Within a few view widths sideways the rasterizer's fixed-point grid and ours agree to far
    // below the margin, and nothing is clipped.
    constexpr float kGuard = 4;
    const float* m = window.clip;
    const float halfWidth = window.width / 2, halfHeight = window.height / 2;
    for (size_t v = 0; v < count; ++v, p += stride) {
        const float cx = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
        const float cy = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
        const float cz = m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14];
        const float cw = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
        if (!(window.centresOnly && cw > 0 && cz >= -cw && cz <= cw && std::fabs(cx) <= kGuard * cw && std::fabs(cy) <= kGuard * cw)) {
            // Spans every column and row: its triangles are kept.
            lowX_[v] = lowY_[v] = INT32_MIN;
            highX_[v] = highY_[v] = INT32_MAX;
            continue;
        }
        const float x = window.x + (cx / cw + 1) * halfWidth, y = window.y + (cy / cw + 1) * halfHeight;
        x_[v] = x;
        y_[v] = y;
        lowX_[v] = ceilToInt(x - kMargin - 0.5f);
        highX_[v] = floorToInt(x + kMargin - 0.5f);
        lowY_[v] = ceilToInt(y - kMargin - 0.5f);
        highY_[v] = floorToInt(y + kMargin - 0.5f);
    }
}

bool WindowCorners::mayCoverACentre(uint32_t a, uint32_t b, uint32_t c) const
{
    // Pixel centres within the triangle's box grown by the margin, and within the viewport.
    const int32_t x0 = std::max(std::min({lowX_[a], lowX_[b], lowX_[c]}), left_);
    const int32_t x1 = std::min(std::max({highX_[a], highX_[b], highX_[c]}), right_);
    const int32_t y0 = std::max(std::min({lowY_[a], lowY_[b], lowY_[c]}), bottom_);
    const int32_t y1 = std::min(std::max({highY_[a], highY_[b], highY_[c]}), top_);
    if (x0 > x1 || y0 > y1) return false;
    if (lowX_[a] == INT32_MIN || lowX_[b] == INT32_MIN || lowX_[c] == INT32_MIN) return true;
    // A larger triangle is not worth the look: it covers a centre in nearly every case.
    constexpr int64_t kCentresLookedAt = 16;
    if ((int64_t(x1) - x0 + 1) * (int64_t(y1) - y0 + 1) > kCentresLookedAt) return true;

    // Each edge's side of a centre, signed so that inside is positive whichever way the triangle
    // winds. A centre counts unless it lies more than the margin outside an edge: side <
    // -margin · length, compared squared (side · |side|) to spare the root. No early exits: with
    // a handful of centres, branches cost more than the arithmetic.
    const float wx[3] = {x_[a], x_[b], x_[c]}, wy[3] = {y_[a], y_[b], y_[c]};
    const float sign = (wx[1] - wx[0]) * (wy[2] - wy[0]) - (wx[2] - wx[0]) * (wy[1] - wy[0]) < 0 ? -1.0f : 1.0f;
    float ex[3], ey[3], slack[3];
    for (int e = 0; e < 3; ++e) {
        const int next = e == 2 ? 0 : e + 1;
        ex[e] = sign * (wx[next] - wx[e]);
        ey[e] = sign * (wy[next] - wy[e]);
        slack[e] = -kMargin * kMargin * (ex[e] * ex[e] + ey[e] * ey[e]);
    }
    bool covered = false;
    for (int32_t j = y0; j <= y1; ++j) {
        const float py = static_cast<float>(j) + 0.5f;
        for (int32_t i = x0; i <= x1; ++i) {
            const float px = static_cast<float>(i) + 0.5f;
            const float s0 = ex[0] * (py - wy[0]) - ey[0] * (px - wx[0]);
            const float s1 = ex[1] * (py - wy[1]) - ey[1] * (px - wx[1]);
            const float s2 = ex[2] * (py - wy[2]) - ey[2] * (px - wx[2]);
            covered |= (s0 * std::fabs(s0) >= slack[0]) & (s1 * std::fabs(s1) >= slack[1]) & (s2 * std::fabs(s2) >= slack[2]);
        }
    }
    return covered;
}
