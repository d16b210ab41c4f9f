// The embedded archive's own files through the real loaders, as the run loads them.
#include "assets/mesh.h"
#include "assets/texture.h"
#include "assets/vertex_anim_track.h"
#include "data/data_file.h"
#include "data/settings.h"
#include "gl_fixture.h"
#include "render/gl_setup.h"

using ShippedAssetsTest = GlTest;

TEST_F(ShippedAssetsTest, EveryMeshCompiles)
{
    for (const char* path : {"meshes\\mito.dat", "meshes\\sphere.dat", "meshes\\lows.dat", "meshes\\ribo.dat",
                             "meshes\\chrom.dat"}) {
        Mesh mesh;
        EXPECT_TRUE(mesh.load(path)) << path;
        EXPECT_TRUE(glIsList(mesh.displayList)) << path;
    }
}

TEST_F(ShippedAssetsTest, SphereListStartsWithItsFirstCorner)
{
    Mesh sphere;
    ASSERT_TRUE(sphere.load("meshes\\sphere.dat"));
    std::vector<GLfloat> feedback(180 * 40);
    glFeedbackBuffer(static_cast<GLsizei>(feedback.size()), GL_3D_COLOR_TEXTURE, feedback.data());
    glRenderMode(GL_FEEDBACK);
    // Looking at the list from far enough away that no triangle is clipped.
    glMatrixMode(GL_PROJECTION);
    glOrtho(-20, 20, -20, 20, -40, 40);
    glMatrixMode(GL_MODELVIEW);
    glCallList(sphere.displayList);
    const GLint used = glRenderMode(GL_RENDER);
    ASSERT_EQ(used, 180 * (2 + 3 * 11));
    // Corner 1 of triangle 1: position (0, 0, 10) lands at the window centre; texture (0.6, 1).
    EXPECT_NEAR(feedback[2], kWidth / 2.0, 1e-3);
    EXPECT_NEAR(feedback[3], kHeight / 2.0, 1e-3);
    EXPECT_NEAR(feedback[2 + 7], 0.6, 1e-6);
    EXPECT_NEAR(feedback[2 + 8], 1.0, 1e-6);
}

TEST_F(ShippedAssetsTest, EveryTextureUploads)
{
    // The archive stores "textures\cell.JPG"; the path asks for "cell.jpg".
    for (const char* path : {"textures\\cell.jpg", "textures\\hcore.jpg", "textures\\dna.jpg", "textures\\link.jpg",
                             "textures\\c.jpg", "textures\\env.jpg", "textures\\d_env.jpg"}) {
        Texture texture;
        EXPECT_TRUE(texture.load(path)) << path;
        EXPECT_TRUE(glIsTexture(texture.id)) << path;
    }
    Texture loader;
    EXPECT_TRUE(loader.load("textures\\loader.jpg", true, 125));
    const char* badges[] = {"4loader_rd.tga", "4loader_ld.tga", "4loader_lu.tga", "4loader_ru.tga"};
    for (int i = 0; i < 4; ++i) {
        Texture badge;
        EXPECT_TRUE(badge.load(badges[i], true, 119 + i)) << badges[i];
        EXPECT_NE(badge.id, 0u);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShippedAssetsTest, EveryTrackLoadsIntoABufferObject)
{
    currentSettings = {};
    currentSettings.DefGamma = true;
    initGl();
    struct Expected {
        const char* path;
        uint32_t vertices;
    };
    for (const Expected& e : {Expected{"animation\\cell.trk", 642}, Expected{"animation\\core.trk", 642},
                              Expected{"animation\\lcell.trk", 162}, Expected{"animation\\lcore.trk", 162}}) {
        VertexAnimTrack track;
        ASSERT_TRUE(track.load(e.path)) << e.path;
        EXPECT_EQ(track.vertexCount, e.vertices);
        EXPECT_EQ(track.indexCount, e.vertices == 642 ? 3840u : 960u);
        EXPECT_NE(track.vertexBuffer, 0u);
        track.advance(0);
        EXPECT_EQ(track.positions, track.keyPositions[0]);
    }
}
