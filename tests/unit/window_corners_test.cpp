#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "render/window_mapping.h"

namespace {

// Clip space is the object space (w = 1): x and y in [-1, 1] span a 64 × 48 viewport.
WindowMapping flatWindow()
{
    WindowMapping w;
    for (int i = 0; i < 4; ++i) w.clip[i * 5] = 1;
    w.width = 64;
    w.height = 48;
    w.centresOnly = true;
    return w;
}

// Whether some pixel centre of the viewport lies inside the window triangle or within a
// thousandth of a pixel of it: what the rasterizer could light.
bool coversACentre(const float x[3], const float y[3])
{
    const double area = (double(x[1]) - x[0]) * (double(y[2]) - y[0]) - (double(x[2]) - x[0]) * (double(y[1]) - y[0]);
    // Centres beyond the box grown by a pixel cannot be that near.
    const int i0 = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))) - 1), i1 = std::min(63, int(std::max({x[0], x[1], x[2]})) + 1);
    const int j0 = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))) - 1), j1 = std::min(47, int(std::max({y[0], y[1], y[2]})) + 1);
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const double px = i + 0.5, py = j + 0.5;
            bool inside = area != 0;
            double nearest = INFINITY;
            for (int e = 0; e < 3; ++e) {
                const int n = (e + 1) % 3;
                const double ex = double(x[n]) - x[e], ey = double(y[n]) - y[e];
                inside = inside && (ex * (py - y[e]) - ey * (px - x[e])) * (area < 0 ? -1 : 1) >= 0;
                // Distance to the edge as a segment.
                const double length2 = ex * ex + ey * ey;
                const double t = length2 > 0 ? std::clamp(((px - x[e]) * ex + (py - y[e]) * ey) / length2, 0.0, 1.0) : 0.0;
                nearest = std::min(nearest, std::hypot(px - x[e] - t * ex, py - y[e] - t * ey));
            }
            if (inside || nearest <= 1e-3) return true;
        }
    return false;
}

}  // namespace

// Small triangles anywhere, some straddling the viewport's edges: every one that lights a centre
// is kept, and most of those that light none are left out.
TEST(WindowCorners, KeepsEveryTriangleThatCoversACentreAndDropsMostOthers)
{
    const WindowMapping window = flatWindow();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> where(-1.1f, 1.1f), reach(-0.05f, 0.05f);
    int empty = 0, dropped = 0;
    for (int t = 0; t < 10000; ++t) {
        float points[9];
        const float cx = where(random), cy = where(random);
        for (int k = 0; k < 3; ++k) points[3 * k] = cx + reach(random), points[3 * k + 1] = cy + reach(random), points[3 * k + 2] = 0;
        WindowCorners corners;
        corners.project(window, points, 3, 3);
        const bool kept = corners.mayCoverACentre(0, 1, 2);
        float x[3], y[3];
        for (int k = 0; k < 3; ++k) x[k] = (points[3 * k] + 1) * 32, y[k] = (points[3 * k + 1] + 1) * 24;
        if (coversACentre(x, y)) {
            ASSERT_TRUE(kept) << "triangle " << t;
        } else {
            ++empty;
            dropped += !kept;
        }
    }
    EXPECT_GT(empty, 2000);
    EXPECT_GT(dropped, empty * 4 / 5);
}

// Where clipping decides (behind the eye, outside the depth range) or samples are not at the
// centres, nothing is dropped.
TEST(WindowCorners, KeepsWhatClippingOrMultisamplingDecides)
{
    // A sliver between centres, dropped as it stands.
    float points[9] = {0.01f, 0.01f, 0, 0.02f, 0.011f, 0, 0.01f, 0.02f, 0};
    WindowMapping window = flatWindow();
    WindowCorners corners;
    corners.project(window, points, 3, 3);
    EXPECT_FALSE(corners.mayCoverACentre(0, 1, 2));

    points[2] = 2;  // beyond the far plane (z > w)
    corners.project(window, points, 3, 3);
    EXPECT_TRUE(corners.mayCoverACentre(0, 1, 2));

    points[2] = 0;
    window.clip[15] = -1;  // every corner behind the eye
    corners.project(window, points, 3, 3);
    EXPECT_TRUE(corners.mayCoverACentre(0, 1, 2));

    window = flatWindow();
    window.centresOnly = false;
    corners.project(window, points, 3, 3);
    EXPECT_TRUE(corners.mayCoverACentre(0, 1, 2));
}

// A space placed inside another lands where its points, placed by hand, land in the outer one:
// small triangles slid across a pixel centre are kept and dropped alike both ways.
TEST(WindowCorners, PlacedSpaceLandsWhereItsPointsDo)
{
    WindowMapping window = flatWindow();
    window.clip[11] = -0.5f;  // some perspective: w = 1 - z / 2
    Matrix3 linear;
    linear.m[0][1] = 0.3f;
    linear.m[2][0] = -0.2f;
    const Vector3 offset(0.1f, -0.2f, 0.3f);
    int kept = 0;
    for (int step = 0; step < 40; ++step) {
        const float x = 0.2f + 0.002f * static_cast<float>(step), y = 0.4f, z = -0.5f;
        const float inner[9] = {x, y, z, x + 0.01f, y, z, x, y + 0.01f, z};
        float outer[9];
        for (int k = 0; k < 3; ++k) {
            const Vector3 p = linear * Vector3(inner[3 * k], inner[3 * k + 1], inner[3 * k + 2]) + offset;
            outer[3 * k] = p.x, outer[3 * k + 1] = p.y, outer[3 * k + 2] = p.z;
        }
        WindowCorners placed, byHand;
        placed.project(window.placed(linear, offset), inner, 3, 3);
        byHand.project(window, outer, 3, 3);
        EXPECT_EQ(placed.mayCoverACentre(0, 1, 2), byHand.mayCoverACentre(0, 1, 2)) << step;
        kept += byHand.mayCoverACentre(0, 1, 2);
    }
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 40);
}
