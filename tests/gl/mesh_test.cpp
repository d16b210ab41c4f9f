#include "asset_builders.h"
#include "assets/mesh.h"
#include "data/data_file.h"
#include "gl_fixture.h"

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
    const auto archive = storedArchive({{"meshes\\square.dat", meshBytes(squareMesh())}});
    setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    const size_t logStart = logText().size();
    Mesh mesh, missing;
    EXPECT_TRUE(mesh.load("meshes\\square.dat"));
    EXPECT_FALSE(missing.load("meshes\\none.dat"));
    setDataArchiveOverride(nullptr, 0);
    EXPECT_NE(mesh.displayList, 0u);
    EXPECT_EQ(missing.displayList, 0u);
    EXPECT_EQ(logText().substr(logStart), "Load mesh <meshes\\square.dat> ...done\n"
                                          "Load mesh <meshes\\none.dat> ...failed: missing\n");
}
