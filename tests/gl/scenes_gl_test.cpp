#include <cmath>
#include <cstring>
#include <functional>
#include <set>

#include "asset_builders.h"
#include "data/data_file.h"
#include "data/settings.h"
#include "gl_fixture.h"
#include "render/gl_setup.h"
#include "render/render_state.h"
#include "render/view_frustum.h"
#include "scenes/camera_path.h"
#include "scenes/clock_overlay.h"
#include "scenes/dna_helix.h"

namespace {

// One vertex as GL feedback reports it in GL_3D_COLOR_TEXTURE mode (window coordinates).
struct FeedbackVertex {
    float x, y, z;
    float r, g, b, a;
    float s, t, p, q;
};

struct Primitive {
    GLenum token;  // GL_POINT_TOKEN, GL_POLYGON_TOKEN, ...
    std::vector<FeedbackVertex> vertices;
};

// Runs draw in feedback mode and returns what it produced, in order.
std::vector<Primitive> capture(const std::function<void()>& draw)
{
    static std::vector<GLfloat> buffer(1 << 22);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    EXPECT_GE(count, 0) << "feedback buffer overflow";
    std::vector<Primitive> out;
    auto vertexAt = [&](GLint& i) {
        FeedbackVertex v;
        std::memcpy(&v, &buffer[i], sizeof v);
        i += 11;
        return v;
    };
    for (GLint i = 0; i < count;) {
        const auto token = static_cast<GLenum>(buffer[i++]);
        Primitive prim{token, {}};
        int n = 0;
        if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN)
            n = 1;
        else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN)
            n = 2;
        else if (token == GL_POLYGON_TOKEN)
            n = static_cast<int>(buffer[i++]);
        else if (token == GL_PASS_THROUGH_TOKEN) {
            ++i;
            continue;
        }
        for (int k = 0; k < n; ++k)
            prim.vertices.push_back(vertexAt(i));
        out.push_back(std::move(prim));
    }
    return out;
}

std::vector<FeedbackVertex> allVertices(const std::vector<Primitive>& prims)
{
    std::vector<FeedbackVertex> out;
    for (const auto& p : prims)
        out.insert(out.end(), p.vertices.begin(), p.vertices.end());
    return out;
}

// A list drawing one point at the local origin: each sphere then shows up as one feedback point.
GLuint pointList()
{
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_POINTS);
    glVertex3f(0, 0, 0);
    glEnd();
    glEndList();
    return list;
}

// World space straight to window coordinates: x and y -2000..2000 onto a 4000 x 4000 viewport,
// z -2000..2000 onto depth 1..0, so window (x, y) = world (x, y) + 2000. Nothing shown is clipped.
void worldWindow()
{
    glViewport(0, 0, 4000, 4000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2000, 2000, -2000, 2000, -2000, 2000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

Vector3 worldOf(const FeedbackVertex& v) { return {v.x - 2000.0f, v.y - 2000.0f, 2000.0f * (1.0f - 2.0f * v.z)}; }

void expectNear(const Vector3& a, const Vector3& b, float tol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

std::vector<GLfloat> matrix(GLenum which)
{
    std::vector<GLfloat> m(16);
    glGetFloatv(which, m.data());
    return m;
}

bool isIdentity(const std::vector<GLfloat>& m)
{
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(m[i] - (i % 5 == 0 ? 1.0f : 0.0f)) > 1e-6f)
            return false;
    }
    return true;
}

// Archive for the loaders: a square as the sphere and chromosome meshes, a 4 x 4 colour-cell
// atlas as the digit image, and one molecule file.
class SceneAssetsTest : public GlTest {
protected:
    static constexpr uint8_t kCell[16][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {255, 255, 0}, {255, 0, 255}, {0, 255, 255},
                                             {255, 255, 255}, {128, 0, 0},  {0, 128, 0},   {0, 0, 128},   {128, 128, 0}, {128, 0, 128},
                                             {0, 128, 128}, {128, 128, 128}, {255, 128, 0}, {0, 255, 128}};

    void SetUp() override
    {
        GlTest::SetUp();
        std::vector<uint8_t> atlas;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const uint8_t* c = kCell[(y / 64) * 4 + x / 64];
                atlas.insert(atlas.end(), c, c + 3);
            }
        }
        archive = storedArchive({{"meshes\\sphere.dat", meshBytes(squareMesh())},
                                 {"meshes\\chrom.dat", meshBytes(squareMesh())},
                                 {"textures\\c.jpg", jpegBytes(256, 256, 3, atlas, 100)},
                                 {"dna4.dat", moleculeBytes()}});
        setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    }
    void TearDown() override { setDataArchiveOverride(nullptr, 0); }

    // Twelve atoms along x, all of one colour.
    static std::vector<uint8_t> moleculeBytes()
    {
        std::vector<uint8_t> molecule;
        for (int n = 0; n < 12; ++n) {
            const float record[6] = {float(n), 0, 0, 0.5f, 0.25f, 1};
            const auto* bytes = reinterpret_cast<const uint8_t*>(record);
            molecule.insert(molecule.end(), bytes, bytes + sizeof record);
        }
        return molecule;
    }

    std::vector<uint8_t> archive;
};

// ---- Clock overlay ---------------------------------------------------------------------------

TEST_F(SceneAssetsTest, GlyphsAreFortyUnitSquaresTwentyEightApart)
{
    ClockOverlay overlay;
    overlay.setUp();
    ASSERT_NE(overlay.glyphBase, 0u);
    EXPECT_NE(overlay.digitTexture.id, 0u);
    glViewport(0, 0, 800, 600);
    overlay.setNumber(1234);
    auto vertices = allVertices(capture([&] {
        beginOverlay2D();
        overlay.drawText(0, 560);
        endOverlay2D();
    }));
    ASSERT_FALSE(vertices.empty());
    std::set<float> xs;
    float minY = 1e9f, maxY = -1e9f;
    for (const auto& v : vertices) {
        xs.insert(std::round(v.x));
        minY = std::min(minY, v.y);
        maxY = std::max(maxY, v.y);
    }
    EXPECT_EQ(xs, (std::set<float>{0, 40, 28, 68, 56, 96, 84, 124}));
    EXPECT_NEAR(minY, 560.0f, 1e-3f);
    EXPECT_NEAR(maxY, 600.0f, 1e-3f);

    // The clock at (520, 10): nine glyphs in the twelve-hour form end at 784.
    overlay.buildClockText(true, {12, 0, 0});
    vertices = allVertices(capture([&] {
        beginOverlay2D();
        overlay.drawText(520, 10);
        endOverlay2D();
    }));
    float minX = 1e9f, maxX = -1e9f;
    for (const auto& v : vertices) {
        minX = std::min(minX, v.x);
        maxX = std::max(maxX, v.x);
    }
    EXPECT_NEAR(minX, 520.0f, 1e-3f);
    EXPECT_NEAR(maxX, 784.0f, 1e-3f);
    EXPECT_EQ(intState(GL_MODELVIEW_STACK_DEPTH), 1);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(SceneAssetsTest, GlyphTextureCellsComeFromTheTopOfTheAtlas)
{
    ClockOverlay overlay;
    overlay.setUp();
    glViewport(0, 0, 800, 600);
    // Glyph 0 is the top-left cell (u 0..0.25, v 0.75..1); the pm glyph the bottom-left one.
    for (const auto& [text, cell] : {std::pair<const char*, int>{"0", 0}, {"<", 12}, {"7", 7}}) {
        std::strcpy(overlay.text, text);
        const auto vertices = allVertices(capture([&] {
            beginOverlay2D();
            overlay.drawText(0, 0);
            endOverlay2D();
        }));
        ASSERT_FALSE(vertices.empty());
        float minS = 9, maxS = -9, minT = 9, maxT = -9;
        for (const auto& v : vertices) {
            minS = std::min(minS, v.s), maxS = std::max(maxS, v.s);
            minT = std::min(minT, v.t), maxT = std::max(maxT, v.t);
        }
        EXPECT_FLOAT_EQ(minS, 0.25f * (cell % 4)) << text;
        EXPECT_FLOAT_EQ(maxS, 0.25f * (cell % 4) + 0.25f) << text;
        EXPECT_FLOAT_EQ(maxT, 1.0f - 0.25f * (cell / 4)) << text;
        EXPECT_FLOAT_EQ(minT, 0.75f - 0.25f * (cell / 4)) << text;
    }
}

TEST_F(SceneAssetsTest, DrawnGlyphsShowTheirAtlasCellUpright)
{
    ClockOverlay overlay;
    overlay.setUp();
    // 64 x 64 pixels for 800 x 600 units: a glyph at (x, 0) covers about 3 x 4 pixels.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    overlay.digitTexture.bind();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glColor4f(1, 1, 1, 1);
    beginOverlay2D();
    std::strcpy(overlay.text, "0");
    overlay.drawText(0, 0);
    std::strcpy(overlay.text, "<");
    overlay.drawText(400, 300);
    endOverlay2D();
    const auto image = gl.readPixels();
    // Pixel centres inside each glyph: (20, 20) units and (420, 320) units.
    const auto zero = pixelAt(image, 1, 63 - 2);
    const auto pm = pixelAt(image, 33, 63 - 34);
    EXPECT_GT(zero[0], 200);
    EXPECT_LT(zero[1], 60);
    EXPECT_LT(zero[2], 60);  // red: top-left cell
    EXPECT_LT(pm[0], 60);
    EXPECT_GT(pm[1], 100);
    EXPECT_GT(pm[2], 100);  // (0, 128, 128): bottom-left cell
}

TEST_F(GlTest, TextOutsideTheGlyphsDrawsOnlyTheGlyphs)
{
    // Three point lists right below the glyphs: "-" would land on the first of them.
    const GLuint below = glGenLists(3);
    for (GLuint list = below; list < below + 3; ++list) {
        glNewList(list, GL_COMPILE);
        glBegin(GL_POINTS);
        glVertex3f(0, 0, 0);
        glEnd();
        glEndList();
    }
    ClockOverlay overlay;
    overlay.setUp();  // no atlas: the glyphs still exist
    ASSERT_EQ(overlay.glyphBase, below + 3);
    glViewport(0, 0, 800, 600);
    overlay.setNumber(-5);
    const auto prims = capture([&] {
        beginOverlay2D();
        overlay.drawText(0, 0);
        endOverlay2D();
    });
    EXPECT_FALSE(prims.empty());
    for (const auto& p : prims)
        EXPECT_NE(p.token, GLenum(GL_POINT_TOKEN));
}

// ---- Camera look-at --------------------------------------------------------------------------

TEST_F(GlTest, LookAtPutsTheEyeAtTheOriginLookingDownMinusZ)
{
    CameraPath camera;
    camera.position = {10, 20, 30};
    camera.forward = {0, 1, 0};
    camera.up = {0, 0, 1};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera.applyLookAt();
    auto m = matrix(GL_MODELVIEW_MATRIX);
    auto apply = [&](const Vector3& p) {
        return Vector3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                       m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
    };
    expectNear(apply({10, 20, 30}), {0, 0, 0}, 1e-4f);
    expectNear(apply({10, 21, 30}), {0, 0, -1}, 1e-4f);
    expectNear(apply({10, 20, 31}), {0, 1, 0}, 1e-4f);

    glLoadIdentity();
    camera.applyLookAtRotationOnly();
    m = matrix(GL_MODELVIEW_MATRIX);
    expectNear(apply({0, 0, 0}), {0, 0, 0}, 1e-6f);
    expectNear(apply({0, 1, 0}), {0, 0, -1}, 1e-5f);
}

// ---- DNA helix -------------------------------------------------------------------------------

TEST_F(GlTest, EachRungJoinsItsPairOfStrandPoints)
{
    DnaHelix helix;
    helix.buildHelix(20.0f, 15.0f, 18);
    ASSERT_NE(helix.rungList, 0u);
    ASSERT_EQ(helix.strandA.size(), 18u);
    worldWindow();
    helix.alpha = 0.5f;
    const auto prims = capture([&] { helix.drawRungs(); });
    ASSERT_EQ(prims.size(), 18u * 4u);  // two crossed strips, two triangles each
    for (size_t i : {size_t(0), size_t(1), size_t(9), size_t(17)}) {
        // The distinct corners at each end average to the end point.
        for (const float end : {0.0f, 1.0f}) {
            std::vector<Vector3> corners;
            for (size_t k = 4 * i; k < 4 * i + 4; ++k) {
                for (const auto& v : prims[k].vertices) {
                    if (std::fabs(v.s - end) > 1e-4f)
                        continue;
                    const Vector3 p = worldOf(v);
                    bool seen = false;
                    for (const auto& c : corners)
                        seen = seen || (c - p).length() < 1e-2f;
                    if (!seen)
                        corners.push_back(p);
                }
            }
            ASSERT_EQ(corners.size(), 4u);
            Vector3 mean;
            for (const auto& c : corners)
                mean += c / 4.0f;
            expectNear(mean, end == 0.0f ? helix.strandA[i] : helix.strandB[i], 2e-2f);
        }
        EXPECT_FLOAT_EQ(prims[4 * i].vertices[0].a, 0.5f);
    }
}

TEST_F(GlTest, SpheresCycleTheirColoursAndLeaveTheTextureState)
{
    DnaHelix helix;
    helix.buildHelixPoints(20.0f, 15.0f, 18);
    helix.sphereList = pointList();
    helix.alpha = 0.25f;
    helix.spin = 90.0f;
    worldWindow();
    glPushMatrix();
    const auto prims = capture([&] { helix.drawSpheres(); });
    // The spin is left on the modelview matrix for the caller to pop.
    const auto modelview = matrix(GL_MODELVIEW_MATRIX);
    EXPECT_NEAR(modelview[8], 1.0f, 1e-6f);  // +Z turned onto +X
    glPopMatrix();
    ASSERT_EQ(prims.size(), 36u);
    const Vector3 wantA[3] = {{1, 0.2f, 0.2f}, {0.2f, 1, 0.2f}, {0.2f, 0.2f, 1}};
    const Vector3 wantB[3] = {{1, 0.2f, 1}, {1, 1, 0.2f}, {0.2f, 1, 1}};
    for (size_t i = 0; i < 18; ++i) {
        const auto& a = prims[2 * i].vertices[0];
        const auto& b = prims[2 * i + 1].vertices[0];
        expectNear({a.r, a.g, a.b}, wantA[i % 3], 1e-6f);
        expectNear({b.r, b.g, b.b}, wantB[i % 3], 1e-6f);
        EXPECT_FLOAT_EQ(a.a, 0.25f);
        const Vector3 p = helix.strandA[i];
        expectNear(worldOf(a), {p.z, p.y, -p.x}, 2e-2f);  // turned 90 degrees about +Y
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    selectMatrix(0);
    EXPECT_TRUE(isIdentity(matrix(GL_TEXTURE_MATRIX)));
    selectMatrix(1);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_MODELVIEW);
    glDeleteLists(helix.sphereList, 1);
}

class MoleculeShowTest : public SceneAssetsTest {
protected:
    void SetUp() override
    {
        SceneAssetsTest::SetUp();
        helix.loadMolecule("dna4.dat");
        ASSERT_EQ(helix.strandA.size(), 324u);
        glDeleteLists(helix.sphereList, 1);
        glDeleteLists(helix.chromList, 1);
        helix.sphereList = pointList();
        helix.chromList = pointList();
        worldWindow();
        glEnable(GL_BLEND);
        glDepthMask(GL_FALSE);
        saved = currentSettings;
        // The sphere by sphere path, whose calls the capture sees one by one; the batched path
        // is held to the same pictures by the render tests.
        setFrustumCulling(false);
    }
    void TearDown() override
    {
        setFrustumCulling(true);
        currentSettings = saved;
        SceneAssetsTest::TearDown();
    }
    Settings saved;
    DnaHelix helix;
};

TEST_F(MoleculeShowTest, DrawsEveryAtomOnceInItsHelixAndTheChromosomesAboveDetailLow)
{
    EXPECT_NE(helix.sphereList, 0u);
    EXPECT_EQ(helix.atomColour[5], Vector3(0.5f, 0.25f, 1.0f));
    helix.atomState[0] = DnaHelix::Flying;
    helix.flyPosA[0] = {1, 2, 3};
    helix.flyPosB[0] = {4, 5, 6};
    helix.atomState[2] = DnaHelix::Daughter;

    currentSettings.Detail = 2;
    auto prims = capture([&] { helix.drawMoleculeShow(); });
    ASSERT_EQ(prims.size(), 2u * 324u + 27u * 9u + 400u);
    // Parent atoms first (atom 1 is the first still in the parent), at x - 300.
    expectNear(worldOf(prims[0].vertices[0]), helix.strandA[1] + Vector3(-300, 0, 0), 2e-2f);
    // The flying pair after the 322 parent atoms, then the daughter pair turned 90 degrees.
    expectNear(worldOf(prims[2 * 322].vertices[0]), {1, 2, 3}, 2e-2f);
    expectNear(worldOf(prims[2 * 322 + 1].vertices[0]), {4, 5, 6}, 2e-2f);
    const Vector3 d = helix.strandA[2];
    expectNear(worldOf(prims[2 * 323].vertices[0]), Vector3(300 + d.z, d.y, -d.x), 2e-2f);
    // Daughter rungs are still invisible at show time 0; parent rungs are opaque.
    const size_t rungs = 2 * 324;
    EXPECT_FLOAT_EQ(prims[rungs].vertices[0].a, 1.0f);
    EXPECT_FLOAT_EQ(prims[rungs + 14 * 9].vertices[0].a, 0.0f);
    // Rung spheres alternate 2 above and 2 below the rung line.
    const Vector3 first = worldOf(prims[rungs].vertices[0]), second = worldOf(prims[rungs + 1].vertices[0]);
    const Vector3 line0 = lerp(helix.backboneA[0], helix.backboneB[0], 0.1f) + Vector3(-300, 0, 0);
    const Vector3 line1 = lerp(helix.backboneA[0], helix.backboneB[0], 0.2f) + Vector3(-300, 0, 0);
    expectNear(first, line0 + Vector3(0, 2, 0), 2e-2f);
    expectNear(second, line1 + Vector3(0, -2, 0), 2e-2f);
    EXPECT_FLOAT_EQ(prims.back().vertices[0].a, 0.14f);

    // The state it leaves: blending on, depth writes on, culling on, no texture generation,
    // identity texture matrix, modelview as it was.
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    EXPECT_TRUE(depthMask);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(isIdentity(matrix(GL_MODELVIEW_MATRIX)));
    EXPECT_EQ(intState(GL_MODELVIEW_STACK_DEPTH), 1);
    GLfloat specular[4], shininess = 0;
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_FLOAT_EQ(specular[2], 0.8f);
    EXPECT_FLOAT_EQ(shininess, 16.0f);

    currentSettings.Detail = 0;
    prims = capture([&] { helix.drawMoleculeShow(); });
    EXPECT_EQ(prims.size(), 2u * 324u + 27u * 9u);

    // Later in the show the first daughter rung is fully there.
    helix.time = 21.5f;
    prims = capture([&] { helix.drawMoleculeShow(); });
    EXPECT_FLOAT_EQ(prims[rungs + 14 * 9].vertices[0].a, 1.0f);
}

TEST_F(SceneAssetsTest, AMissingOrDamagedMoleculeFileGivesAnEmptyShowThatStillDraws)
{
    // The log tells a file the archive lacks from one it holds damaged.
    std::vector<uint8_t> withDamage = storedArchive({{"dna3.dat", moleculeBytes()}});
    withDamage.back() ^= 1;  // the last byte of the molecule's data
    setDataArchiveOverride(withDamage.data(), static_cast<uint32_t>(withDamage.size()));
    DnaHelix damaged;
    damaged.loadMolecule("dna3.dat");
    setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    EXPECT_TRUE(damaged.strandA.empty());
    EXPECT_NE(logText().find("Molecule <dna3.dat> has no atoms: CRC mismatch"), std::string::npos);

    DnaHelix helix;
    helix.loadMolecule("dna7.dat");
    EXPECT_TRUE(helix.moleculeLoaded);
    EXPECT_TRUE(helix.strandA.empty());
    EXPECT_NE(logText().find("Molecule <dna7.dat> has no atoms: missing"), std::string::npos);
    helix.update(30.0f);
    helix.reset();
    helix.drawMoleculeShow();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Buffer objects generated through the resolved entry point, counted.
int buffersGenerated = 0;
PFNGLGENBUFFERSARBPROC realGenBuffers = nullptr;
void APIENTRY countingGenBuffers(GLsizei n, GLuint* names)
{
    buffersGenerated += n;
    realGenBuffers(n, names);
}

TEST_F(SceneAssetsTest, AMissingChromosomeMeshCostsTheShowNoNewBuffersFrameAfterFrame)
{
    archive = storedArchive({{"meshes\\sphere.dat", meshBytes(squareMesh())}, {"dna4.dat", moleculeBytes()}});
    setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    const bool buffersBefore = glext::vboAvailable;
    ASSERT_TRUE(glext::resolveBufferObjects());
    DnaHelix helix;
    helix.loadMolecule("dna4.dat");
    ASSERT_EQ(helix.strandA.size(), 324u);
    realGenBuffers = glext::glGenBuffersARB;
    glext::glGenBuffersARB = countingGenBuffers;
    helix.drawMoleculeShow();
    const int afterFirstFrame = buffersGenerated;
    for (int frame = 0; frame < 5; ++frame) helix.drawMoleculeShow();
    EXPECT_EQ(buffersGenerated, afterFirstFrame);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    glext::glGenBuffersARB = realGenBuffers;
    glext::vboAvailable = buffersBefore;
}

// Buffer uploads through the resolved entry point, counted.
int bufferUploads = 0;
PFNGLBUFFERSUBDATAARBPROC realBufferSubData = nullptr;
void APIENTRY countingBufferSubData(GLenum target, GLintptrARB offset, GLsizeiptrARB size, const void* data)
{
    ++bufferUploads;
    realBufferSubData(target, offset, size, data);
}

TEST_F(SceneAssetsTest, DaughterRungsAtFullOpacityAreNotRecolouredEveryFrame)
{
    const bool buffersBefore = glext::vboAvailable;
    ASSERT_TRUE(glext::resolveBufferObjects());
    DnaHelix helix;
    helix.loadMolecule("dna4.dat");
    helix.update(40.0f);  // every daughter rung has long faded in
    helix.drawMoleculeShow();
    realBufferSubData = glext::glBufferSubDataARB;
    glext::glBufferSubDataARB = countingBufferSubData;
    bufferUploads = 0;
    for (int frame = 0; frame < 3; ++frame) {
        helix.update(0.1f);
        helix.drawMoleculeShow();
    }
    glext::glBufferSubDataARB = realBufferSubData;
    glext::vboAvailable = buffersBefore;
    EXPECT_EQ(bufferUploads, 0);
}

}  // namespace
