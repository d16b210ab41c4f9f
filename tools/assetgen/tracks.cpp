#include "tracks.h"

#include <cmath>

namespace assetgen {

Bytes TrackData::serialise() const
{
    const size_t v = vertexCount();
    ByteWriter w;
    w.u32(static_cast<uint32_t>(v));
    w.u32(static_cast<uint32_t>(faces.size()));
    w.u32(static_cast<uint32_t>(faces.size() * 3));
    for (const D3& p : keyPositions[0]) w.vec(p);
    for (const D3& n : keyNormals[0]) w.vec(n);
    // The same mapping the player derives every frame, so the first frame matches the rest.
    for (size_t i = 0; i < v; ++i) {
        D3 e = unit(keyPositions[0][i] + keyNormals[0][i]);
        w.f32(e.x / 2);
        w.f32(e.y / 2);
    }
    for (const Tri& f : faces) for (uint32_t i : f) w.u32(i);
    for (int k = 0; k < kKeyPoses; ++k) {
        for (const D3& p : keyPositions[k]) w.vec(p);
        for (const D3& n : keyNormals[k]) w.vec(n);
    }
    // Tangents from the stored (single precision) poses, so they are exactly the central
    // differences of what the player reads.
    auto f = [](double x) { return static_cast<double>(static_cast<float>(x)); };
    for (int k = 0; k < kKeyPoses; ++k) {
        int next = (k + 1) % kKeyPoses, prev = (k + kKeyPoses - 1) % kKeyPoses;
        for (const auto* keys : {&keyPositions, &keyNormals})
            for (size_t i = 0; i < v; ++i) {
                const D3& a = (*keys)[next][i];
                const D3& b = (*keys)[prev][i];
                w.vec(D3{(f(a.x) - f(b.x)) / 2, (f(a.y) - f(b.y)) / 2, (f(a.z) - f(b.z)) / 2});
            }
    }
    return std::move(w.bytes());
}

TrackData membraneTrack(int level, double radius, double amplitude, uint64_t seed)
{
    Rng rng(seed);
    TriSoup base = icosphere(level);
    struct Bulge {
        D3 start, axis;
        int turns;          // whole turns per cycle, so the loop closes
        double size, sharpness, phase;
    };
    std::vector<Bulge> bulges;
    for (int i = 0; i < 5; ++i) {
        Bulge b;
        b.start = rng.direction();
        b.axis = unit(cross(b.start, rng.direction()));
        b.turns = (i % 2 == 0) ? 1 : -1;
        b.size = amplitude * rng.range(0.55, 1.0) * (i < 2 ? 1.0 : 0.7) * (rng.unit() < 0.3 ? -0.7 : 1.0);
        b.sharpness = rng.range(2.0, 3.4);
        b.phase = rng.unit() * 2 * kPi;
        bulges.push_back(b);
    }
    // A slow ellipsoidal sway on top of the bulges.
    D3 swayAxis = rng.direction();
    const double swayPhase = rng.unit() * 2 * kPi;

    TrackData t;
    t.faces = base.faces;
    for (int k = 0; k < kKeyPoses; ++k) {
        double cycle = 2 * kPi * k / kKeyPoses;
        TriSoup pose = base;
        for (D3& p : pose.positions) {
            D3 d = p;
            double r = 1.0 + 0.025 * std::sin(cycle + swayPhase);
            double along = dot(d, swayAxis);
            r += 0.03 * amplitude / 0.1 * (along * along - 1.0 / 3.0) * std::sin(cycle * 2 + swayPhase * 0.5);
            for (const Bulge& b : bulges) {
                D3 c = rotateAbout(b.start, b.axis, b.turns * cycle + b.phase);
                r += b.size * (std::exp(b.sharpness * (dot(d, c) - 1.0)) - 0.25);
            }
            p = d * (radius * r);
        }
        t.keyNormals.push_back(vertexNormals(pose));
        t.keyPositions.push_back(std::move(pose.positions));
    }
    return t;
}

}  // namespace assetgen
