#pragma once

// Rotation as x, y, z and the scalar part w. Slerp and the matrix form live with the camera.
struct Quaternion {
    float x = 0, y = 0, z = 0, w = 1;

    constexpr Quaternion() = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    constexpr bool operator==(const Quaternion&) const = default;
};

constexpr float dot(const Quaternion& a, const Quaternion& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
