#define GL_GLEXT_PROTOTYPES 1
#include <cmath>
#include <cstring>

#include "asset_builders.h"
#include "assets/vertex_anim_track.h"
#include "data/data_file.h"
#include "data/settings.h"
#include "gl_fixture.h"
#include "math/vector3.h"
#include "render/gl_setup.h"

namespace {

float hermiteTerm(float p0, float p1, float m0, float m1, float t)
{
    const float t2 = t * t, t3 = t * t2;
    return (2 * t3 - 3 * t2 + 1) * p0 + (t3 - 2 * t2 + t) * m0 + (-2 * t3 + 3 * t2) * p1 + (t3 - t2) * m1;
}

VertexAnimTrack parsed(const VertexAnimTrack& source)
{
    VertexAnimTrack track;
    EXPECT_TRUE(track.parse(trackBytes(source)));
    return track;
}

// Three vertices, one triangle, every key pose the same: positions p, normals n, zero tangents.
VertexAnimTrack stillTriangle(const Vector3 (&p)[3], const Vector3 (&n)[3])
{
    VertexAnimTrack t;
    t.vertexCount = 3;
    t.triangleCount = 1;
    t.indexCount = 3;
    t.indices = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
        t.positions.insert(t.positions.end(), {p[i].x, p[i].y, p[i].z});
        t.normals.insert(t.normals.end(), {n[i].x, n[i].y, n[i].z});
        t.texCoords.insert(t.texCoords.end(), {0.9f, 0.9f});
    }
    for (int k = 0; k < VertexAnimTrack::kKeyCount; ++k) {
        t.keyPositions[k] = t.positions;
        t.keyNormals[k] = t.normals;
        t.keyPositionTangents[k].assign(9, 0.0f);
        t.keyNormalTangents[k].assign(9, 0.0f);
    }
    return t;
}

}  // namespace

TEST(TrackFormat, FullDetailSphereHasTheShippedLayout)
{
    const VertexAnimTrack source = sphereTrack(3);
    const auto bytes = trackBytes(source);
    EXPECT_EQ(bytes.size(), 344076u);
    VertexAnimTrack track;
    ASSERT_TRUE(track.parse(bytes));
    EXPECT_EQ(track.vertexCount, 642u);
    EXPECT_EQ(track.triangleCount, 1280u);
    EXPECT_EQ(track.indexCount, 3840u);
    EXPECT_EQ(track.indices, source.indices);
    EXPECT_EQ(track.keyPositions[9], source.keyPositions[9]);
    EXPECT_EQ(track.keyNormalTangents[4], source.keyNormalTangents[4]);
    EXPECT_EQ(track.texCoords, source.texCoords);
    // The interleaved array starts as the file's initial pose.
    ASSERT_EQ(track.interleaved.size(), 642u * 8);
    EXPECT_EQ(track.interleaved[8 * 5 + 1], source.positions[3 * 5 + 1]);
    EXPECT_EQ(track.interleaved[8 * 5 + 4], source.normals[3 * 5 + 1]);
    EXPECT_EQ(track.interleaved[8 * 5 + 7], source.texCoords[2 * 5 + 1]);
    EXPECT_EQ(trackBytes(sphereTrack(2)).size(), 86796u);
}

TEST(TrackFormat, MalformedFilesLeaveAnEmptyTrack)
{
    const VertexAnimTrack source = sphereTrack(0);
    const auto good = trackBytes(source);
    VertexAnimTrack track;
    std::string reason;

    auto cut = good;
    cut.pop_back();
    EXPECT_FALSE(track.parse(cut, &reason));
    EXPECT_EQ(reason, "truncated");
    EXPECT_TRUE(track.empty());
    EXPECT_TRUE(track.keyPositions[0].empty());

    auto longer = good;
    longer.push_back(1);
    EXPECT_FALSE(track.parse(longer, &reason));
    EXPECT_EQ(reason, "wrong size");

    VertexAnimTrack badIndex = source;
    badIndex.indices[7] = badIndex.vertexCount;
    EXPECT_FALSE(track.parse(trackBytes(badIndex), &reason));
    EXPECT_EQ(reason, "index out of range");
    EXPECT_TRUE(track.indices.empty());

    VertexAnimTrack notThree = source;
    notThree.indexCount -= 1;
    notThree.indices.pop_back();
    EXPECT_FALSE(track.parse(trackBytes(notThree), &reason));
    EXPECT_EQ(reason, "index count is not three per triangle");

    EXPECT_FALSE(track.parse({}, &reason));
    std::vector<uint8_t> hugeCounts = {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0x55, 0x55, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(track.parse(hugeCounts, &reason));
    // An empty track stays harmless to advance.
    track.advance(0.5f);
    EXPECT_EQ(track.clock, 0.5f);
}

TEST(TrackAnimation, PoseFollowsTheKeysOnHermiteCurves)
{
    VertexAnimTrack track = parsed(sphereTrack(1));
    track.advance(0);
    EXPECT_EQ(track.positions, track.keyPositions[0]);  // exactly key pose 0 at clock 0
    EXPECT_EQ(track.normals, track.keyNormals[0]);

    track.clock = 9.5f;
    track.advance(0);
    for (size_t j : {size_t(0), size_t(40), track.positions.size() - 1}) {
        EXPECT_EQ(track.positions[j], hermiteTerm(track.keyPositions[9][j], track.keyPositions[0][j],
                                                  track.keyPositionTangents[9][j], track.keyPositionTangents[0][j],
                                                  0.5f))
            << j;
        EXPECT_EQ(track.normals[j], hermiteTerm(track.keyNormals[9][j], track.keyNormals[0][j],
                                                track.keyNormalTangents[9][j], track.keyNormalTangents[0][j], 0.5f))
            << j;
    }
    track.clock = 3.25f;
    track.advance(0);
    const size_t j = 3 * 17 + 2;
    EXPECT_EQ(track.positions[j], hermiteTerm(track.keyPositions[3][j], track.keyPositions[4][j],
                                              track.keyPositionTangents[3][j], track.keyPositionTangents[4][j], 0.25f));
    // The interleaved copy and the texture coordinates follow the pose.
    const size_t v = 17;
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(track.interleaved[8 * v + c], track.positions[3 * v + c]);
        EXPECT_EQ(track.interleaved[8 * v + 3 + c], track.normals[3 * v + c]);
    }
    const Vector3 sum = Vector3{track.positions[3 * v], track.positions[3 * v + 1], track.positions[3 * v + 2]} +
                        Vector3{track.normals[3 * v], track.normals[3 * v + 1], track.normals[3 * v + 2]};
    EXPECT_FLOAT_EQ(track.texCoords[2 * v], sum.x / sum.length() / 2);
    EXPECT_FLOAT_EQ(track.texCoords[2 * v + 1], sum.y / sum.length() / 2);
    EXPECT_EQ(track.interleaved[8 * v + 6], track.texCoords[2 * v]);
    EXPECT_EQ(track.interleaved[8 * v + 7], track.texCoords[2 * v + 1]);
}

TEST(TrackAnimation, ClockRestartsAtTenDroppingTheExcess)
{
    VertexAnimTrack track = parsed(sphereTrack(0));
    track.clock = 9.9f;
    track.advance(0.3f);
    EXPECT_EQ(track.clock, 0.0f);
    track.advance(0.25f);
    EXPECT_EQ(track.clock, 0.25f);
    track.clock = -3;  // a caller's bad clock restarts instead of reading outside the keys
    track.advance(0.5f);
    EXPECT_EQ(track.clock, 0.5f);
    EXPECT_EQ(track.positions, track.keyPositions[0]);
    track.clock = NAN;
    track.advance(0);
    EXPECT_EQ(track.clock, 0.0f);
}

TEST(TrackAnimation, TextureCoordinatesComeFromPositionPlusNormal)
{
    const Vector3 p[3] = {{0, 0, 1}, {3, 0, 2}, {0, 0, 0}};
    const Vector3 n[3] = {{0, 0, 1}, {0, 0, 2}, {0, 0, 0}};
    VertexAnimTrack track = parsed(stillTriangle(p, n));
    track.advance(0.1f);
    EXPECT_EQ(track.texCoords[0], 0.0f);  // (0, 0, 2)
    EXPECT_EQ(track.texCoords[1], 0.0f);
    EXPECT_FLOAT_EQ(track.texCoords[2], 0.3f);  // (3, 0, 4) / 5 / 2
    EXPECT_EQ(track.texCoords[3], 0.0f);
    EXPECT_EQ(track.texCoords[4], 0.0f);  // a zero sum gives (0, 0), not NaN
    EXPECT_EQ(track.texCoords[5], 0.0f);
}

TEST(TrackAnimation, AdvanceKeepsItsStorage)
{
    VertexAnimTrack track = parsed(sphereTrack(2));
    const float* before[4] = {track.positions.data(), track.normals.data(), track.texCoords.data(),
                              track.interleaved.data()};
    for (int i = 0; i < 50; ++i)
        track.advance(0.37f);
    const float* after[4] = {track.positions.data(), track.normals.data(), track.texCoords.data(),
                             track.interleaved.data()};
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);
}

class TrackGlTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        currentSettings = {};
        currentSettings.DefGamma = true;
        initGl();
        ASSERT_TRUE(glext::vboAvailable);
        glEnable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_CULL_FACE);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0.2f, -0.1f, -2.0f);
        glRotatef(35, 1, 0.3f, 0);
    }
    void TearDown() override { glext::resolveBufferObjects(); }

    std::vector<uint8_t> draw(const VertexAnimTrack& track)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        track.bindArrays();
        track.drawFrame();
        return gl.readPixels();
    }
};

TEST_F(TrackGlTest, BufferObjectAndClientArraysDrawTheSameImage)
{
    const auto bytes = trackBytes(sphereTrack(3));
    const size_t logStart = logText().size();
    VertexAnimTrack withBuffer;
    ASSERT_TRUE(withBuffer.loadBytes("animation\\cell.trk", bytes));
    EXPECT_EQ(logText().substr(logStart),
              "Load vertex animation track <animation\\cell.trk> ... Create vertex buffer object ...done\n");
    ASSERT_NE(withBuffer.vertexBuffer, 0u);

    glext::vboAvailable = false;
    VertexAnimTrack withArrays;
    ASSERT_TRUE(withArrays.loadBytes("animation\\cell.trk", bytes));
    EXPECT_EQ(withArrays.vertexBuffer, 0u);
    glext::vboAvailable = true;

    for (float dt : {0.0f, 4.3f, 5.2f}) {
        withBuffer.advance(dt);
        withArrays.advance(dt);
    }
    // The buffer holds exactly the interleaved pose.
    std::vector<float> stored(withBuffer.interleaved.size());
    glBindBuffer(GL_ARRAY_BUFFER, withBuffer.vertexBuffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(stored.size() * 4), stored.data());
    EXPECT_EQ(stored, withBuffer.interleaved);

    const auto fromBuffer = draw(withBuffer);
    glext::vboAvailable = false;  // as on a driver without buffer objects
    const auto fromArrays = draw(withArrays);
    glext::vboAvailable = true;
    EXPECT_EQ(fromBuffer, fromArrays);
    size_t lit = 0;
    for (size_t i = 0; i < fromBuffer.size(); i += 4)
        lit += fromBuffer[i] > 20;
    EXPECT_GT(lit, fromBuffer.size() / 4 / 8);  // the body fills a good part of the picture
    EXPECT_LT(lit, fromBuffer.size() / 4);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A different pose draws a different picture.
    withBuffer.advance(0);
    withBuffer.clock = 2.5f;
    withBuffer.advance(0);
    EXPECT_NE(draw(withBuffer), fromBuffer);
}

// A driver that cannot find room for the buffer: the body is drawn from client memory instead of
// from an empty buffer (nothing on the screen).
TEST_F(TrackGlTest, AnUploadRefusedForWantOfMemoryDrawsFromClientMemory)
{
    const auto bytes = trackBytes(sphereTrack(3));
    glext::vboAvailable = false;
    VertexAnimTrack withArrays;
    ASSERT_TRUE(withArrays.loadBytes("animation\\cell.trk", bytes));
    glext::vboAvailable = true;

    VertexAnimTrack refused;
    const size_t logStart = logText().size();
    {
        RefusedBufferUploads outOfMemory;
        ASSERT_TRUE(refused.loadBytes("animation\\cell.trk", bytes));
    }
    EXPECT_EQ(logText().substr(logStart), "Load vertex animation track <animation\\cell.trk> ... Create vertex buffer "
                                          "object ...out of memory, drawn from client memory ...done\n");
    EXPECT_EQ(refused.vertexBuffer, 0u);
    for (float dt : {0.0f, 4.3f}) {
        refused.advance(dt);
        withArrays.advance(dt);
    }
    EXPECT_EQ(draw(refused), draw(withArrays));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TrackGlTest, FailedLoadsDrawNothing)
{
    auto bytes = trackBytes(sphereTrack(1));
    bytes.resize(bytes.size() - 1);
    const size_t logStart = logText().size();
    VertexAnimTrack track;
    EXPECT_FALSE(track.loadBytes("animation\\lcell.trk", bytes));
    EXPECT_EQ(logText().substr(logStart), "Load vertex animation track <animation\\lcell.trk> ...failed: truncated\n");
    EXPECT_EQ(track.vertexBuffer, 0u);
    track.advance(0.1f);
    const auto image = draw(track);
    for (size_t i = 0; i < image.size(); i += 4)
        ASSERT_EQ(image[i] | image[i + 1] | image[i + 2], 0) << i;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TrackGlTest, LoadsThroughTheArchive)
{
    const auto archive = storedArchive({{"animation\\lcore.trk", trackBytes(sphereTrack(2))}});
    setDataArchiveOverride(archive.data(), static_cast<uint32_t>(archive.size()));
    VertexAnimTrack track, missing;
    EXPECT_TRUE(track.load("animation\\lcore.trk"));
    EXPECT_FALSE(missing.load("animation\\core.trk"));
    setDataArchiveOverride(nullptr, 0);
    EXPECT_EQ(track.vertexCount, 162u);
    EXPECT_TRUE(missing.empty());
}
