#include <vector>

#include "gl_fixture.h"
#include "render/render_state.h"

namespace {

std::vector<GLfloat> matrix(GLenum which)
{
    std::vector<GLfloat> m(16);
    glGetFloatv(which, m.data());
    return m;
}

}  // namespace

using RenderStateTest = GlTest;

TEST_F(RenderStateTest, SelectMatrixByNumber)
{
    selectMatrix(2);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_PROJECTION);
    selectMatrix(3);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_PROJECTION);
    selectMatrix(0);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_TEXTURE);
    selectMatrix(-1);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_TEXTURE);
    selectMatrix(1);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_MODELVIEW);
}

TEST_F(RenderStateTest, SphereMapOffKeepsTheMode)
{
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    setSphereMap(false);
    GLint mode = 0;
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_OBJECT_LINEAR);

    setSphereMap(true);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
    setSphereMap(false);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    for (GLenum coord : {GL_S, GL_T}) {
        glGetTexGeniv(coord, GL_TEXTURE_GEN_MODE, &mode);
        EXPECT_EQ(mode, GL_SPHERE_MAP);
    }
}

TEST_F(RenderStateTest, OverlayCoversAnEightHundredBySixHundredBox)
{
    glMatrixMode(GL_PROJECTION);
    glFrustum(-1, 1, -1, 1, 1, 10);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0, 0, -5);
    glEnable(GL_DEPTH_TEST);
    const auto projection = matrix(GL_PROJECTION_MATRIX);
    const auto modelview = matrix(GL_MODELVIEW_MATRIX);

    beginOverlay2D();
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_MODELVIEW);
    glDisable(GL_TEXTURE_2D);
    setColour({0, 1, 0}, 1);
    glBegin(GL_QUADS);  // the lower-left quarter of the box
    glVertex3f(0, 0, 0);
    glVertex3f(400, 0, 0);
    glVertex3f(400, 300, 0);
    glVertex3f(0, 300, 0);
    glEnd();
    endOverlay2D();

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), projection);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), modelview);

    const auto image = gl.readPixels();
    const std::vector<uint8_t> green{0, 255, 0, 255}, black{0, 0, 0, 255};
    EXPECT_EQ(pixelAt(image, 2, kHeight - 2), green);            // bottom left
    EXPECT_EQ(pixelAt(image, kWidth / 2 - 2, kHeight / 2 + 2), green);
    EXPECT_EQ(pixelAt(image, kWidth / 2 + 2, kHeight - 2), black);  // right of the quarter
    EXPECT_EQ(pixelAt(image, 2, kHeight / 2 - 2), black);           // above it
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
