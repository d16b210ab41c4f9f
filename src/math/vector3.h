#pragma once

#include <cmath>

// Positions, directions and RGB colours.
struct Vector3 {
    float x = 0, y = 0, z = 0;

    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vector3 operator-() const { return {-x, -y, -z}; }
    constexpr Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr Vector3 operator/(float s) const { return {x / s, y / s, z / s}; }
    constexpr Vector3& operator+=(const Vector3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    constexpr Vector3& operator-=(const Vector3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    constexpr Vector3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    constexpr Vector3& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
    constexpr bool operator==(const Vector3&) const = default;

    float length() const { return std::sqrt(x * x + y * y + z * z); }
};

constexpr Vector3 operator*(float s, const Vector3& v) { return v * s; }

constexpr float dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

constexpr Vector3 cross(const Vector3& a, const Vector3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// No zero-length check: callers never pass a zero vector, and the original behaviour
// (a NaN result) is what the data relies on not happening.
inline Vector3 normalise(const Vector3& v) { return v / v.length(); }

constexpr Vector3 lerp(const Vector3& a, const Vector3& b, float t) { return a + (b - a) * t; }

constexpr float lerp(float a, float b, float t) { return a + (b - a) * t; }

// Cubic Hermite basis per component.
constexpr Vector3 hermite(const Vector3& p0, const Vector3& p1, const Vector3& m0, const Vector3& m1, float t)
{
    const float t2 = t * t, t3 = t2 * t;
    return p0 * (2 * t3 - 3 * t2 + 1) + m0 * (t3 - 2 * t2 + t) + p1 * (-2 * t3 + 3 * t2) + m1 * (t3 - t2);
}
