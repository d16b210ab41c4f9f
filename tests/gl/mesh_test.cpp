#include <cmath>

#include "asset_builders.h"
#include "assets/mesh.h"
#include "assets/mesh_batch.h"
#include "data/data_file.h"
#include "data/settings.h"
#include "gl_fixture.h"
#include "render/gl_setup.h"
#include "render/view_frustum.h"

namespace {

std::vector<uint8_t> withCounts(uint32_t v, uint32_t f, uint32_t t, size_t bodyBytes)
{
    std::vector<uint8_t> bytes(12 + bodyBytes, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(v >> (8 * i));
        bytes[4 + i] = static_cast<uint8_t>(f >> (8 * i));
        bytes[8 + i] = static_cast<uint8_t>(t >> (8 * i));
    }
    return bytes;
}

// A closed sphere of 7 × 4 faces, 42 triangles: not a whole number of the batch's blocks of four.
MeshData oddSphere()
{
    constexpr int kSlices = 7, kStacks = 4;
    MeshData m;
    auto point = [](int slice, int stack) {
        const float theta = 3.14159265f * stack / kStacks, phi = 6.2831853f * slice / kSlices;
        return Vector3(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
    };
    auto corner = [&](int slice, int stack) {
        const Vector3 p = point(slice % kSlices, stack);
        m.x.push_back(p.x), m.y.push_back(p.y), m.z.push_back(p.z);
        m.normals.insert(m.normals.end(), {p.x, p.y, p.z});
        return m.vertexCount++;
    };
    for (int stack = 0; stack < kStacks; ++stack)
        for (int slice = 0; slice < kSlices; ++slice) {
            // Outward-facing, counter-clockwise seen from outside.
            if (stack > 0) {
                m.a.push_back(corner(slice, stack)), m.b.push_back(corner(slice + 1, stack));
                m.c.push_back(corner(slice, stack + 1));
            }
            if (stack < kStacks - 1) {
                m.a.push_back(corner(slice + 1, stack)), m.b.push_back(corner(slice + 1, stack + 1));
                m.c.push_back(corner(slice, stack + 1));
            }
        }
    m.faceCount = static_cast<uint32_t>(m.a.size());
    m.texVertexCount = 1;
    m.u = {0.5f};
    m.v = {0.5f};
    m.ta.assign(m.faceCount, 0), m.tb = m.ta, m.tc = m.ta;
    return m;
}

}  // namespace

TEST(MeshFormat, ReadsEveryArrayInFileOrder)
{
    MeshData square = squareMesh();
    square.normals[4] = 0.5f;  // corner 2 of triangle 1, y
    square.v[2] = -0.2f;
    const auto bytes = meshBytes(square);
    ASSERT_EQ(bytes.size(), 12u + 12 * 4 + 60 * 2 + 8 * 4);
    MeshData parsed;
    ASSERT_TRUE(parseMesh(bytes, parsed));
    EXPECT_EQ(parsed.x, square.x);
    EXPECT_EQ(parsed.y, square.y);
    EXPECT_EQ(parsed.c, square.c);
    EXPECT_EQ(parsed.tb, square.tb);
    EXPECT_EQ(parsed.v, square.v);
    EXPECT_EQ(parsed.normals, square.normals);
}

TEST(MeshFormat, RefusesFilesThatDisagreeWithTheirCounts)
{
    const auto good = meshBytes(squareMesh());
    MeshData out;
    std::string reason;

    auto shorter = good;
    shorter.pop_back();
    EXPECT_FALSE(parseMesh(shorter, out, &reason));
    EXPECT_EQ(reason, "truncated");
    EXPECT_EQ(out.vertexCount, 0u);

    auto longer = good;
    longer.push_back(0);
    EXPECT_FALSE(parseMesh(longer, out, &reason));
    EXPECT_EQ(reason, "wrong size");

    EXPECT_FALSE(parseMesh(std::span<const uint8_t>(good.data(), 11), out, &reason));
    EXPECT_FALSE(parseMesh({}, out, &reason));

    // Counts whose size overflows 32 bits are caught, not wrapped.
    const auto huge = withCounts(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 64);
    EXPECT_FALSE(parseMesh(huge, out, &reason));
    EXPECT_EQ(reason, "truncated");
    // 12 + 60 * 0x04444445 wraps to 12 + 4 in 32-bit arithmetic.
    EXPECT_FALSE(parseMesh(withCounts(0, 0x04444445u, 0, 4), out, &reason));
}

TEST(MeshFormat, RefusesCornerIndicesPastTheirArrays)
{
    MeshData mesh = squareMesh();
    mesh.c[1] = 4;  // V = 4
    MeshData out;
    std::string reason;
    EXPECT_FALSE(parseMesh(meshBytes(mesh), out, &reason));
    EXPECT_EQ(reason, "vertex index out of range");

    mesh = squareMesh();
    mesh.ta[0] = 0xFFFFFFFFu;
    EXPECT_FALSE(parseMesh(meshBytes(mesh), out, &reason));
    EXPECT_EQ(reason, "texture index out of range");
    EXPECT_TRUE(out.normals.empty());
}

TEST(MeshFormat, NoTrianglesIsAValidMesh)
{
    MeshData empty;
    empty.vertexCount = 2;
    empty.x = empty.y = empty.z = {1, 2};
    MeshData out;
    EXPECT_TRUE(parseMesh(meshBytes(empty), out));
    EXPECT_EQ(out.faceCount, 0u);
}

using MeshGlTest = GlTest;

TEST_F(MeshGlTest, EmptyMeshGivesAnEmptyButValidList)
{
    MeshData empty;
    Mesh mesh;
    ASSERT_TRUE(mesh.loadBytes("meshes\\empty.dat", meshBytes(empty)));
    ASSERT_NE(mesh.displayList, 0u);
    EXPECT_TRUE(glIsList(mesh.displayList));
    glCallList(mesh.displayList);
    const auto image = gl.readPixels();
    EXPECT_EQ(pixelAt(image, kWidth / 2, kHeight / 2), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(MeshGlTest, ListEmitsEachCornerWithItsNormalAndTextureCoordinate)
{
    // Compiling must neither draw nor disturb the caller's matrices.
    glMatrixMode(GL_PROJECTION);
    glTranslatef(0.25f, 0, 0);
    GLfloat before[16], after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, before);
    Mesh mesh;
    ASSERT_TRUE(mesh.loadBytes("meshes\\square.dat", meshBytes(squareMesh())));
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_PROJECTION);
    EXPECT_EQ(std::vector<GLfloat>(before, before + 16), std::vector<GLfloat>(after, after + 16));
    EXPECT_EQ(gl.readPixels()[0], 0);  // nothing was drawn while compiling
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);

    // Feedback mode reports each polygon with window position, colour and texture coordinates.
    std::vector<GLfloat> feedback(256);
    glFeedbackBuffer(static_cast<GLsizei>(feedback.size()), GL_3D_COLOR_TEXTURE, feedback.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(mesh.displayList);
    const GLint used = glRenderMode(GL_RENDER);
    ASSERT_GT(used, 0);
    int polygons = 0;
    constexpr int kVertexFloats = 3 + 4 + 4;
    for (GLint i = 0; i < used;) {
        ASSERT_EQ(feedback[i], GLfloat(GL_POLYGON_TOKEN));
        ASSERT_EQ(feedback[i + 1], 3.0f);
        if (polygons == 0) {
            const GLfloat* v = &feedback[i + 2];
            // Corner 1 of triangle 1: position (-1, -1) is window (0, 0), texture (0, 0).
            EXPECT_NEAR(v[0], 0, 1e-4);
            EXPECT_NEAR(v[1], 0, 1e-4);
            EXPECT_NEAR(v[7], 0, 1e-6);
            // Corner 3: position (1, 1) is window (64, 64), texture (1, 1).
            const GLfloat* c = v + 2 * kVertexFloats;
            EXPECT_NEAR(c[0], kWidth, 1e-4);
            EXPECT_NEAR(c[1], kHeight, 1e-4);
            EXPECT_NEAR(c[7], 1, 1e-6);
            EXPECT_NEAR(c[8], 1, 1e-6);
        }
        ++polygons;
        i += 2 + 3 * kVertexFloats;
    }
    EXPECT_EQ(polygons, 2);

    // And drawn, it covers the framebuffer.
    glDisable(GL_TEXTURE_2D);
    glColor3f(0, 1, 0);
    glCallList(mesh.displayList);
    const auto image = gl.readPixels();
    EXPECT_EQ(pixelAt(image, 1, 1), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(image, kWidth - 2, kHeight - 2), (std::vector<uint8_t>{0, 255, 0, 255}));
}

TEST_F(MeshGlTest, MalformedFilesLeaveNoList)
{
    auto bytes = meshBytes(squareMesh());
    bytes.resize(bytes.size() - 4);
    const size_t logStart = logText().size();
    Mesh mesh;
    EXPECT_FALSE(mesh.loadBytes("meshes\\cut.dat", bytes));
    EXPECT_EQ(mesh.displayList, 0u);
    EXPECT_EQ(logText().substr(logStart), "Load mesh <meshes\\cut.dat> ...failed: truncated\n");
}

TEST_F(MeshGlTest, LoadsThroughTheArchive)
{
    auto archive = storedArchive({{"meshes\\square.dat", meshBytes(squareMesh())},
                                  {"meshes\\damaged.dat", meshBytes(squareMesh())}});
    archive.back() ^= 1;  // the last byte of the last entry's data
    setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    const size_t logStart = logText().size();
    Mesh mesh, missing, damaged;
    EXPECT_TRUE(mesh.load("meshes\\square.dat"));
    EXPECT_FALSE(missing.load("meshes\\none.dat"));
    EXPECT_FALSE(damaged.load("meshes\\damaged.dat"));
    setDataArchiveOverride(nullptr, 0);
    EXPECT_NE(mesh.displayList, 0u);
    EXPECT_EQ(missing.displayList, 0u);
    EXPECT_EQ(damaged.displayList, 0u);
    // The log tells a file the archive lacks from one it holds damaged.
    EXPECT_EQ(logText().substr(logStart), "Load mesh <meshes\\square.dat> ...done\n"
                                          "Load mesh <meshes\\none.dat> ...failed: missing\n"
                                          "Load mesh <meshes\\damaged.dat> ...failed: CRC mismatch\n");
}

// Picking the triangles that face the eye, and those that may cover a pixel centre, must leave the
// picture exactly as the whole mesh drawn with face culling: near and large, and far and a few
// pixels across, from several sides, with buffer objects and without.
TEST_F(MeshGlTest, BatchPicksWhatTheListWouldDraw)
{
    currentSettings = {};
    currentSettings.DefGamma = true;
    initGl();
    const MeshData sphere = oddSphere();
    ASSERT_EQ(sphere.faceCount % 4, 2u);
    const GLuint list = Mesh::compileList(sphere);
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glColor3f(0.9f, 0.6f, 0.3f);
    for (const bool buffers : {true, false}) {
        glext::vboAvailable = buffers;
        MeshBatch batch;
        ASSERT_TRUE(batch.build(sphere, 2));
        batch.placeAt(1, {0.25f, 0, 0});
        batch.upload(0, 2);
        for (const float distance : {3.0f, 40.0f})
            for (float angle = 0; angle < 360; angle += 45) {
                glMatrixMode(GL_MODELVIEW);
                glLoadIdentity();
                glTranslatef(0.1f, -0.05f, -distance);
                glRotatef(angle, 1, 0.3f, 0.2f);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glCallList(list);
                glPushMatrix();
                glTranslatef(0.25f, 0, 0);
                glCallList(list);
                glPopMatrix();
                const auto listed = gl.readPixels();

                ViewFrustum frustum;
                frustum.capture();
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                batch.bindArrays(false);
                glColor3f(0.9f, 0.6f, 0.3f);
                batch.addFacing(0, frustum.eye(), &frustum.window());
                batch.addFacing(1, frustum.eye() - Vector3(0.25f, 0, 0));
                batch.drawFacing();
                batch.unbindArrays();
                glColor3f(0.9f, 0.6f, 0.3f);
                EXPECT_EQ(gl.readPixels(), listed) << "distance " << distance << ", angle " << angle << (buffers ? "" : ", no buffers");
            }
    }
    glext::resolveBufferObjects();
}

// A driver that cannot find room for a batch's buffers: the copies are drawn from client memory
// instead of from empty buffers (nothing on the screen).
TEST_F(MeshGlTest, BatchWhoseUploadIsRefusedForWantOfMemoryDrawsFromClientMemory)
{
    currentSettings = {};
    currentSettings.DefGamma = true;
    initGl();
    ASSERT_TRUE(glext::vboAvailable);
    const MeshData sphere = oddSphere();
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.1f, -0.05f, -3.0f);
    const auto drawn = [&](MeshBatch& batch) {
        batch.placeAt(1, {0.25f, 0, 0});
        batch.setColour(1, {0.2f, 0.9f, 0.4f}, 1);
        batch.upload(0, 2);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        batch.bindArrays();
        batch.addFacing(0, {-0.1f, 0.05f, 3.0f});
        batch.addFacing(1, Vector3(-0.1f, 0.05f, 3.0f) - Vector3(0.25f, 0, 0));
        batch.drawFacing();
        batch.unbindArrays();
        return gl.readPixels();
    };
    glext::vboAvailable = false;
    MeshBatch inClientMemory;
    ASSERT_TRUE(inClientMemory.build(sphere, 2));
    const auto expected = drawn(inClientMemory);
    glext::vboAvailable = true;

    MeshBatch refused;
    {
        RefusedBufferUploads outOfMemory;
        ASSERT_TRUE(refused.build(sphere, 2));
    }
    EXPECT_EQ(drawn(refused), expected);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    size_t lit = 0;
    for (size_t i = 0; i < expected.size(); i += 4)
        lit += expected[i + 1] > 20;
    EXPECT_GT(lit, 100u);
}
