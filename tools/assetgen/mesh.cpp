#include "mesh.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace assetgen {

Bytes MeshData::serialise() const
{
    ByteWriter w;
    w.u32(static_cast<uint32_t>(positions.size()));
    w.u32(static_cast<uint32_t>(faces.size()));
    w.u32(static_cast<uint32_t>(texCoords.size()));
    for (const D3& p : positions) w.vec(p);
    for (const Tri& f : faces) for (uint32_t i : f) w.u32(i);
    for (const Tri& f : texFaces) for (uint32_t i : f) w.u32(i);
    for (const auto& t : texCoords) {
        w.f32(t.first);
        w.f32(t.second);
    }
    for (const auto& n : normals) for (const D3& c : n) w.vec(unit(c));
    return std::move(w.bytes());
}

uint32_t MeshData::addTexCoord(double u, double v)
{
    float fu = static_cast<float>(u), fv = static_cast<float>(v);
    for (size_t i = 0; i < texCoords.size(); ++i)
        if (static_cast<float>(texCoords[i].first) == fu && static_cast<float>(texCoords[i].second) == fv)
            return static_cast<uint32_t>(i);
    texCoords.emplace_back(u, v);
    return static_cast<uint32_t>(texCoords.size() - 1);
}

TriSoup icosphere(int level)
{
    const double t = (1 + std::sqrt(5.0)) / 2;
    TriSoup s;
    D3 base[12] = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                   {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    // Turned so that vertex 0 sits on the +Z pole: spherical texture mapping then has a vertex at
    // each pole instead of a triangle smeared round it.
    const D3 pole = unit(base[0]);
    const D3 axis = unit(cross(pole, D3{0, 0, 1}));
    const double angle = std::acos(std::clamp(pole.z, -1.0, 1.0));
    for (const D3& p : base) s.positions.push_back(rotateAbout(unit(p), axis, angle));
    s.faces = {{0, 11, 5}, {0, 5, 1}, {0, 1, 7}, {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
               {11, 10, 2}, {10, 7, 6}, {7, 1, 8}, {3, 9, 4}, {3, 4, 2}, {3, 2, 6}, {3, 6, 8},
               {3, 8, 9}, {4, 9, 5}, {2, 4, 11}, {6, 2, 10}, {8, 6, 7}, {9, 8, 1}};
    for (int l = 0; l < level; ++l) {
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> middle;
        auto mid = [&](uint32_t a, uint32_t b) {
            auto key = std::minmax(a, b);
            auto it = middle.find(key);
            if (it != middle.end()) return it->second;
            s.positions.push_back(unit(s.positions[a] + s.positions[b]));
            uint32_t id = static_cast<uint32_t>(s.positions.size() - 1);
            middle[key] = id;
            return id;
        };
        std::vector<Tri> next;
        for (const Tri& f : s.faces) {
            uint32_t a = mid(f[0], f[1]), b = mid(f[1], f[2]), c = mid(f[2], f[0]);
            next.push_back({f[0], a, c});
            next.push_back({f[1], b, a});
            next.push_back({f[2], c, b});
            next.push_back({a, b, c});
        }
        s.faces = std::move(next);
    }
    return s;
}

std::vector<D3> vertexNormals(const TriSoup& soup)
{
    std::vector<D3> n(soup.positions.size());
    for (const Tri& f : soup.faces) {
        const D3 &a = soup.positions[f[0]], &b = soup.positions[f[1]], &c = soup.positions[f[2]];
        D3 fn = cross(b - a, c - a);  // length is twice the area: area weighting for free
        for (uint32_t i : f) n[i] += fn;
    }
    for (D3& v : n) v = unit(v);
    return n;
}

MeshData smoothMesh(const TriSoup& soup)
{
    MeshData m;
    m.positions = soup.positions;
    m.faces = soup.faces;
    std::vector<D3> n = vertexNormals(soup);
    for (const Tri& f : soup.faces) m.normals.push_back({n[f[0]], n[f[1]], n[f[2]]});
    return m;
}

void addSphericalMapping(MeshData& mesh, double uScale)
{
    mesh.texFaces.clear();
    mesh.texCoords.clear();
    for (const Tri& f : mesh.faces) {
        double u[3], v[3];
        bool atPole[3];
        for (int k = 0; k < 3; ++k) {
            D3 d = unit(mesh.positions[f[k]]);
            atPole[k] = std::fabs(d.z) > 0.99999;
            u[k] = std::atan2(d.y, d.x) / (2 * kPi) + 0.5;
            v[k] = 1.0 - std::acos(std::clamp(d.z, -1.0, 1.0)) / kPi;
        }
        double lo = 1e9, hi = -1e9;
        for (int k = 0; k < 3; ++k)
            if (!atPole[k]) { lo = std::min(lo, u[k]); hi = std::max(hi, u[k]); }
        if (hi - lo > 0.5)
            for (double& x : u) if (x < 0.5) x += 1.0;
        // A pole corner takes the middle of the other two, so the fan round the pole is not twisted.
        for (int k = 0; k < 3; ++k)
            if (atPole[k]) {
                double sum = 0;
                int n = 0;
                for (int j = 0; j < 3; ++j)
                    if (!atPole[j]) { sum += u[j]; ++n; }
                u[k] = n ? sum / n : 0.5;
            }
        Tri t;
        for (int k = 0; k < 3; ++k) t[k] = mesh.addTexCoord(u[k] * uScale, v[k]);
        mesh.texFaces.push_back(t);
    }
}

MeshData uvSphere()
{
    const int rings = 9, segments = 10;
    const double radius = 10;
    MeshData m;
    m.positions.push_back({0, 0, radius});
    for (int r = 0; r < rings; ++r) {
        double theta = kPi * (r + 1) / (rings + 1);
        for (int j = 0; j < segments; ++j) {
            double phi = 2 * kPi * j / segments;
            m.positions.push_back({radius * std::sin(theta) * std::cos(phi), radius * std::sin(theta) * std::sin(phi),
                                   radius * std::cos(theta)});
        }
    }
    m.positions.push_back({0, 0, -radius});
    const uint32_t south = static_cast<uint32_t>(m.positions.size() - 1);
    auto ring = [&](int r, int j) { return static_cast<uint32_t>(1 + r * segments + (j % segments)); };

    // Texture vertices: one per position, then the poles once per segment edge, then the seam column.
    const double u0 = 0.6;
    auto uOf = [&](int j) { return u0 + static_cast<double>(j) / segments; };
    auto vOf = [&](int r) { return 1.0 - static_cast<double>(r + 1) / (rings + 1); };
    m.texCoords.emplace_back(u0, 1.0);
    for (int r = 0; r < rings; ++r)
        for (int j = 0; j < segments; ++j) m.texCoords.emplace_back(uOf(j), vOf(r));
    m.texCoords.emplace_back(u0, 0.0);
    const uint32_t northTex = static_cast<uint32_t>(m.texCoords.size());
    for (int j = 0; j <= segments; ++j) m.texCoords.emplace_back(uOf(j), 1.0);
    const uint32_t southTex = static_cast<uint32_t>(m.texCoords.size());
    for (int j = 0; j <= segments; ++j) m.texCoords.emplace_back(uOf(j), 0.0);
    const uint32_t seamTex = static_cast<uint32_t>(m.texCoords.size());
    for (int r = 0; r < rings; ++r) m.texCoords.emplace_back(uOf(segments), vOf(r));
    auto ringTex = [&](int r, int j) {
        return j == segments ? seamTex + static_cast<uint32_t>(r) : static_cast<uint32_t>(1 + r * segments + j);
    };
    auto normalOf = [&](uint32_t p) { return unit(m.positions[p]); };
    auto add = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t ta, uint32_t tb, uint32_t tc) {
        m.faces.push_back({a, b, c});
        m.texFaces.push_back({ta, tb, tc});
        m.normals.push_back({normalOf(a), normalOf(b), normalOf(c)});
    };
    for (int j = 0; j < segments; ++j)
        add(0, ring(0, j), ring(0, j + 1), northTex + j, ringTex(0, j), ringTex(0, j + 1));
    for (int r = 0; r + 1 < rings; ++r)
        for (int j = 0; j < segments; ++j) {
            add(ring(r, j), ring(r + 1, j), ring(r + 1, j + 1), ringTex(r, j), ringTex(r + 1, j), ringTex(r + 1, j + 1));
            add(ring(r, j), ring(r + 1, j + 1), ring(r, j + 1), ringTex(r, j), ringTex(r + 1, j + 1), ringTex(r, j + 1));
        }
    for (int j = 0; j < segments; ++j)
        add(south, ring(rings - 1, j + 1), ring(rings - 1, j), southTex + j, ringTex(rings - 1, j + 1),
            ringTex(rings - 1, j));
    return m;
}

MeshData lowSphere()
{
    TriSoup s = icosphere(1);
    for (D3& p : s.positions) p = p * 10.0;
    MeshData m = smoothMesh(s);
    addSphericalMapping(m);
    return m;
}

namespace {

// A closed surface over a (rings × segments) parameter grid plus two pole vertices; `at`(s, phi)
// gives the point for s in (0, 1) along and phi around. Texture u runs around, v along.
template <typename Surface>
MeshData latticeMesh(int rings, int segments, Surface at, D3 pole0, D3 pole1, double uRepeat, double vRepeat)
{
    TriSoup soup;
    soup.positions.push_back(pole0);
    for (int r = 0; r < rings; ++r)
        for (int j = 0; j < segments; ++j)
            soup.positions.push_back(at((r + 1.0) / (rings + 1), 2 * kPi * j / segments));
    soup.positions.push_back(pole1);
    uint32_t last = static_cast<uint32_t>(soup.positions.size() - 1);
    auto ring = [&](int r, int j) { return static_cast<uint32_t>(1 + r * segments + (j % segments)); };
    struct Corner { int r, j; };
    std::vector<std::array<Corner, 3>> corners;
    for (int j = 0; j < segments; ++j) {
        soup.faces.push_back({0, ring(0, j + 1), ring(0, j)});
        corners.push_back({Corner{-1, j}, Corner{0, j + 1}, Corner{0, j}});
    }
    for (int r = 0; r + 1 < rings; ++r)
        for (int j = 0; j < segments; ++j) {
            soup.faces.push_back({ring(r, j), ring(r, j + 1), ring(r + 1, j + 1)});
            corners.push_back({Corner{r, j}, Corner{r, j + 1}, Corner{r + 1, j + 1}});
            soup.faces.push_back({ring(r, j), ring(r + 1, j + 1), ring(r + 1, j)});
            corners.push_back({Corner{r, j}, Corner{r + 1, j + 1}, Corner{r + 1, j}});
        }
    for (int j = 0; j < segments; ++j) {
        soup.faces.push_back({last, ring(rings - 1, j), ring(rings - 1, j + 1)});
        corners.push_back({Corner{rings, j}, Corner{rings - 1, j}, Corner{rings - 1, j + 1}});
    }
    // Orientation check: the surface must face outwards from its centroid.
    D3 centre;
    for (const D3& p : soup.positions) centre += p;
    centre = centre / static_cast<double>(soup.positions.size());
    double signedVolume = 0;
    for (const Tri& f : soup.faces)
        signedVolume += dot(soup.positions[f[0]] - centre,
                            cross(soup.positions[f[1]] - centre, soup.positions[f[2]] - centre));
    if (signedVolume < 0)
        for (size_t i = 0; i < soup.faces.size(); ++i) {
            std::swap(soup.faces[i][1], soup.faces[i][2]);
            std::swap(corners[i][1], corners[i][2]);
        }
    MeshData m = smoothMesh(soup);
    for (const auto& tri : corners) {
        // A pole corner takes the u of the middle of its fan triangle.
        double uMid = 0;
        int counted = 0;
        for (const Corner& c : tri)
            if (c.r >= 0 && c.r < rings) { uMid += c.j; ++counted; }
        uMid /= counted;
        Tri t;
        for (int k = 0; k < 3; ++k) {
            const Corner& c = tri[k];
            double u = (c.r < 0 || c.r >= rings ? uMid : c.j) / segments * uRepeat;
            double v = (c.r + 1.0) / (rings + 1) * vRepeat;
            t[k] = m.addTexCoord(u, v);
        }
        m.texFaces.push_back(t);
    }
    return m;
}

}  // namespace

MeshData mitochondrion()
{
    // A bean about 7 long (x), 3 across, slightly flattened and bent. Ten of them orbit inside
    // every cell, so the lattice is kept to 7 rings of 6: 44 vertices, 84 faces.
    const double halfLength = 3.5, radius = 1.45;
    auto at = [&](double s, double phi) {
        double alpha = (s - 0.5) * kPi;
        double x = halfLength * std::sin(alpha);
        double girth = radius * std::pow(std::cos(alpha), 0.7);
        double bend = -0.55 * (1 - (x / halfLength) * (x / halfLength));
        double y = girth * std::cos(phi) * (1.0 + 0.12 * std::cos(phi)) + bend;
        double z = girth * std::sin(phi) * 0.82;
        return D3{x, y, z};
    };
    return latticeMesh(7, 6, at, D3{-halfLength, -0.0, 0}, D3{halfLength, 0, 0}, 2.0, 3.0);
}

MeshData ribosome()
{
    // Large subunit above, small subunit below, fused by a smooth union; the surface is found along
    // rays from a point between them (the shape is star-shaped about it).
    struct Blob { D3 centre; D3 radii; };
    const Blob large{{0, 2.6, 0}, {8.2, 6.6, 7.4}};
    const Blob small{{0.8, -4.6, 0.4}, {6.6, 3.8, 5.4}};
    auto sdf = [&](const D3& p) {
        auto ellipsoid = [](const D3& q, const Blob& b) {
            D3 d = q - b.centre;
            D3 k0{d.x / b.radii.x, d.y / b.radii.y, d.z / b.radii.z};
            D3 k1{d.x / (b.radii.x * b.radii.x), d.y / (b.radii.y * b.radii.y), d.z / (b.radii.z * b.radii.z)};
            double l0 = length(k0), l1 = length(k1);
            return l1 > 0 ? l0 * (l0 - 1.0) / l1 : -std::min({b.radii.x, b.radii.y, b.radii.z});
        };
        double a = ellipsoid(p, large), b = ellipsoid(p, small);
        const double k = 1.4;  // a shallow waist between the lobes
        double h = std::clamp(0.5 + 0.5 * (b - a) / k, 0.0, 1.0);
        double d = b + (a - b) * h - k * h * (1 - h);
        // A few soft lumps so the surface is not a plain blend of ellipsoids.
        d += 0.35 * std::sin(p.x * 0.9 + 1.3) * std::sin(p.y * 0.8) * std::sin(p.z * 0.85 + 0.4);
        return d;
    };
    TriSoup s = icosphere(2);
    // Texture coordinates from the undeformed sphere, where the poles are exact vertices.
    MeshData sphere = smoothMesh(s);
    addSphericalMapping(sphere, 2.0);
    const D3 origin{0.3, -0.6, 0.1};
    for (D3& p : s.positions) {
        D3 dir = p;
        double lo = 0, hi = 20;
        for (int i = 0; i < 40; ++i) {
            double mid = (lo + hi) / 2;
            (sdf(origin + dir * mid) < 0 ? lo : hi) = mid;
        }
        p = origin + dir * lo;
    }
    MeshData m = smoothMesh(s);
    m.texFaces = std::move(sphere.texFaces);
    m.texCoords = std::move(sphere.texCoords);
    return m;
}

MeshData chromosome()
{
    // Two sister chromatids, each a bent rod, touching at the centromere: together an X. The DNA
    // show draws 400 of them a frame, so each chromatid is 13 rings of 6 (an odd ring count puts
    // a ring on the centromere): 160 vertices, 312 faces in all.
    const int rings = 13, segments = 6;
    const double halfHeight = 19.0, spread = 8.5, waist = 2.4, thickness = 4.3;
    MeshData result;
    for (int side = 0; side < 2; ++side) {
        double sx = side == 0 ? -1.0 : 1.0;
        auto spine = [&](double s) {
            double y = (s - 0.5) * 2 * halfHeight;
            double t = std::fabs(y) / halfHeight;
            double x = sx * (waist + (spread - waist) * std::pow(t, 1.3));
            double z = 0.9 * std::sin(s * kPi * 2) * sx;  // a slight twist out of plane
            return D3{x, y, z};
        };
        auto at = [&](double s, double phi) {
            D3 c = spine(s);
            double ds = 1e-3;
            D3 tangent = unit(spine(std::min(1.0, s + ds)) - spine(std::max(0.0, s - ds)));
            D3 side1 = unit(cross(tangent, D3{0, 0, 1}));
            D3 side2 = cross(side1, tangent);
            double y = std::fabs((s - 0.5) * 2);
            double r = thickness * std::pow(std::sin(kPi * s), 0.35);
            r *= 1.0 - 0.38 * std::exp(-y * y * 60.0);  // pinched at the centromere
            return c + side1 * (r * std::cos(phi)) + side2 * (r * std::sin(phi));
        };
        MeshData half = latticeMesh(rings, segments, at, spine(0.0) + D3{0, -0.05, 0}, spine(1.0) + D3{0, 0.05, 0},
                                    1.0, 4.0);
        uint32_t baseP = static_cast<uint32_t>(result.positions.size());
        uint32_t baseT = static_cast<uint32_t>(result.texCoords.size());
        result.positions.insert(result.positions.end(), half.positions.begin(), half.positions.end());
        result.texCoords.insert(result.texCoords.end(), half.texCoords.begin(), half.texCoords.end());
        for (size_t i = 0; i < half.faces.size(); ++i) {
            Tri f = half.faces[i], t = half.texFaces[i];
            for (int k = 0; k < 3; ++k) { f[k] += baseP; t[k] += baseT; }
            result.faces.push_back(f);
            result.texFaces.push_back(t);
            result.normals.push_back(half.normals[i]);
        }
    }
    return result;
}

}  // namespace assetgen
