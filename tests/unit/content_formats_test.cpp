// The generated archive, read back with the project's reader: every file present, every binary
// format exactly as the loaders expect it.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/vertex_anim_track.h"
#include "content_support.h"
#include "data/archive.h"
#include "textures.h"

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

// A mesh file read by the project's mesh parser, which checks the size formula and every index.
struct LoadedMesh {
    MeshData data;
    bool parsed = false;
    std::string reason;
    Vec position(uint32_t i) const { return {data.x[i], data.y[i], data.z[i]}; }
    uint32_t corner(uint32_t face, int k) const { return (k == 0 ? data.a : k == 1 ? data.b : data.c)[face]; }
    uint32_t texCorner(uint32_t face, int k) const { return (k == 0 ? data.ta : k == 1 ? data.tb : data.tc)[face]; }
    Vec normal(uint32_t face, int k) const
    {
        const float* n = &data.normals[9 * face + 3 * k];
        return {n[0], n[1], n[2]};
    }
};

LoadedMesh readMesh(const std::string& path)
{
    std::vector<uint8_t> bytes = archiveEntry(path);
    LoadedMesh m;
    m.parsed = parseMesh(bytes, m.data, &m.reason);
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
    // The archive is found case-blind and with either separator, as the loaders ask for it: the
    // cell texture is stored as "textures\\cell.JPG" and asked for as "textures\\cell.jpg".
    EXPECT_FALSE(archiveEntry("TEXTURES/CELL.JPG").empty());
    DataFile archive;
    archive.openResource(kArchiveResourceId);
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({archive.data, archive.size, 0}));
    std::set<std::string> stored;
    for (ArchiveEntry e; reader.next(e);)
        stored.insert(e.name);
    EXPECT_EQ(stored.count("textures\\cell.JPG"), 1u);
    EXPECT_EQ(stored.count("textures\\cell.jpg"), 0u);
    EXPECT_TRUE(archiveEntry("textures\\loader.jpg").empty());  // a resource, not an archive file
}

TEST(ContentMeshes, AreWellFormedClosedSmoothSurfaces)
{
    for (const char* path : {"meshes\\sphere.dat", "meshes\\lows.dat", "meshes\\mito.dat", "meshes\\ribo.dat",
                             "meshes\\chrom.dat"}) {
        SCOPED_TRACE(path);
        LoadedMesh m = readMesh(path);
        ASSERT_TRUE(m.parsed) << m.reason;
        const MeshData& d = m.data;
        ASSERT_GT(d.faceCount, 0u);
        for (float n : d.normals) ASSERT_TRUE(std::isfinite(n));
        for (uint32_t f = 0; f < d.faceCount; ++f)
            for (int k = 0; k < 3; ++k) ASSERT_NEAR(len(m.normal(f, k)), 1.0, 1e-5);
        // Every triangle faces outwards (culled meshes must show their outside) and its corner
        // normals agree with its face.
        Vec centre{0, 0, 0};
        for (uint32_t i = 0; i < d.vertexCount; ++i) centre = centre + m.position(i);
        centre = {centre.x / d.vertexCount, centre.y / d.vertexCount, centre.z / d.vertexCount};
        double volume = 0;
        int disagreeing = 0;
        for (uint32_t f = 0; f < d.faceCount; ++f) {
            Vec a = m.position(m.corner(f, 0)), b = m.position(m.corner(f, 1)), c = m.position(m.corner(f, 2));
            Vec n = crossv(b - a, c - a);
            volume += dotv(a - centre, crossv(b - centre, c - centre));
            for (int k = 0; k < 3; ++k)
                if (dotv(n, m.normal(f, k)) <= 0) ++disagreeing;
        }
        EXPECT_GT(volume, 0.0);
        EXPECT_EQ(disagreeing, 0);
        // No triangle smears the texture: its corners stay within half a repeat of each other.
        for (uint32_t f = 0; f < d.faceCount; ++f) {
            float lo = 1e9f, hi = -1e9f;
            for (int k = 0; k < 3; ++k) {
                float u = d.u[m.texCorner(f, k)];
                lo = std::min(lo, u);
                hi = std::max(hi, u);
            }
            ASSERT_LT(hi - lo, 0.55f) << "triangle " << f;
        }
    }
}

TEST(ContentMeshes, SphereAndBackgroundHaveTheirKnownLayout)
{
    LoadedMesh s = readMesh("meshes\\sphere.dat");
    ASSERT_TRUE(s.parsed) << s.reason;
    EXPECT_EQ(s.data.vertexCount, 92u);
    EXPECT_EQ(s.data.faceCount, 180u);
    EXPECT_EQ(s.data.texVertexCount, 123u);
    EXPECT_EQ(s.corner(0, 0), 0u);
    EXPECT_FLOAT_EQ(s.position(0).z, 10.0f);
    EXPECT_EQ(s.texCorner(0, 0), 92u);
    EXPECT_FLOAT_EQ(s.data.u[92], 0.6f);
    EXPECT_FLOAT_EQ(s.data.v[92], 1.0f);
    EXPECT_FLOAT_EQ(s.normal(0, 0).z, 1.0f);
    for (uint32_t i = 0; i < s.data.vertexCount; ++i) EXPECT_NEAR(len(s.position(i)), 10.0, 1e-4);

    LoadedMesh l = readMesh("meshes\\lows.dat");
    ASSERT_TRUE(l.parsed) << l.reason;
    EXPECT_EQ(l.data.vertexCount, 42u);
    EXPECT_EQ(l.data.faceCount, 80u);
    for (uint32_t i = 0; i < l.data.vertexCount; ++i) EXPECT_NEAR(len(l.position(i)), 10.0, 1e-4);
}

TEST(ContentMeshes, BackgroundCornersDisagreeOnlyInsideTheFlatPoleBands)
{
    // Where two triangles give one position different texture coordinates, the texture jumps
    // along their shared edges unless the picture is flat there. The frame doubles u, and the
    // pictures repeat, so u values half a unit apart are the same texel column.
    LoadedMesh m = readMesh("meshes\\lows.dat");
    ASSERT_TRUE(m.parsed) << m.reason;
    const MeshData& d = m.data;
    std::vector<std::vector<std::pair<float, float>>> used(d.vertexCount);
    for (uint32_t f = 0; f < d.faceCount; ++f)
        for (int k = 0; k < 3; ++k) {
            uint32_t t = m.texCorner(f, k);
            used[m.corner(f, k)].emplace_back(d.u[t], d.v[t]);
        }
    auto sameTexel = [](std::pair<float, float> a, std::pair<float, float> b) {
        double du = std::fmod(std::fabs(2.0 * a.first - 2.0 * b.first), 1.0);
        return std::min(du, 1.0 - du) < 1e-4 && std::fabs(a.second - b.second) < 1e-4;
    };
    int disagreeing = 0;
    for (uint32_t f = 0; f < d.faceCount; ++f) {
        bool touches = false;
        for (int k = 0; k < 3; ++k) {
            const auto& list = used[m.corner(f, k)];
            for (const auto& uv : list)
                if (!sameTexel(uv, list.front())) touches = true;
        }
        if (!touches) continue;
        ++disagreeing;
        for (int k = 0; k < 3; ++k) {
            float v = d.v[m.texCorner(f, k)];
            EXPECT_LE(std::min(v, 1.0f - v), assetgen::kPoleCap) << "triangle " << f;
        }
    }
    EXPECT_EQ(disagreeing, 10);  // the five triangles round each pole
}

TEST(ContentMeshes, MeshesDrawnByTheHundredStayWithinTheirTriangleBudget)
{
    // The DNA show draws 400 chromosomes a frame and every cell ten mitochondria; a software
    // rasterizer feels every extra triangle there.
    struct Budget {
        const char* path;
        uint32_t vertices, faces;
    };
    for (const Budget& b : {Budget{"meshes\\chrom.dat", 160, 312}, Budget{"meshes\\mito.dat", 44, 84}}) {
        SCOPED_TRACE(b.path);
        LoadedMesh m = readMesh(b.path);
        ASSERT_TRUE(m.parsed) << m.reason;
        EXPECT_EQ(m.data.vertexCount, b.vertices);
        EXPECT_EQ(m.data.faceCount, b.faces);
    }
}

TEST(ContentMeshes, OrganellesHaveTheirShapeAndSize)
{
    auto extent = [](const LoadedMesh& m) {
        Vec lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
        for (uint32_t i = 0; i < m.data.vertexCount; ++i) {
            Vec p = m.position(i);
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
    {
        // Pinched at the centromere: the arms spread wider than the waist where they meet.
        LoadedMesh c = readMesh("meshes\\chrom.dat");
        float waist = 0, widest = 0;
        for (uint32_t i = 0; i < c.data.vertexCount; ++i) {
            Vec p = c.position(i);
            widest = std::max(widest, std::fabs(p.x));
            if (std::fabs(p.y) < 1.0f) waist = std::max(waist, std::fabs(p.x));
        }
        EXPECT_GT(waist, 0.0f);
        EXPECT_LT(waist, widest * 0.6f);
    }
    Vec ribo = extent(readMesh("meshes\\ribo.dat"));
    EXPECT_GT(ribo.y, ribo.x);  // two subunits stacked
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
        std::vector<uint8_t> bytes = archiveEntry(e.path);
        ASSERT_EQ(bytes.size(), 12 + 512ull * e.v + 12ull * e.f);
        VertexAnimTrack t;  // the player's own parser: sizes, I = 3F, indices below V
        std::string reason;
        ASSERT_TRUE(t.parse(bytes, &reason)) << reason;
        ASSERT_EQ(t.vertexCount, e.v);
        ASSERT_EQ(t.triangleCount, e.f);
        ASSERT_EQ(t.indexCount, 3 * e.f);
        // The initial pose is read from its own place in the file: it must be key pose 0.
        Cursor c(bytes);
        c.skip(12);
        std::vector<float> initialPositions(3 * e.v), initialNormals(3 * e.v);
        for (float& x : initialPositions) x = c.f32();
        for (float& x : initialNormals) x = c.f32();
        EXPECT_EQ(initialPositions, t.keyPositions[0]);
        EXPECT_EQ(initialNormals, t.keyNormals[0]);
        const uint32_t vertices = t.vertexCount;
        for (float x : t.texCoords) {
            ASSERT_GE(x, -1.0f);
            ASSERT_LE(x, 1.0f);
        }
        for (int k = 0; k < 10; ++k) {
            int next = (k + 1) % 10, prev = (k + 9) % 10;
            for (size_t j = 0; j < 3 * vertices; ++j) {
                ASSERT_EQ(t.keyPositionTangents[k][j], (t.keyPositions[next][j] - t.keyPositions[prev][j]) / 2) << k;
                ASSERT_EQ(t.keyNormalTangents[k][j], (t.keyNormals[next][j] - t.keyNormals[prev][j]) / 2) << k;
            }
        }
        // Every pose: unit normals, the body about its radius, a vertex keeps its direction from
        // the centre (so the surface never folds over itself), and no spikes.
        double smallest = 1e9, largest = 0;
        for (int k = 0; k < 10; ++k)
            for (uint32_t i = 0; i < vertices; ++i) {
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
