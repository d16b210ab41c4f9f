#include "scenes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace assetgen {

std::vector<CellRecord> cellLayout(uint64_t seed)
{
    Rng rng(seed);
    std::vector<CellRecord> cells;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) {
                CellRecord c;
                const double jitter = 11.0;
                c.position = D3{-112.5 + 75 * i + rng.range(-jitter, jitter), -112.5 + 75 * j + rng.range(-jitter, jitter),
                                -112.5 + 75 * k + rng.range(-jitter, jitter)};
                c.axis = rng.direction();
                c.angle = std::min(rng.range(0.0, 360.0), 359.99);
                cells.push_back(c);
            }
    return cells;
}

Bytes serialiseCells(const std::vector<CellRecord>& cells)
{
    ByteWriter w;
    w.u32(static_cast<uint32_t>(cells.size()));
    for (const CellRecord& c : cells) {
        w.vec(c.position);
        w.vec(c.axis);
        w.f32(c.angle);
    }
    return std::move(w.bytes());
}

double cellClearance(const std::vector<CellRecord>& cells, const D3& p)
{
    double best = 1e9;
    for (const CellRecord& c : cells) {
        D3 d = p - c.position;
        d.x -= kCellPeriod * std::round(d.x / kCellPeriod);
        d.y -= kCellPeriod * std::round(d.y / kCellPeriod);
        d.z -= kCellPeriod * std::round(d.z / kCellPeriod);
        best = std::min(best, length(d));
    }
    return best;
}

Quat lookRotation(const D3& forward, const D3& up)
{
    D3 x = unit(forward);
    D3 z = unit(up - x * dot(up, x));
    D3 y = cross(z, x);
    // Columns x, y, z of the rotation matrix.
    double m00 = x.x, m10 = x.y, m20 = x.z;
    double m01 = y.x, m11 = y.y, m21 = y.z;
    double m02 = z.x, m12 = z.y, m22 = z.z;
    Quat q;
    double trace = m00 + m11 + m22;
    if (trace > 0) {
        double s = std::sqrt(trace + 1.0) * 2;
        q.w = 0.25 * s;
        q.x = (m21 - m12) / s;
        q.y = (m02 - m20) / s;
        q.z = (m10 - m01) / s;
    } else if (m00 > m11 && m00 > m22) {
        double s = std::sqrt(1.0 + m00 - m11 - m22) * 2;
        q.w = (m21 - m12) / s;
        q.x = 0.25 * s;
        q.y = (m01 + m10) / s;
        q.z = (m02 + m20) / s;
    } else if (m11 > m22) {
        double s = std::sqrt(1.0 + m11 - m00 - m22) * 2;
        q.w = (m02 - m20) / s;
        q.x = (m01 + m10) / s;
        q.y = 0.25 * s;
        q.z = (m12 + m21) / s;
    } else {
        double s = std::sqrt(1.0 + m22 - m00 - m11) * 2;
        q.w = (m10 - m01) / s;
        q.x = (m02 + m20) / s;
        q.y = (m12 + m21) / s;
        q.z = 0.25 * s;
    }
    double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    q.x /= n; q.y /= n; q.z /= n; q.w /= n;
    return q;
}

D3 forwardOf(const Quat& q)
{
    return {1 - 2 * (q.y * q.y + q.z * q.z), 2 * (q.x * q.y + q.z * q.w), 2 * (q.x * q.z - q.y * q.w)};
}

D3 upOf(const Quat& q)
{
    return {2 * (q.x * q.z + q.y * q.w), 2 * (q.y * q.z - q.x * q.w), 1 - 2 * (q.x * q.x + q.y * q.y)};
}

namespace {

D3 tangentAt(const std::vector<CameraKey>& keys, size_t i)
{
    size_t n = keys.size() - 1;
    if (i == 0) return keys[1].position - keys[0].position;
    if (i == n) return keys[n].position - keys[n - 1].position;
    return (keys[i + 1].position - keys[i - 1].position) / 2.0;
}

// Keeps neighbouring quaternions on the same hemisphere so nothing spins the long way round.
void alignSigns(std::vector<CameraKey>& keys)
{
    for (size_t i = 1; i < keys.size(); ++i) {
        const Quat& a = keys[i - 1].orientation;
        Quat& b = keys[i].orientation;
        if (a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w < 0) {
            b.x = -b.x; b.y = -b.y; b.z = -b.z; b.w = -b.w;
        }
    }
}

double minAlongPath(const std::vector<CameraKey>& keys, int samples, auto&& measure)
{
    double best = 1e9;
    for (size_t i = 0; i + 1 < keys.size(); ++i)
        for (int s = 0; s <= samples; ++s) best = std::min(best, measure(pathPoint(keys, i, static_cast<double>(s) / samples)));
    return best;
}

const D3 kUp{0, 1, 0};

}  // namespace

D3 pathPoint(const std::vector<CameraKey>& keys, size_t i, double u)
{
    const D3& p0 = keys[i].position;
    const D3& p1 = keys[i + 1].position;
    D3 m0 = tangentAt(keys, i), m1 = tangentAt(keys, i + 1);
    double u2 = u * u, u3 = u2 * u;
    return p0 * (2 * u3 - 3 * u2 + 1) + m0 * (u3 - 2 * u2 + u) + p1 * (-2 * u3 + 3 * u2) + m1 * (u3 - u2);
}

std::string sceneText(const std::vector<CameraKey>& keys)
{
    std::string out = "\r\nKEYFRAMES\r\n";
    char line[160];
    for (size_t i = 0; i < keys.size(); ++i) {
        const CameraKey& k = keys[i];
        out += "keyframe\r\n";
        std::snprintf(line, sizeof line, "time %f\r\n", 10.0 * static_cast<double>(i));
        out += line;
        std::snprintf(line, sizeof line, "position V(%f %f %f)\r\n", k.position.x, k.position.y, k.position.z);
        out += line;
        std::snprintf(line, sizeof line, "quaternion Q(%f %f %f %f)\r\n", k.orientation.x, k.orientation.y,
                      k.orientation.z, k.orientation.w);
        out += line;
        out += "end\r\n\r\n";
    }
    out += "ENDKEYS";
    return out;
}

std::vector<CameraKey> cellsFlight(const std::vector<CellRecord>& cells, int index)
{
    Rng rng(0xC311500ull + static_cast<uint64_t>(index) * 7919);
    const int count = 8 + index % 5;  // 8..12 keys: 23 to 37 seconds of flight
    for (int attempt = 0; attempt < 5000; ++attempt) {
        std::vector<CameraKey> keys;
        D3 p;
        do {
            p = D3{rng.range(-150, 150), rng.range(-150, 150), rng.range(-150, 150)};
        } while (cellClearance(cells, p) < 42);
        D3 dir = rng.direction();
        dir.y *= 0.3;
        dir = unit(dir);
        keys.push_back({p, {}});
        bool stuck = false;
        for (int i = 1; i < count && !stuck; ++i) {
            double bestScore = 1e9;
            D3 bestPoint, bestDir;
            for (int c = 0; c < 80; ++c) {
                double yaw = rng.range(-0.75, 0.75), pitch = rng.range(-0.3, 0.3);
                D3 d = rotateAbout(dir, kUp, yaw);
                D3 side = unit(cross(d, kUp));
                d = unit(rotateAbout(d, side, pitch));
                if (std::fabs(d.y) > 0.4) continue;
                double step = rng.range(55, 80);
                D3 q = p + d * step;
                double clearance = 1e9;
                for (int s = 0; s <= 24; ++s) clearance = std::min(clearance, cellClearance(cells, p + d * (step * s / 24)));
                if (clearance < 40) continue;
                // Close passes are the point of the flight; sharp turns are not.
                double score = std::fabs(clearance - 44) + 12 * std::fabs(yaw) + 20 * std::fabs(pitch);
                if (score < bestScore) {
                    bestScore = score;
                    bestPoint = q;
                    bestDir = d;
                }
            }
            if (bestScore >= 1e9) {
                stuck = true;
                break;
            }
            p = bestPoint;
            dir = bestDir;
            keys.push_back({p, {}});
        }
        if (stuck) continue;
        if (minAlongPath(keys, 48, [&](const D3& x) { return cellClearance(cells, x); }) < 36) continue;
        for (size_t i = 0; i < keys.size(); ++i) {
            D3 forward = unit(tangentAt(keys, i));
            // Glance a little towards the nearest cell as it goes by.
            double best = 1e9;
            D3 towards;
            for (const CellRecord& c : cells) {
                D3 d = c.position - keys[i].position;
                d.x -= kCellPeriod * std::round(d.x / kCellPeriod);
                d.y -= kCellPeriod * std::round(d.y / kCellPeriod);
                d.z -= kCellPeriod * std::round(d.z / kCellPeriod);
                if (length(d) < best && dot(unit(d), forward) > 0.2) {
                    best = length(d);
                    towards = unit(d);
                }
            }
            if (best < 1e9) forward = unit(forward + towards * 0.22);
            keys[i].orientation = lookRotation(forward, kUp);
        }
        alignSigns(keys);
        return keys;
    }
    return {};
}

std::vector<CameraKey> coreFlight(int index)
{
    Rng rng(0xC0DE00ull + static_cast<uint64_t>(index) * 104729);
    const int count = 7 + index;  // 7, 8, 9 keys: 30 to 40 seconds
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::vector<CameraKey> keys;
        double azimuth = rng.range(0, 2 * kPi);
        double turn = (index % 2 == 0 ? 1 : -1) * rng.range(0.35, 0.6);
        double radiusPhase = rng.range(0, 2 * kPi), heightPhase = rng.range(0, 2 * kPi);
        for (int i = 0; i < count; ++i) {
            double radius = 390 + 140 * std::cos(radiusPhase + i * 0.85) + rng.range(-20, 20);
            double elevation = 0.5 * std::sin(heightPhase + i * 0.6) + rng.range(-0.05, 0.05);
            D3 p{radius * std::cos(elevation) * std::cos(azimuth), radius * std::sin(elevation),
                 radius * std::cos(elevation) * std::sin(azimuth)};
            keys.push_back({p, {}});
            azimuth += turn + rng.range(-0.08, 0.08);
        }
        const D3 backgroundCentre{0, 230, 0};
        if (minAlongPath(keys, 32, [](const D3& x) { return length(x); }) < 230) continue;
        if (-minAlongPath(keys, 32, [&](const D3& x) { return -length(x - backgroundCentre); }) > 760) continue;
        for (CameraKey& k : keys) {
            // Aim near the nucleus, not always at its centre, so it drifts in the frame.
            D3 target{rng.range(-45, 45), rng.range(-50, 30), rng.range(-45, 45)};
            k.orientation = lookRotation(target - k.position, kUp);
        }
        alignSigns(keys);
        return keys;
    }
    return {};
}

std::vector<CameraKey> dnaFlight(int index)
{
    Rng rng(0xD7A00ull + static_cast<uint64_t>(index) * 15485863);
    const D3 parent{-300, 0, 0}, daughter{300, 0, 0}, arcs{0, 400, 0};
    const int count = 7 + index % 3;  // 60 to 80 seconds
    for (int attempt = 0; attempt < 2000; ++attempt) {
        std::vector<CameraKey> keys;
        std::vector<D3> targets;
        double side = (index % 2 == 0) ? 1.0 : -1.0;  // in front of or behind the helixes
        for (int i = 0; i < count; ++i) {
            double s = static_cast<double>(i) / (count - 1);
            double t = 10.0 * i;  // seconds into the show
            D3 p;
            if (index % 3 == 2) {
                // Between the helixes: rise up the gap while the atoms stream across.
                p = D3{rng.range(-70, 70) + 120 * std::sin(s * kPi * 1.3), 90 + 560 * s + rng.range(-30, 30),
                       side * (300 + 60 * std::sin(s * 5 + index) + rng.range(-20, 20))};
            } else {
                // An arc round the pair, sweeping from the parent's side to the daughter's.
                double a0 = index < 3 ? 0.55 : 0.35, a1 = index < 3 ? 2.6 : 2.8;
                double a = a0 + (a1 - a0) * s + rng.range(-0.07, 0.07);
                double radius = 560 + rng.range(-40, 40) + 40 * std::sin(s * 7 + index);
                double y = 380 + 250 * std::sin(s * kPi * 1.5 + index) + rng.range(-30, 30);
                p = D3{-radius * std::cos(a), y, side * radius * std::sin(a)};
            }
            keys.push_back({p, {}});
            D3 target;
            double h = 200 + 400 * s + rng.range(-60, 60);
            if (t < 10) target = parent + D3{0, h, 0};
            else if (t < 40) target = arcs + D3{rng.range(-80, 80), rng.range(-100, 40), 0};
            else target = daughter + D3{0, h, 0};
            targets.push_back(target);
        }
        auto axisDistance = [&](const D3& x) {
            return std::min(std::hypot(x.x - parent.x, x.z), std::hypot(x.x - daughter.x, x.z));
        };
        if (minAlongPath(keys, 32, axisDistance) < 200) continue;
        const D3 backgroundCentre{0, 230, 0};
        if (-minAlongPath(keys, 32, [&](const D3& x) { return -length(x - backgroundCentre); }) > 760) continue;
        bool steep = false;
        for (size_t i = 0; i < keys.size(); ++i) {
            D3 f = unit(targets[i] - keys[i].position);
            if (std::fabs(f.y) > 0.7) steep = true;
            keys[i].orientation = lookRotation(f, kUp);
        }
        if (steep) continue;
        alignSigns(keys);
        return keys;
    }
    return {};
}

}  // namespace assetgen
