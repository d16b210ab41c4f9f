#pragma once

#include "math/vector3.h"

// p as a row vector times the matrix glRotatef(angleDegrees, axis) builds: p turned by -angle
// about the axis. The axis is normalised, as glRotatef does.
Vector3 rotatePoint(const Vector3& p, const Vector3& axis, float angleDegrees);

// Where glRotatef(angleDegrees, axis) takes p as a column vector: the transpose's opposite.
inline Vector3 rotatedLikeGl(const Vector3& p, const Vector3& axis, float angleDegrees)
{
    return rotatePoint(p, axis, -angleDegrees);
}

Vector3 rotateAboutPivot(const Vector3& p, const Vector3& axis, const Vector3& pivot, float angleDegrees);

constexpr float kPi = 3.14159265358979323846f;
constexpr float degreesToRadians(float d) { return d * (kPi / 180.0f); }
