// The generated archive, read back with the project's reader: every file present, every binary
// format exactly as the loaders expect it.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "content_support.h"

namespace {

struct Vec {
    float x, y, z;
};
Vec operator-(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(const Vec& a, const Vec& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double dotv(const Vec& a, const Vec& b) { return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z; }
Vec crossv(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len(const Vec& a) { return std::sqrt(dotv(a, a)); }

Vec readVec(Cursor& c)
{
    Vec v;
    v.x = c.f32();
    v.y = c.f32();
    v.z = c.f32();
    return v;
}

struct Mesh {
    uint32_t v = 0, f = 0, t = 0;
    std::vector<Vec> positions;
    std::vector<uint32_t> faces, texFaces;
    std::vector<float> uv;
    std::vector<Vec> normals;  // three per face
    size_t fileSize = 0;
};

Mesh readMesh(const std::string& path)
{
    std::vector<uint8_t> bytes = archiveEntry(path);
    Mesh m;
    m.fileSize = bytes.size();
    Cursor c(bytes);
    m.v = c.u32();
    m.f = c.u32();
    m.t = c.u32();
    if (12 + 12ull * m.v + 60ull * m.f + 8ull * m.t != bytes.size()) return m;
    for (uint32_t i = 0; i < m.v; ++i) m.positions.push_back(readVec(c));
    for (uint32_t i = 0; i < 3 * m.f; ++i) m.faces.push_back(c.u32());
    for (uint32_t i = 0; i < 3 * m.f; ++i) m.texFaces.push_back(c.u32());
    for (uint32_t i = 0; i < 2 * m.t; ++i) m.uv.push_back(c.f32());
    for (uint32_t i = 0; i < 3 * m.f; ++i) m.normals.push_back(readVec(c));
    return m;
}

TEST(ContentArchive, HoldsEveryFileTheScenesOpen)
{
    std::vector<std::string> names = {"animation\\cell.trk", "animation\\lcell.trk", "animation\\core.trk",
                                      "animation\\lcore.trk", "meshes\\sphere.dat", "meshes\\lows.dat",
                                      "meshes\\mito.dat", "meshes\\ribo.dat", "meshes\\chrom.dat",
                                      "textures\\cell.jpg", "textures\\env.jpg", "textures\\d_env.jpg",
                                      "textures\\hcore.jpg", "textures\\dna.jpg", "textures\\link.jpg",
                                      "textures\\c.jpg", "reg_cells.dat", "music.ogg"};
    for (int i = 0; i < 15; ++i) names.push_back("scenes\\cells\\scene" + std::to_string(i) + ".txt");
    for (int i = 0; i < 3; ++i) names.push_back("scenes\\core\\scene" + std::to_string(i) + ".txt");
    for (int i = 0; i < 6; ++i) names.push_back("scenes\\dna\\scene" + std::to_string(i) + ".txt");
    for (int i = 0; i < 10; ++i) names.push_back("dna" + std::to_string(i) + ".dat");
    for (const std::string& name : names) EXPECT_FALSE(archiveEntry(name).empty()) << name;
    // The archive is found case-blind and with either separator, as the loaders ask for it.
    EXPECT_FALSE(archiveEntry("TEXTURES/CELL.JPG").empty());
    EXPECT_TRUE(archiveEntry("textures\\loader.jpg").empty());  // a resource, not an archive file
}

TEST(ContentMeshes, AreWellFormedClosedSmoothSurfaces)
{
    for (const char* path : {"meshes\\sphere.dat", "meshes\\lows.dat", "meshes\\mito.dat", "meshes\\ribo.dat",
                             "meshes\\chrom.dat"}) {
        SCOPED_TRACE(path);
        Mesh m = readMesh(path);
        ASSERT_EQ(m.fileSize, 12 + 12ull * m.v + 60ull * m.f + 8ull * m.t);
        ASSERT_GT(m.f, 0u);
        for (uint32_t i : m.faces) ASSERT_LT(i, m.v);
        for (uint32_t i : m.texFaces) ASSERT_LT(i, m.t);
        for (const Vec& n : m.normals) ASSERT_NEAR(len(n), 1.0, 1e-5);
        // Every triangle faces outwards (culled meshes must show their outside) and its corner
        // normals agree with its face.
        Vec centre{0, 0, 0};
        for (const Vec& p : m.positions) centre = centre + p;
        centre = {centre.x / m.v, centre.y / m.v, centre.z / m.v};
        double volume = 0;
        int disagreeing = 0;
        for (uint32_t f = 0; f < m.f; ++f) {
            const Vec& a = m.positions[m.faces[3 * f]];
            const Vec& b = m.positions[m.faces[3 * f + 1]];
            const Vec& c = m.positions[m.faces[3 * f + 2]];
            Vec n = crossv(b - a, c - a);
            volume += dotv(a - centre, crossv(b - centre, c - centre));
            for (int k = 0; k < 3; ++k)
                if (dotv(n, m.normals[3 * f + k]) <= 0) ++disagreeing;
        }
        EXPECT_GT(volume, 0.0);
        EXPECT_EQ(disagreeing, 0);
        // No triangle smears the texture: its corners stay within half a repeat of each other.
        for (uint32_t f = 0; f < m.f; ++f) {
            float lo = 1e9f, hi = -1e9f;
            for (int k = 0; k < 3; ++k) {
                float u = m.uv[2 * m.texFaces[3 * f + k]];
                lo = std::min(lo, u);
                hi = std::max(hi, u);
            }
            ASSERT_LT(hi - lo, 0.55f) << "triangle " << f;
        }
    }
}

TEST(ContentMeshes, SphereAndBackgroundHaveTheirKnownLayout)
{
    Mesh s = readMesh("meshes\\sphere.dat");
    EXPECT_EQ(s.v, 92u);
    EXPECT_EQ(s.f, 180u);
    EXPECT_EQ(s.t, 123u);
    ASSERT_EQ(s.faces.size(), 540u);
    EXPECT_EQ(s.faces[0], 0u);
    EXPECT_FLOAT_EQ(s.positions[0].z, 10.0f);
    EXPECT_EQ(s.texFaces[0], 92u);
    EXPECT_FLOAT_EQ(s.uv[2 * 92], 0.6f);
    EXPECT_FLOAT_EQ(s.uv[2 * 92 + 1], 1.0f);
    EXPECT_FLOAT_EQ(s.normals[0].z, 1.0f);
    for (const Vec& p : s.positions) EXPECT_NEAR(len(p), 10.0, 1e-4);

    Mesh l = readMesh("meshes\\lows.dat");
    EXPECT_EQ(l.v, 42u);
    EXPECT_EQ(l.f, 80u);
    for (const Vec& p : l.positions) EXPECT_NEAR(len(p), 10.0, 1e-4);
}

TEST(ContentMeshes, OrganellesHaveTheirShapeAndSize)
{
    auto extent = [](const Mesh& m) {
        Vec lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
        for (const Vec& p : m.positions) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        return hi - lo;
    };
    Vec mito = extent(readMesh("meshes\\mito.dat"));
    EXPECT_NEAR(mito.x, 7.0, 0.5);  // a bean about 7 long
    EXPECT_LT(mito.y, 4.0);
    EXPECT_LT(mito.z, 4.0);
    Vec chrom = extent(readMesh("meshes\\chrom.dat"));
    EXPECT_GT(chrom.y, 30.0);  // an X taller and wider than deep
    EXPECT_GT(chrom.x, 15.0);
    EXPECT_LT(chrom.z, chrom.x);
    Vec ribo = extent(readMesh("meshes\\ribo.dat"));
    EXPECT_GT(ribo.y, ribo.x);  // two subunits stacked
}

struct Track {
    uint32_t v = 0, f = 0, i = 0;
    std::vector<float> initialPositions, initialNormals, texCoords;
    std::vector<uint32_t> indices;
    std::vector<std::vector<float>> keyPositions, keyNormals, positionTangents, normalTangents;
    size_t fileSize = 0;
};

Track readTrack(const std::string& path)
{
    std::vector<uint8_t> bytes = archiveEntry(path);
    Track t;
    t.fileSize = bytes.size();
    Cursor c(bytes);
    t.v = c.u32();
    t.f = c.u32();
    t.i = c.u32();
    if (12 + 512ull * t.v + 4ull * t.i != bytes.size()) return t;
    auto floats = [&](size_t n) {
        std::vector<float> out(n);
        for (float& x : out) x = c.f32();
        return out;
    };
    t.initialPositions = floats(3 * t.v);
    t.initialNormals = floats(3 * t.v);
    t.texCoords = floats(2 * t.v);
    for (uint32_t k = 0; k < t.i; ++k) t.indices.push_back(c.u32());
    for (int k = 0; k < 10; ++k) {
        t.keyPositions.push_back(floats(3 * t.v));
        t.keyNormals.push_back(floats(3 * t.v));
    }
    for (int k = 0; k < 10; ++k) {
        t.positionTangents.push_back(floats(3 * t.v));
        t.normalTangents.push_back(floats(3 * t.v));
    }
    return t;
}

TEST(ContentTracks, HaveTheSizesCountsAndTangentsThePlayerNeeds)
{
    struct Expect {
        const char* path;
        uint32_t v, f;
        double radius;
    };
    for (const Expect& e : {Expect{"animation\\cell.trk", 642, 1280, 22}, Expect{"animation\\lcell.trk", 162, 320, 22},
                            Expect{"animation\\core.trk", 642, 1280, 13}, Expect{"animation\\lcore.trk", 162, 320, 13}}) {
        SCOPED_TRACE(e.path);
        Track t = readTrack(e.path);
        ASSERT_EQ(t.fileSize, 12 + 512ull * e.v + 12ull * e.f);
        ASSERT_EQ(t.v, e.v);
        ASSERT_EQ(t.f, e.f);
        ASSERT_EQ(t.i, 3 * e.f);
        for (uint32_t i : t.indices) ASSERT_LT(i, t.v);
        EXPECT_EQ(t.initialPositions, t.keyPositions[0]);
        EXPECT_EQ(t.initialNormals, t.keyNormals[0]);
        for (float x : t.texCoords) {
            ASSERT_GE(x, -1.0f);
            ASSERT_LE(x, 1.0f);
        }
        for (int k = 0; k < 10; ++k) {
            int next = (k + 1) % 10, prev = (k + 9) % 10;
            for (size_t j = 0; j < 3 * t.v; ++j) {
                ASSERT_EQ(t.positionTangents[k][j], (t.keyPositions[next][j] - t.keyPositions[prev][j]) / 2) << k;
                ASSERT_EQ(t.normalTangents[k][j], (t.keyNormals[next][j] - t.keyNormals[prev][j]) / 2) << k;
            }
        }
        // Every pose: unit normals, the body about its radius, a vertex keeps its direction from
        // the centre (so the surface never folds over itself), and no spikes.
        double smallest = 1e9, largest = 0;
        for (int k = 0; k < 10; ++k)
            for (uint32_t i = 0; i < t.v; ++i) {
                Vec p{t.keyPositions[k][3 * i], t.keyPositions[k][3 * i + 1], t.keyPositions[k][3 * i + 2]};
                Vec p0{t.keyPositions[0][3 * i], t.keyPositions[0][3 * i + 1], t.keyPositions[0][3 * i + 2]};
                Vec n{t.keyNormals[k][3 * i], t.keyNormals[k][3 * i + 1], t.keyNormals[k][3 * i + 2]};
                ASSERT_NEAR(len(n), 1.0, 1e-5);
                ASSERT_GT(dotv(p, p0) / (len(p) * len(p0)), 0.99999);
                ASSERT_GT(dotv(p, n) / len(p), 0.7);  // normals point outwards, near radial
                smallest = std::min(smallest, len(p));
                largest = std::max(largest, len(p));
            }
        EXPECT_GT(smallest, e.radius * 0.8);
        EXPECT_LT(largest, e.radius * 1.25);
        EXPECT_GT(largest - smallest, e.radius * 0.05);  // it does move
    }
}

TEST(ContentCells, AreAJitteredGridInsideTheTile)
{
    std::vector<uint8_t> bytes = archiveEntry("reg_cells.dat");
    ASSERT_EQ(bytes.size(), 1796u);
    Cursor c(bytes);
    ASSERT_EQ(c.u32(), 64u);
    std::set<int> gridPoints;
    for (int k = 0; k < 64; ++k) {
        Vec p = readVec(c), axis = readVec(c);
        float angle = c.f32();
        for (float x : {p.x, p.y, p.z}) {
            EXPECT_GE(x, -150.0f);
            EXPECT_LE(x, 150.0f);
        }
        int gx = static_cast<int>(std::lround((p.x + 112.5) / 75)), gy = static_cast<int>(std::lround((p.y + 112.5) / 75));
        int gz = static_cast<int>(std::lround((p.z + 112.5) / 75));
        EXPECT_LT(len(p - Vec{float(-112.5 + 75 * gx), float(-112.5 + 75 * gy), float(-112.5 + 75 * gz)}), 20.0);
        gridPoints.insert(gx * 16 + gy * 4 + gz);
        EXPECT_NEAR(len(axis), 1.0, 1e-5);
        EXPECT_GE(angle, 0.0f);
        EXPECT_LT(angle, 360.0f);
    }
    EXPECT_EQ(gridPoints.size(), 64u);  // one cell per grid point
    EXPECT_TRUE(c.atEnd());
}

TEST(ContentMolecules, AreTwelveNearbyColouredAtoms)
{
    std::set<std::tuple<int, int, int>> colours;
    for (int i = 0; i < 10; ++i) {
        std::vector<uint8_t> bytes = archiveEntry("dna" + std::to_string(i) + ".dat");
        ASSERT_EQ(bytes.size(), 288u) << i;
        Cursor c(bytes);
        for (int a = 0; a < 12; ++a) {
            Vec p = readVec(c), col = readVec(c);
            EXPECT_LE(len(p), 64.0) << i << " " << a;
            for (float x : {col.x, col.y, col.z}) {
                EXPECT_GE(x, 0.0f);
                EXPECT_LE(x, 1.0f);
            }
            colours.insert({int(col.x * 1000), int(col.y * 1000), int(col.z * 1000)});
        }
    }
    EXPECT_GE(colours.size(), 18u);
    EXPECT_LE(colours.size(), 26u);
}

}  // namespace
