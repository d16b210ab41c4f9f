#include "render/window_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "math/lanes.h"

namespace {

// floor and ceil for the window's range of values, four at a time and without a call into the
// library: truncate, then step where truncation went the wrong way.
IntLanes floorToInt(Lanes v)
{
    const IntLanes i = __builtin_convertvector(v, IntLanes);
    return i + (v < __builtin_convertvector(i, Lanes));
}

IntLanes ceilToInt(Lanes v)
{
    const IntLanes i = __builtin_convertvector(v, IntLanes);
    return i - (v > __builtin_convertvector(i, Lanes));
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

void WindowCorners::project(const WindowMapping& window, const float* points, size_t stride, size_t count)
{
    // Whole blocks of four: the last one repeats the last point.
    const size_t padded = (count + 3) / 4 * 4;
    if (x_.size() < padded) {
        for (auto* v : {&x_, &y_}) v->resize(padded);
        for (auto* v : {&lowX_, &highX_, &lowY_, &highY_}) v->resize(padded);
    }
    left_ = static_cast<int32_t>(window.x);
    bottom_ = static_cast<int32_t>(window.y);
    right_ = left_ + static_cast<int32_t>(window.width) - 1;
    top_ = bottom_ + static_cast<int32_t>(window.height) - 1;
    if (!window.centresOnly) {
        // Under multisampling every point spans every column and row.
        std::fill_n(lowX_.begin(), count, INT32_MIN);
        std::fill_n(lowY_.begin(), count, INT32_MIN);
        std::fill_n(highX_.begin(), count, INT32_MAX);
        std::fill_n(highY_.begin(), count, INT32_MAX);
        return;
    }
    // Within a few view widths sideways the rasterizer's fixed-point grid and ours agree to far
    // below the margin, and nothing is clipped.
    constexpr float kGuard = 4;
    const float* m = window.clip;
    const Lanes halfWidth = splat(window.width / 2), halfHeight = splat(window.height / 2);
    for (size_t v = 0; v < count; v += 4) {
        Lanes px, py, pz;
        for (size_t lane = 0; lane < 4; ++lane) {
            const float* p = points + std::min(v + lane, count - 1) * stride;
            px[lane] = p[0], py[lane] = p[1], pz[lane] = p[2];
        }
        const Lanes cx = m[0] * px + m[4] * py + m[8] * pz + m[12];
        const Lanes cy = m[1] * px + m[5] * py + m[9] * pz + m[13];
        const Lanes cz = m[2] * px + m[6] * py + m[10] * pz + m[14];
        const Lanes cw = m[3] * px + m[7] * py + m[11] * pz + m[15];
        const Lanes guard = kGuard * cw;
        // Outside the depth range or far outside the view, a point spans every column and row: its
        // triangles are kept.
        const IntLanes projected = (cw > 0) & (cz >= -cw) & (cz <= cw) & (cx <= guard) & (-cx <= guard) & (cy <= guard) & (-cy <= guard);
        const Lanes x = projected ? window.x + (cx / cw + 1) * halfWidth : splat(0);
        const Lanes y = projected ? window.y + (cy / cw + 1) * halfHeight : splat(0);
        const IntLanes none = IntLanes{} + INT32_MIN, all = IntLanes{} + INT32_MAX;
        const IntLanes lowX = projected ? ceilToInt(x - kMargin - 0.5f) : none;
        const IntLanes highX = projected ? floorToInt(x + kMargin - 0.5f) : all;
        const IntLanes lowY = projected ? ceilToInt(y - kMargin - 0.5f) : none;
        const IntLanes highY = projected ? floorToInt(y + kMargin - 0.5f) : all;
        std::memcpy(&x_[v], &x, sizeof x);
        std::memcpy(&y_[v], &y, sizeof y);
        std::memcpy(&lowX_[v], &lowX, sizeof lowX);
        std::memcpy(&highX_[v], &highX, sizeof highX);
        std::memcpy(&lowY_[v], &lowY, sizeof lowY);
        std::memcpy(&highY_[v], &highY, sizeof highY);
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
