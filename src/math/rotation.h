#pragma once

#include <cmath>

#include "math/vector3.h"

// A 3 x 3 matrix acting on column vectors, rows first.
struct Matrix3 {
    float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    Vector3 operator*(const Vector3& v) const
    {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    Matrix3 operator*(const Matrix3& o) const
    {
        Matrix3 r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
        return r;
    }
    // For a rotation, its inverse.
    Matrix3 transposed() const
    {
        Matrix3 t;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) t.m[i][j] = m[j][i];
        return t;
    }
    Matrix3 operator*(float s) const
    {
        Matrix3 r = *this;
        for (auto& row : r.m)
            for (float& e : row) e *= s;
        return r;
    }
};

// The rotation glRotatef(angleDegrees, axis) builds; a zero axis gives the identity, as there.
Matrix3 glRotation(const Vector3& axis, float angleDegrees);

// p as a row vector times the matrix glRotatef(angleDegrees, axis) builds: p turned by -angle
// about the axis. The axis is normalised, as glRotatef does.
Vector3 rotatePoint(const Vector3& p, const Vector3& axis, float angleDegrees);

Vector3 rotateAboutPivot(const Vector3& p, const Vector3& axis, const Vector3& pivot, float angleDegrees);

constexpr float kPi = 3.14159265358979323846f;
constexpr float degreesToRadians(float d) { return d * (kPi / 180.0f); }

// Adds step degrees and wraps once past 360 (exactly 360 stays). Only a stall (a machine asleep or
// paused for hours) gets an angle past ten turns: worked off a turn a frame from millions of
// degrees, where a float cannot hold one frame's turn, the spin would stutter or stand still for
// minutes, so it is reduced at once.
inline float advanceAngle(float angle, float step)
{
    angle += step;
    if (angle > 360.0f) angle -= 360.0f;
    if (angle > 3600.0f) angle = std::fmod(angle, 360.0f);
    return angle;
}
