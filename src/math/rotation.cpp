#include "math/rotation.h"

#include <cmath>

Matrix3 glRotation(const Vector3& axis, float angleDegrees)
{
    Matrix3 r;
    const float len = axis.length();
    if (len == 0.0f)
        return r;  // glRotatef with a zero axis leaves the matrix unchanged
    const float x = axis.x / len, y = axis.y / len, z = axis.z / len;
    const float a = degreesToRadians(angleDegrees);
    const float c = std::cos(a), s = std::sin(a), t = 1.0f - c;
    r.m[0][0] = x * x * t + c, r.m[0][1] = x * y * t - z * s, r.m[0][2] = x * z * t + y * s;
    r.m[1][0] = y * x * t + z * s, r.m[1][1] = y * y * t + c, r.m[1][2] = y * z * t - x * s;
    r.m[2][0] = x * z * t - y * s, r.m[2][1] = y * z * t + x * s, r.m[2][2] = z * z * t + c;
    return r;
}

Vector3 rotatePoint(const Vector3& p, const Vector3& axis, float angleDegrees)
{
    // The row vector p·M reads the columns of M.
    const Matrix3 r = glRotation(axis, angleDegrees);
    return {p.x * r.m[0][0] + p.y * r.m[1][0] + p.z * r.m[2][0], p.x * r.m[0][1] + p.y * r.m[1][1] + p.z * r.m[2][1],
            p.x * r.m[0][2] + p.y * r.m[1][2] + p.z * r.m[2][2]};
}

Vector3 rotateAboutPivot(const Vector3& p, const Vector3& axis, const Vector3& pivot, float angleDegrees)
{
    return pivot + rotatePoint(p - pivot, axis, angleDegrees);
}
