#include "math/rotation.h"

#include <cmath>

Vector3 rotatePoint(const Vector3& p, const Vector3& axis, float angleDegrees)
{
    const float len = axis.length();
    if (len == 0.0f)
        return p;  // glRotatef with a zero axis leaves the matrix unchanged
    const float x = axis.x / len, y = axis.y / len, z = axis.z / len;
    const float a = degreesToRadians(angleDegrees);
    const float c = std::cos(a), s = std::sin(a), t = 1.0f - c;

    // The glRotatef matrix M, column-vector form; the row vector p·M reads its columns.
    const float m00 = x * x * t + c, m01 = x * y * t - z * s, m02 = x * z * t + y * s;
    const float m10 = y * x * t + z * s, m11 = y * y * t + c, m12 = y * z * t - x * s;
    const float m20 = x * z * t - y * s, m21 = y * z * t + x * s, m22 = z * z * t + c;
    return {p.x * m00 + p.y * m10 + p.z * m20, p.x * m01 + p.y * m11 + p.z * m21, p.x * m02 + p.y * m12 + p.z * m22};
}

Vector3 rotateAboutPivot(const Vector3& p, const Vector3& axis, const Vector3& pivot, float angleDegrees)
{
    return pivot + rotatePoint(p - pivot, axis, angleDegrees);
}
